#!/usr/bin/env bash
# The folders' walls: includes point app -> view -> radiosity -> scene only,
# and each folder uses only the libraries its CMake target links (scene: no
# GL; radiosity: GL and GLU but no GLUT, libpng or EGL; view: no EGL).
# Usage: layering.sh SOURCE_DIR
cd "$1" || exit 2
status=0
refuse() {  # folder, pattern, what
  local hits
  hits=$(grep -nE "^#include [<\"]($2)" "$1"/*.h "$1"/*.cpp 2>/dev/null)
  if [ -n "$hits" ]; then
    echo "$1/ may not include $3:"
    echo "$hits"
    status=1
  fi
}
refuse scene 'radiosity/|view/|app/|bench/|mesh/|GL/|EGL/|png' "upper folders, GL or libpng"
refuse radiosity 'view/|app/|bench/|mesh/|GL/(glut|freeglut)|EGL/|png' "upper folders, GLUT, EGL or libpng"
refuse view 'app/|bench/|mesh/|EGL/' "app/, bench/, mesh/ or EGL"
refuse app 'bench/|mesh/' "bench/ or mesh/"
[ $status = 0 ] && echo "layering: every include points down"
exit $status
