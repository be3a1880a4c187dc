#!/usr/bin/env bash
# run.sh without a display names the picture after the scene.
# Usage: picture_name.sh SOURCE_DIR
set -euo pipefail
name="$(cd "$1" && pwd)/scripts/picture-name.sh"
fail() { echo "FAIL: $*" >&2; exit 1; }
scratch="$(mktemp -d /tmp/lumetra-name.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/my house" "$scratch/rooms"
cd "$scratch/rooms"
while IFS='|' read -r config want; do
  got="$("$name" "$config")" || fail "picture-name.sh $config failed"
  [ "$got" = "$want" ] || fail "$config gives '$got', not '$want'"
done <<'CASES'
lumetra.ini|lumetra
examples/sunroom/scene.ini|sunroom
../my house/scene.ini|my house
scene.ini|rooms
/scene.ini|scene
kitchen.v2.ini|kitchen.v2
noextension|noextension
.ini|scene
CASES
echo "ok: pictures are named after their scenes"
