#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# SECONDS (default 30) on a copy of its seed corpus. Fails when a target
# crashes, leaks, trips a sanitizer or breaks one of its invariants; the
# input that did it is left in build-fuzz/findings/.
# Usage: fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(config triangle_reader format_real obj_reader result_reader)

cxx="${FUZZ_CXX:-}"
if [ -z "$cxx" ]; then
  for c in clang++ clang++-14; do command -v "$c" >/dev/null 2>&1 && { cxx="$c"; break; }; done
fi
if [ -z "$cxx" ]; then
  echo "fuzz/run.sh: clang++ not found; fuzzing skipped" >&2
  exit 0
fi

build=build-fuzz
mkdir -p "$build"
if ! { cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" -j2; } >"$build/build.log" 2>&1; then
  tail -n 30 "$build/build.log" >&2
  echo "fuzz/run.sh: building the fuzz targets failed (log: $build/build.log)" >&2
  exit 1
fi

mkdir -p "$build/findings"
# The targets' scratch folders go here, not into the system's /tmp.
export TMPDIR="$PWD/$build/tmp"
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"
status=0
for t in "${targets[@]}"; do
  bin="$build/${t}_fuzz"
  [ -x "$bin" ] || { echo "fuzz/run.sh: no target $t" >&2; exit 1; }
  work="$PWD/$build/corpus/$t"
  rm -rf "$work"
  mkdir -p "$work"
  cp fuzz/corpus/"$t"/* "$work"/
  log="$build/$t.log"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="$PWD/fuzz/$t.dict")
  # -close_fd_mask=3 silences the programs' own output; libFuzzer and the
  # sanitizers still report on the saved standard error.
  # -rss_limit_mb keeps a runaway allocation a finding, not a swapped machine.
  # A fixed seed (FUZZ_SEED, default 1) makes the short runs repeatable; long
  # hunts pass FUZZ_SEED=0 for a fresh one each time.
  if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 LSAN_OPTIONS=suppressions="$PWD/fuzz/lsan.supp" \
     UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     "$bin" -max_total_time="$seconds" -seed="${FUZZ_SEED:-1}" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
       -close_fd_mask=3 -artifact_prefix="$PWD/$build/findings/$t-" "${dict[@]}" "$work" >"$log" 2>&1; then
    runs="$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || true)"
    [ -n "$runs" ] || runs="$(grep -oE '#[0-9]+' "$log" | tail -n 1 | tr -d '#')"
    echo "fuzz: $t ok (${runs:-?} runs in ${seconds}s)"
  else
    status=1
    echo "fuzz: $t FAILED; log $log, inputs in $build/findings/:" >&2
    grep -E 'ERROR|invariant broken|SUMMARY|Test unit written' "$log" | head -n 20 >&2 || true
  fi
done
exit "$status"
