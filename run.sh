#!/usr/bin/env bash
# Builds LUMETRA (Release, into build/) when needed and starts the viewer.
#   ./run.sh                 the bundled Cornell box (lumetra.ini in this folder)
#   ./run.sh scene.ini       any configuration file
# Without an X display it solves the scene headless with lumetra-batch instead
# and writes the picture (out/<scene>.png) and the result files to out/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

"$here/scripts/install-deps.sh" build
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build" -j2 --target lumetra lumetra-batch >/dev/null

if [ $# -eq 0 ]; then
  cd "$here"   # so that ./lumetra.ini is found
fi

display_ok=0
if [ -n "${DISPLAY:-}" ]; then
  if command -v xdpyinfo >/dev/null 2>&1; then
    xdpyinfo >/dev/null 2>&1 && display_ok=1
  else
    display_ok=1   # cannot probe; let the viewer try
  fi
fi

if [ "$display_ok" = 1 ]; then
  exec "$here/build/lumetra" "$@"
fi

if [ -x "$here/build/lumetra-batch" ]; then
  config="${1:-lumetra.ini}"
  # The picture is named after the scene (out/lumetra.png, out/sunroom.png for .../sunroom/scene.ini).
  picture="out/$("$here/scripts/picture-name.sh" "$config").png"
  mkdir -p out
  echo "No X display reachable: solving $config headless with lumetra-batch into out/."
  "$here/build/lumetra-batch" "$config" --out out --png "$picture" --aa
  echo "Wrote $picture and the result files (*.6d) in $(pwd)/out."
  exit 0
fi
echo "run.sh: no X display reachable (DISPLAY is '${DISPLAY:-}'); the viewer needs one." >&2
exit 1
