#!/usr/bin/env bash
# The real programs on the worst inputs: no crash, no hang (every run has a
# time limit), the designed exit code (viewer 0 where it exits, lumetra-batch
# 2 for a configuration or scene error and 3 when a result cannot be
# written), and a message naming the file. Full and read-only disks are
# small tmpfs mounts; those cases are skipped where mounting is not allowed.
# Usage: worst_inputs.sh BUILD_DIR
source "$(dirname "$0")/lib.sh"
build="$(cd "$1" && pwd)"
viewer="$build/lumetra"
batch="$build/lumetra-batch"
cd "$E2E_TMP"

MOUNTS=()
cleanup_mounts() {
  local m
  for m in "${MOUNTS[@]:-}"; do [ -n "$m" ] && umount -l "$m" 2>/dev/null || true; done
  e2e_cleanup
}
trap cleanup_mounts EXIT

# small_disk DIR SIZE [ro]: mounts a tmpfs there; fails when not allowed.
small_disk() {
  mkdir -p "$1"
  local opts="size=$2"
  [ "${3:-}" = ro ] && opts="$opts,ro"
  mount -t tmpfs -o "$opts" tmpfs "$1" 2>/dev/null || return 1
  MOUNTS+=("$1")
}

# --- Inputs ------------------------------------------------------------------

# A closed unit box with a lamp; the room has about 1800 triangles so that
# its result file (some 60 kB) overflows a 16 kB disk.
awk 'BEGIN {
  print "room"; n = 15
  for (i = 0; i < n; i++) for (j = 0; j < n; j++) {
    a = i / n; b = (i + 1) / n; c = j / n; d = (j + 1) / n
    printf "%g %g 0 %g %g 0 %g %g 0\n%g %g 0 %g %g 0 %g %g 0\n", a, c, b, d, b, c, a, c, a, d, b, d
    printf "%g %g 1 %g %g 1 %g %g 1\n%g %g 1 %g %g 1 %g %g 1\n", a, c, b, c, b, d, a, c, b, d, a, d
    printf "%g 0 %g %g 0 %g %g 0 %g\n%g 0 %g %g 0 %g %g 0 %g\n", a, c, b, c, b, d, a, c, b, d, a, d
    printf "%g 1 %g %g 1 %g %g 1 %g\n%g 1 %g %g 1 %g %g 1 %g\n", a, c, b, d, b, c, a, c, a, d, b, d
  }
}' > room.tri
printf 'lamp\n0.4 0.4 0.99 0.4 0.6 0.99 0.6 0.6 0.99\n0.4 0.4 0.99 0.6 0.6 0.99 0.6 0.4 0.99\n' > lamp.tri
# A file of 65 536 triangles, one more than an object may hold; the corners
# are spread over the welding buckets so that loading stays quick.
awk 'BEGIN { print "many"; for (i = 0; i < 65536; i++) { a = i * 0.002; printf "%g 0 0 %g 1 0 %g 0 1\n", a, a, a } }' > many.tri
printf 'bad\n0 0 0 1 0 0 0 1 0\n0 0 nan 1 0 0 0 1 0\n' > nan.tri
mkdir folder.tri folder.ini

scene() {  # scene EXTRA_SETTINGS LAMP_EMISSION [OBJECT_1_FILE]
  # The extra settings come first: the first occurrence of a key wins.
  printf '[settings]\n%s\nresolution = 32\nstep = 1\nnear = 0.001\nfar = 10\nstop_at = 0.05\nobjects = 2\n' "$1"
  printf '[camera]\npos_x = 0.5\npos_y = 0.05\npos_z = 0.5\nlookat_x = 0.5\nlookat_y = 1\nlookat_z = 0.5\nfov = 80\n'
  printf '[object_0]\nfile = room.tri\nemission_r = 0\nemission_g = 0\nemission_b = 0\n'
  printf '[object_1]\nfile = %s\nemission_r = %s\nemission_g = %s\nemission_b = %s\n' "${3:-lamp.tri}" "$2" "$2" "$2"
}
scene "" 2550 > good.ini
# Byte-order mark, CRLF line ends and a comment line of 5 MB: still good.
{ printf '\xef\xbb\xbf; '; head -c 5000000 /dev/zero | tr '\0' x; printf '\n'; scene "" 2550; } |
  sed 's/$/\r/' > crlf.ini
