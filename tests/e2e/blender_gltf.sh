#!/usr/bin/env bash
# The glTF export opened in Blender (only where Blender is installed): a
# solved room with a lamp, exported by lumetra-batch as .gltf and as ASCII
# .ply, then blender_check.py compares what Blender imported with the PLY.
# Usage: blender_gltf.sh BUILD_DIR
set -euo pipefail
command -v blender >/dev/null 2>&1 || { echo "SKIP: blender not installed"; exit 77; }
build="$(cd "$1" && pwd)"
check="$(cd "$(dirname "$0")" && pwd)/blender_check.py"
tmp="$(mktemp -d /tmp/lumetra-e2e.XXXXXX)"
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
fail() { echo "FAIL: $*" >&2; exit 1; }

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
near = 0.001
far = 10
smooth_angle = 90
objects = 2
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
emission_r = 510
emission_g = 255
emission_b = 128
INI

"$build/lumetra-batch" scene.ini --steps 40 --out results --export scene.gltf >out.txt || fail "solve failed"
"$build/lumetra-batch" scene.ini --load results --export corners.ply --ascii >>out.txt || fail "--load failed"
[ -s scene.gltf ] && [ -s scene.bin ] || fail "no .gltf and .bin"
blender -b --factory-startup --python "$check" -- scene.gltf corners.ply >blender.txt 2>&1 ||
  fail "Blender disagrees: $(grep -E 'MISMATCH|Error' blender.txt | head -n 5)"
echo "ok: Blender imported the export, $(grep -o 'checked .*' blender.txt)"
