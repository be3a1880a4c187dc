#!/usr/bin/env bash
# Installs the Debian packages LUMETRA needs, when they are missing.
#   install-deps.sh build   what building needs
#   install-deps.sh test    what building and the tests need (Xvfb, python3-xlib, Pillow, ...)
# As root it runs apt-get; otherwise it prints the one line to run and fails.
set -euo pipefail
what="${1:-build}"

packages=(cmake g++ make pkg-config libgtest-dev libbenchmark-dev freeglut3-dev libglu1-mesa-dev libegl-dev
          libgl1-mesa-dri libpng-dev libx11-dev libassimp-dev libcli11-dev libopenexr-dev rapidjson-dev help2man)
if [ "$what" = test ]; then
  packages+=(xvfb python3 clang clang-format libclang-rt-14-dev python3-xlib python3-pil)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

line="apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root:  $line" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
