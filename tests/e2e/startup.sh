#!/usr/bin/env bash
# Start-up of the real viewer: the progress lines, the window, the menu, a GLUT
# option that is not the configuration path, and the 16-bit refusal.
# Usage: startup.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
require_x_tools
bin="$(cd "$1" && pwd)/lumetra"
[ -x "$bin" ] || fail "no $bin"
cd "$E2E_TMP"

cat > floor.tri <<'TRI'
floor
-1 -1 0 1 -1 0 1 1 0
-1 -1 0 1 1 0 -1 1 0
TRI
cat > scene.ini <<'INI'
[settings]
resolution = 64
objects = 2
[object_0]
triangles = 2
file = floor.tri
emission_r = 255
[object_1]
file = missing.tri
INI
cp scene.ini lumetra.ini

start_xvfb 24

# A GLUT option before the path is GLUT's, not ours.
"$bin" -geometry 300x300+0+0 scene.ini >out.txt 2>err.txt &
E2E_PIDS+=($!)
win="$(wait_window LUMETRA)"
wait_for grep -q FAILED out.txt || fail "no FAILED line: $(cat out.txt)"
head -n 4 out.txt > head.txt
printf 'Reading: scene.ini\nOpening: floor.tri\nOpening: missing.tri\n--------------- FAILED ---------------\n' > want.txt
cmp -s head.txt want.txt || fail "start-up lines differ: $(cat head.txt)"
pass "progress lines, window LUMETRA"

# The right button opens the five-entry menu (entries are 25 px tall).
xdotool mousemove --window "$win" 20 20
xdotool click 3
menu="$(wait_window 'freeglut menu')"
height="$(xdotool getwindowgeometry "$menu" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p')"
[ "$height" -ge 120 ] && [ "$height" -le 135 ] || fail "menu height $height is not five entries"
xdotool key Escape 2>/dev/null || true
pass "right click opens a five-entry menu ($height px)"
kill "${E2E_PIDS[-1]}"; wait "${E2E_PIDS[-1]}" 2>/dev/null || true

# Without an argument the configuration is ./lumetra.ini.
"$bin" >out2.txt 2>&1 &
E2E_PIDS+=($!)
wait_for grep -q Opening out2.txt || fail "no output without an argument"
[ "$(head -n 1 out2.txt)" = "Reading: ./lumetra.ini" ] || fail "default path line: $(head -n 1 out2.txt)"
kill "${E2E_PIDS[-1]}"; wait "${E2E_PIDS[-1]}" 2>/dev/null || true
pass "default configuration path"

# A 16-bit screen: the warning on standard error, nothing on standard output,
# no window, exit code 0.
start_xvfb 16
set +e
timeout 20 "$bin" scene.ini >out3.txt 2>err3.txt
code=$?
set -e
[ "$code" = 0 ] || fail "16-bit exit code $code"
[ ! -s out3.txt ] || fail "16-bit run printed: $(cat out3.txt)"
grep -q "Please change to 24 or 32 bit colour depth" err3.txt || fail "no depth warning: $(cat err3.txt)"
[ -z "$(window_id LUMETRA)" ] || fail "16-bit run opened a window"
pass "16-bit screen refused"
