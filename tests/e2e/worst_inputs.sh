#!/usr/bin/env bash
# lumetra-batch on the worst inputs that only a whole run can show: every
# way a run ends early gives its exit code (1 usage, 2 the configuration or
# the scene, 3 the results), a message naming the file, and no hang (each
# run has a time limit). Bad values and bad triangle files one by one are
# in config_test.cpp and triangle_reader_test.cpp (a refused count of
# objects there); the viewer's refusals in viewer_e2e.py.
# Usage: worst_inputs.sh BUILD_DIR
set -euo pipefail
batch="$(cd "$1" && pwd)/lumetra-batch"
[ -x "$batch" ] || { echo "SKIP: no $batch"; exit 77; }
tmp="$(mktemp -d /tmp/lumetra-e2e.XXXXXX)"
trap 'umount -l "$tmp/full" 2>/dev/null || true; rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "FAIL: $*" >&2; exit 1; }

# A floor of 1800 triangles (its result file, some 60 kB, overflows a 16 kB
# disk) under a lamp facing down.
awk 'BEGIN { print "floor"; n = 30
  for (i = 0; i < n; i++) for (j = 0; j < n; j++) {
    a = i / n; b = (i + 1) / n; c = j / n; d = (j + 1) / n
    printf "%g %g 0 %g %g 0 %g %g 0\n%g %g 0 %g %g 0 %g %g 0\n", a, c, b, c, b, d, a, c, b, d, a, d } }' > floor.tri
printf 'lamp\n0.4 0.4 0.99 0.4 0.6 0.99 0.6 0.6 0.99\n0.4 0.4 0.99 0.6 0.6 0.99 0.6 0.4 0.99\n' > lamp.tri
# One triangle more than an object may hold (the item code names 65535);
# the corners are spread over the welding buckets so that loading is quick.
awk 'BEGIN { print "many"
  for (i = 0; i < 65536; i++) { a = i * 0.002; printf "%g 0 0 %g 1 0 %g 0 1\n", a, a, a } }' > many.tri
printf 'bad\n0 0 0 1 0 0 0 1 0\n0 0 nan 1 0 0 0 1 0\n' > nan.tri
mkdir folder.ini

scene() {  # scene EXTRA_SETTINGS OBJECT_1_FILE [ITS_EMISSION]: the floor emits nothing
  printf '[settings]\n%s\nresolution = 32\nstop_at = 0.05\nobjects = 2\n' "$1"
  printf '[object_0]\nfile = floor.tri\nemission_r = 0\nemission_g = 0\nemission_b = 0\n'
  local e="${3:-255}"
  printf '[object_1]\nfile = %s\nemission_r = %s\nemission_g = %s\nemission_b = %s\n' "$2" "$e" "$e" "$e"
}
scene "" lamp.tri > good.ini
scene "resolution = 100000" lamp.tri > huge_resolution.ini
scene "" many.tri > too_many.ini
scene "" nan.tri 0 > no_emitter.ini

# run NAME WANT_CODE TEXT ARGS...: the exit code, and TEXT in what it printed.
run() {
  local name="$1" want="$2" text="$3" code=0
  shift 3
  timeout 120 "$batch" "$@" >"$name.out" 2>"$name.err" || code=$?
  [ "$code" != 124 ] || fail "$name: no answer within 120 s"
  [ "$code" = "$want" ] || fail "$name: exit code $code, want $want: $(tail -c 600 "$name.err")"
  grep -qF -- "$text" "$name.out" "$name.err" || fail "$name: no '$text' in: $(tail -c 600 "$name.err")"
  echo "ok: $name: exit $code, '$text'"
}

run missing 2 "missing.ini: cannot read the configuration (No such file or directory)" missing.ini
run folder 2 "folder.ini: cannot read the configuration (is a directory)" folder.ini
run huge_resolution 2 "huge_resolution.ini: resolution = 100000: larger than" huge_resolution.ini
run too_many 2 "many.tri: 65536 triangles, more than the 65535" too_many.ini
run no_emitter 2 "nan.tri:3: 'nan' is not a number" no_emitter.ini
grep -qF "No triangle emits light" no_emitter.out || fail "no_emitter: no solver line"
mkfifo fifo.ini  # would block a reader for ever
run fifo 2 "fifo.ini: cannot read the configuration (is not a regular file)" fifo.ini
run refused_value 2 "Error: --set: overshoot = yes: must be 0 or 1" good.ini --set overshoot=yes --out out
[ ! -e out ] || fail "refused_value: results written"
# stop_at 0 never ends by itself: refused unless a limit is given.
run never_stops 1 "never stops by itself; give --steps or --seconds" good.ini --set stop_at=0
run limited 0 "Step 2" good.ini --set stop_at=0 --steps 3
run no_folder 3 "cannot make the folder /proc/lumetra-nowhere" good.ini --steps 1 --out /proc/lumetra-nowhere
run no_png_folder 3 "cannot write no/such/dir/p.png" good.ini --steps 1 --png no/such/dir/p.png
[ ! -e no ] || fail "no_png_folder: made a folder"

# A disk that fills up: reported, the previous result kept, nothing left behind.
mkdir full
if mount -t tmpfs -o size=16k tmpfs full 2>/dev/null; then
  printf '0\r\n0\r\n' > full/floor.6d
  run disk_full 3 "Cannot save $tmp/full/floor.6d: No space left on device" good.ini --steps 1 --out "$tmp/full"
  [ "$(cat full/floor.6d)" = "$(printf '0\r\n0\r\n')" ] || fail "disk_full: the previous result was damaged"
  [ "$(ls full)" = "$(printf 'floor.6d\nlamp.6d')" ] || fail "disk_full: left behind: $(ls full)"
else
  echo "skip: cannot mount a small tmpfs (a full disk is not tested)"
fi
