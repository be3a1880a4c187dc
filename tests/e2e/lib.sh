# Shared helpers for the end-to-end tests that drive the real programs under
# Xvfb. Source it; every test gets its own X server and scratch folder, and
# the EXIT trap kills whatever the test started.
set -euo pipefail

E2E_PIDS=()
E2E_TMP="$(mktemp -d /tmp/lumetra-e2e.XXXXXX)"

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]:-}"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  for pid in "${E2E_PIDS[@]:-}"; do
    [ -n "$pid" ] && wait "$pid" 2>/dev/null || true
  done
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

# Skips (ctest SKIP_RETURN_CODE 77) when the X tools are not installed.
require_x_tools() {
  local t
  for t in Xvfb xdotool "$@"; do
    command -v "$t" >/dev/null 2>&1 || { echo "SKIP: $t not installed"; exit 77; }
  done
}

# start_xvfb [depth]: starts a server and exports DISPLAY. With -displayfd
# Xvfb picks a free display number itself and writes it once it is ready, so
# tests running in parallel never end up on the same server.
start_xvfb() {
  local depth="${1:-24}" file="$E2E_TMP/display.$RANDOM"
  # -noreset: without it the server resets whenever its last client leaves,
  # and a program connecting during the reset fails to open the display.
  Xvfb -displayfd 9 -screen 0 "1024x768x$depth" -nolisten tcp -noreset 9>"$file" >/dev/null 2>&1 &
  E2E_PIDS+=($!)
  local deadline=$((SECONDS + 20))
  until grep -qE '^[0-9]+$' "$file" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "Xvfb did not start"
    sleep 0.02
  done
  export DISPLAY=":$(head -n 1 "$file")"
  wait_for xdotool getmouselocation || fail "cannot connect to Xvfb on $DISPLAY"
}

# wait_for CMD...: polls a command for up to $WAIT_SECONDS (default 20 s).
wait_for() {
  local deadline=$((SECONDS + ${WAIT_SECONDS:-20}))
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# window_id NAME: the first visible window with that exact name.
window_id() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }

# wait_window NAME: waits for the window and prints its id.
has_window() { [ -n "$(window_id "$1")" ]; }
wait_window() {
  wait_for has_window "$1" || true
  local w
  w="$(window_id "$1")"
  [ -n "$w" ] || { cat "$E2E_TMP"/*.txt >&2 2>/dev/null; fail "no window named '$1' appeared"; }
  echo "$w"
}

# count_lines FILE PATTERN: lines matching an extended regular expression.
count_lines() { grep -cE "$2" "$1" 2>/dev/null || true; }
