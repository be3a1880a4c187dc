#!/usr/bin/env bash
# The viewer's Save6d and lumetra-batch write byte-identical result files for
# the same scene solved to the same step (here: until stop_at stops both).
# Usage: batch_matches_viewer.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
require_x_tools
build="$(cd "$1" && pwd)"
cd "$E2E_TMP"

cat > room.tri <<'TRI'
room
0 0 0 1 0 0 1 1 0
0 0 0 1 1 0 0 1 0
0 0 1 0 1 1 1 1 1
0 0 1 1 1 1 1 0 1
0 0 0 0 0 1 1 0 1
0 0 0 1 0 1 1 0 0
0 1 0 1 1 0 1 1 1
0 1 0 1 1 1 0 1 1
0 0 0 0 1 0 0 1 1
0 0 0 0 1 1 0 0 1
1 0 0 1 0 1 1 1 1
1 0 0 1 1 1 1 1 0
TRI
cat > lamp.tri <<'TRI'
lamp
0.4 0.4 0.99 0.4 0.6 0.99 0.6 0.6 0.99
0.4 0.4 0.99 0.6 0.6 0.99 0.6 0.4 0.99
TRI
cat > scene.ini <<'INI'
[settings]
resolution = 64
step = 1
near = 0.001
far = 10
stop_at = 0.01
objects = 2
[camera]
pos_x = 0.5
pos_y = 0.05
pos_z = 0.5
lookat_x = 0.5
lookat_y = 1
lookat_z = 0.5
fov = 80
[object_0]
file = room.tri
reflectance_r = 200
reflectance_g = 120
reflectance_b = 60
emission_r = 0
emission_g = 0
emission_b = 0
[object_1]
file = lamp.tri
reflectance_r = 100
emission_r = 2550
emission_g = 2550
emission_b = 2550
INI

mkdir batch viewer
(cd batch && "$build/lumetra-batch" ../scene.ini >out.txt) || fail "batch run failed"

converged() {
  awk -F'[ \t]+' '/^Convergence/ { m = $2 } END { exit !(m != "" && m + 0 < 0.01) }' viewer/out.txt
}

start_xvfb 24
(cd viewer && exec "$build/lumetra" ../scene.ini >out.txt 2>err.txt) &
E2E_PIDS+=($!)
win="$(wait_window LUMETRA)"
wait_for converged || fail "viewer did not converge: $(tail -n 3 viewer/out.txt)"
wait_for grep -q "^Solved: stop_at 0.01 reached after [0-9]* steps in " viewer/err.txt ||
  fail "the viewer did not say it solved the scene: $(cat viewer/err.txt)"

# Menu entry 5, "Save6d".
xdotool mousemove --window "$win" 20 20
xdotool click 3
menu="$(wait_window 'freeglut menu')"
xdotool mousemove --window "$menu" 20 114 click 1
# Objects are saved in index order, so the lamp file comes last.
wait_for test -s viewer/lamp.6d || fail "Save6d wrote nothing"

cmp batch/room.6d viewer/room.6d || fail "room.6d differs between batch and viewer"
cmp batch/lamp.6d viewer/lamp.6d || fail "lamp.6d differs between batch and viewer"
steps="$(grep -c '^Convergence' batch/out.txt)"
pass "batch and viewer wrote identical result files after $steps steps"