head -c 3000 /dev/urandom > garbage.ini
scene "objects = 1000000000" 255 > huge_objects.ini
scene "resolution = 100000" 255 > huge_resolution.ini
scene "resolution = 1" 255 > tiny_resolution.ini
scene "" 255 many.tri > too_many.ini
scene "" 0 nan.tri > no_emitter.ini
scene "" 255 folder.tri > folder_object.ini

# found TEXT FILE...: TEXT appears in one of the files; "re:REGEX" matches a
# regular expression instead.
found() {
  local text="$1"
  shift
  case "$text" in
    re:*) grep -qE -- "${text#re:}" "$@" ;;
    *) grep -qF -- "$text" "$@" ;;
  esac
}

# --- lumetra-batch -------------------------------------------------------------

ran=0
# batch NAME WANT_CODE TEXT ARGS...: TEXT must appear in what the run printed.
batch_case() {
  local name="$1" want="$2" text="$3" code
  shift 3
  set +e
  timeout 120 "$batch" "$@" >"b_$name.out" 2>"b_$name.err"
  code=$?
  set -e
  [ "$code" != 124 ] || fail "batch $name: no answer within 120 s"
  [ "$code" = "$want" ] || fail "batch $name: exit code $code, want $want: $(tail -c 600 "b_$name.err")"
  found "$text" "b_$name.out" "b_$name.err" || fail "batch $name: no '$text' in: $(tail -c 600 "b_$name.err")"
  pass "batch $name: exit $code, '$text'"
}

if [ -x "$batch" ]; then
  ran=1
  batch_case missing 2 "missing.ini: cannot read the configuration (No such file or directory)" missing.ini
  batch_case folder 2 "folder.ini: cannot read the configuration (is a directory)" folder.ini
  batch_case garbage 2 "garbage.ini: no settings found" garbage.ini
  batch_case huge_objects 2 "huge_objects.ini:2: objects = 1000000000: at most 256 objects" huge_objects.ini
  batch_case huge_resolution 2 "re:huge_resolution.ini.*100000" huge_resolution.ini
  batch_case tiny_resolution 2 "tiny_resolution.ini:2: resolution = 1" tiny_resolution.ini
  batch_case too_many 2 "many.tri: 65536 triangles, more than the 65535" too_many.ini
  batch_case no_emitter 2 "nan.tri:3: 'nan' is not a number" no_emitter.ini
  grep -qF "No triangle emits light" b_no_emitter.out || fail "batch no_emitter: no solver line"
  batch_case folder_object 2 "folder_object.ini:23: [object_1] cannot open triangle file \"folder.tri\": is a directory" folder_object.ini
  batch_case crlf 0 "Convergence" crlf.ini --steps 3 --out crlf_out
  [ -s crlf_out/room.6d ] && [ -s crlf_out/lamp.6d ] || fail "batch crlf: result files missing"

  # Saving: a folder that cannot be made, a disk that fills up, a read-only disk.
  batch_case no_folder 3 "cannot make the folder /proc/lumetra-nowhere" good.ini --steps 1 --out /proc/lumetra-nowhere
  if small_disk full 16k; then
    printf '0\r\n0\r\n' > full/room.6d
    batch_case disk_full 3 "Cannot save $E2E_TMP/full/room.6d: No space left on device" good.ini --steps 1 --out "$E2E_TMP/full"
    [ "$(cat full/room.6d)" = "$(printf '0\r\n0\r\n')" ] || fail "batch disk_full: the previous result was damaged"
    [ "$(ls full)" = "$(printf 'lamp.6d\nroom.6d')" ] || fail "batch disk_full: left behind: $(ls full)"
    small_disk readonly 16k ro || fail "could mount a tmpfs, but not a read-only one"
    batch_case read_only 3 "Cannot save $E2E_TMP/readonly/room.6d: Read-only file system" good.ini --steps 1 --out "$E2E_TMP/readonly"
  else
    echo "skip: cannot mount a small tmpfs (full and read-only disks not tested)"
  fi
else
  echo "skip: no $batch"
