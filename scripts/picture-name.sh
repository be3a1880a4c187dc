#!/usr/bin/env bash
# Prints the name run.sh gives the picture of a scene solved without a
# display: the configuration's file name without its extension, or, for a
# file named scene.ini (what lumetra-mesh writes), the name of its folder.
#   picture-name.sh lumetra.ini                 -> lumetra
#   picture-name.sh examples/sunroom/scene.ini  -> sunroom
set -euo pipefail
config="${1:?usage: picture-name.sh CONFIG}"
file="$(basename -- "$config")"
if [ "$file" = scene.ini ]; then
  folder="$(cd -- "$(dirname -- "$config")" 2>/dev/null && pwd -P || dirname -- "$config")"
  name="$(basename -- "$folder")"
else
  name="${file%.*}"
fi
# The root folder, a dot file or a bare dot leaves no usable name.
case "$name" in "" | / | . | ..) name=scene ;; esac
printf '%s\n' "$name"
