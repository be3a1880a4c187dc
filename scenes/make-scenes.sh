#!/usr/bin/env bash
# Regenerates the bundled scenes from their OBJ models:
#   scenes/cornell/  and lumetra.ini at the repository root (the Cornell box
#                    with its published camera),
#   examples/furnace/, examples/sunroom/.
# Usage: scenes/make-scenes.sh [path/to/lumetra-mesh]
# Without an argument the tool is taken from $LUMETRA_MESH or else is the most
# recently built build*/lumetra-mesh of the repository.
# The bundled files were made by an earlier lumetra-mesh, which cut every edge
# into equal pieces and wrote only the basic settings. Today's tool bisects
# longest edges and writes the faster solver keys (overshoot, ambient, ...), so
# running this again changes the bundled scenes and the default configuration's
# output: do it only on purpose.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

mesh="${1:-${LUMETRA_MESH:-}}"
if [[ -z "$mesh" ]]; then
    for candidate in build*/lumetra-mesh; do
        if [[ -x "$candidate" && ( -z "$mesh" || "$candidate" -nt "$mesh" ) ]]; then mesh="$candidate"; fi
    done
fi
if [[ -z "$mesh" || ! -x "$mesh" ]]; then
    echo "make-scenes.sh: lumetra-mesh not found; build it or pass its path" >&2
    exit 1
fi

# rewrite_ini IN OUT PREFIX [section.key=value ...]
# Copies a generated scene.ini, prefixing every object's file with PREFIX and
# replacing the given keys (which must already be present).
rewrite_ini() {
    local in="$1" out="$2" prefix="$3"
    shift 3
    awk -v prefix="$prefix" -v overrides="$*" -v marker="; Settings and camera adjusted by scenes/make-scenes.sh" '
        BEGIN {
            n = split(overrides, list, " ")
            for (i = 1; i <= n; i++) {
                eq = index(list[i], "=")
                value[substr(list[i], 1, eq - 1)] = substr(list[i], eq + 1)
            }
        }
        $0 == marker && n > 0 { next }
        /^\[.*\]/ {
            if (n > 0 && !marked) { print marker; marked = 1 }
            section = tolower(substr($0, 2, index($0, "]") - 2))
        }
        {
            eq = index($0, "=")
            if (eq > 0 && substr($0, 1, 1) != ";") {
                key = tolower(substr($0, 1, eq - 1))
                if ((section "." key) in value) { print key "=" value[section "." key]; next }
                if (key == "file") { print key "=" prefix substr($0, eq + 1); next }
            }
            print
        }' "$in" > "$out.tmp"
    mv "$out.tmp" "$out"
}

# The Cornell box: edges of at most 50 mm give about 3000 triangles. The
# published camera; brightness 3 keeps the brightest wall just below white; at
# stop_at 0.001 the solver stops after about 60 steps, before the faces of the
# blocks that turn away from the light have received any light, so 0.0001
# (about 2600 steps).
"$mesh" scenes/cornell/cornell.obj scenes/cornell --max-edge 50
rewrite_ini scenes/cornell/scene.ini scenes/cornell/scene.ini "" \
    settings.brightness=3.0 settings.near=1 settings.far=3000 settings.stop_at=0.0001 \
    camera.pos_x=278 camera.pos_y=273 camera.pos_z=-800 \
    camera.lookat_x=278 camera.lookat_y=273 camera.lookat_z=0 \
    camera.up_x=0 camera.up_y=1 camera.up_z=0 camera.fov=39.3
# The default configuration at the repository root shows the same scene.
rewrite_ini scenes/cornell/scene.ini lumetra.ini scenes/cornell/

# Furnace test: exact answer B = E / (1 - rho) = 64 / 127 everywhere, so it
# runs to a tighter threshold.
"$mesh" examples/furnace/furnace.obj examples/furnace --max-edge 1.25
rewrite_ini examples/furnace/scene.ini examples/furnace/scene.ini "" settings.stop_at=0.00001

# Sunroom: a window, a ceiling panel and furniture, seen from inside the room,
# from just in front of the front wall towards the window.
"$mesh" examples/sunroom/sunroom.obj examples/sunroom --max-edge 0.4
rewrite_ini examples/sunroom/scene.ini examples/sunroom/scene.ini "" \
    settings.brightness=2.0 settings.stop_at=0.0002 \
    camera.pos_x=3 camera.pos_y=1.6 camera.pos_z=4.9 \
    camera.lookat_x=3 camera.lookat_y=1.2 camera.lookat_z=0 camera.fov=70