fi

# --- lumetra (the viewer, under Xvfb) -----------------------------------------

if [ -x "$viewer" ] && command -v Xvfb >/dev/null 2>&1 && command -v xdotool >/dev/null 2>&1; then
  ran=1
  # A server of our own: -displayfd lets Xvfb pick a free display itself (no
  # race with other tests starting servers), and -noreset keeps it from
  # resetting whenever its last client leaves, which a viewer started at that
  # moment would see as "failed to open display".
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>display.txt >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  wait_for grep -qE '^[0-9]+$' display.txt || fail "Xvfb did not start"
  export DISPLAY=":$(cat display.txt)"
  wait_for xdotool getmouselocation || fail "cannot connect to Xvfb on $DISPLAY"

  # viewer_exits NAME TEXT CONFIG: a refused scene ends the viewer with code 0.
  viewer_exits() {
    local name="$1" text="$2" code
    set +e
    timeout 120 "$viewer" "$3" >"v_$name.out" 2>"v_$name.err"
    code=$?
    set -e
    [ "$code" != 124 ] || fail "viewer $name: no answer within 120 s"
    [ "$code" = 0 ] || fail "viewer $name: exit code $code: $(tail -c 600 "v_$name.err")"
    found "$text" "v_$name.out" "v_$name.err" || fail "viewer $name: no '$text' in: $(tail -c 600 "v_$name.err")"
    pass "viewer $name: exit 0, '$text'"
  }
  viewer_exits huge_objects "huge_objects.ini:2: objects = 1000000000: at most 256 objects" huge_objects.ini
  viewer_exits huge_resolution "re:huge_resolution.ini.*100000" huge_resolution.ini
  viewer_exits tiny_resolution "tiny_resolution.ini:2: resolution = 1" tiny_resolution.ini
  viewer_exits too_many "many.tri: 65536 triangles, more than the 65535" too_many.ini

  # viewer_stays NAME TEXT CONFIG: a usable (if empty or dark) scene keeps
  # the viewer running with its window, and says what is wrong.
  viewer_stays() {
    local name="$1" text="$2"
    (exec "$viewer" "$3" >"v_$name.out" 2>"v_$name.err") &
    local pid=$!
    E2E_PIDS+=("$pid")
    wait_window LUMETRA >/dev/null
    wait_for found "$text" "v_$name.out" "v_$name.err" ||
      fail "viewer $name: no '$text' in: $(tail -c 600 "v_$name.err")"
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || fail "viewer $name: ended by itself: $(tail -c 600 "v_$name.err")"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pass "viewer $name: keeps running, '$text'"
  }
  viewer_stays missing "missing.ini: cannot read the configuration (No such file or directory)" missing.ini
  viewer_stays folder "folder.ini: cannot read the configuration (is a directory)" folder.ini
  viewer_stays garbage "No triangle emits light" garbage.ini
  viewer_stays no_emitter "nan.tri:3: 'nan' is not a number" no_emitter.ini

  # Save6d onto a disk that fills up: the failure is reported, the previous
  # result survives and the viewer goes on.
  if small_disk vfull 16k; then
    printf '0\r\n0\r\n' > vfull/room.6d
    (cd vfull && exec "$viewer" ../good.ini >../v_save.out 2>../v_save.err) &
    pid=$!
    E2E_PIDS+=("$pid")
    win="$(wait_window LUMETRA)"
    xdotool mousemove --window "$win" 20 20
    xdotool click 3
    menu="$(wait_window 'freeglut menu')"
    xdotool mousemove --window "$menu" 20 114 click 1
    wait_for grep -qF "Cannot save room.6d: No space left on device" v_save.out ||
      fail "viewer save: no failure line: $(grep -v Convergence v_save.out | tail -n 5)"
    [ "$(cat vfull/room.6d)" = "$(printf '0\r\n0\r\n')" ] || fail "viewer save: the previous result was damaged"
    kill -0 "$pid" 2>/dev/null || fail "viewer save: ended after the failed save"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pass "viewer save on a full disk: reported, previous file kept, still running"
  fi
else
  echo "skip: no viewer or no X tools"
fi

[ "$ran" = 1 ] || exit 77
