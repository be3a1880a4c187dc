#!/usr/bin/env bash
# cmake --install into a scratch prefix: the four programs run from there
# (--version, without a display), each has its manual page, and the README
# and the pictures it links to are installed.
# Usage: install.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
prefix="$(mktemp -d /tmp/lumetra-install.XXXXXX)"
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log" >&2; fail "cmake --install"; }
rm -f "$prefix.log"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

for program in lumetra lumetra-batch lumetra-mesh lumetra-bench; do
  installed="$prefix/bin/$program"
  [ -x "$installed" ] || fail "$program is not installed in $prefix/bin"
  # Run from elsewhere, so nothing of the build tree is found by accident.
  first="$(cd / && env -u DISPLAY "$installed" --version | head -n 1)" || fail "$program --version failed"
  [ "$first" = "$program $version" ] || fail "$program --version printed '$first'"
  (cd / && env -u DISPLAY "$installed" --help >/dev/null) || fail "$program --help failed"
  page="$prefix/share/man/man1/$program.1"
  [ -s "$page" ] || fail "no manual page $page"
  grep -q "^\.TH \"\?${program^^}\"\? \"\?1\"\?" "$page" || fail "$page has no .TH header for $program"
  grep -qF -- '\-\-help' "$page" || fail "$page does not describe --help"
  if command -v man >/dev/null 2>&1; then
    MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "^NAME" || fail "man cannot show $page"
  fi
  echo "ok: $program $version, $page"
done
grep -q "wheel" "$prefix/share/man/man1/lumetra.1" || fail "lumetra.1 lacks the keys"
doc="$prefix/share/doc/lumetra"
[ -s "$doc/README.md" ] || fail "README.md is not installed in $doc"
for picture in $(grep -o '(docs/[^)]*\.png)' "$doc/README.md" | tr -d '()'); do
  [ -s "$doc/$picture" ] || fail "the README shows $picture, which is not installed"
done
echo "ok: README.md and its pictures in $doc"
