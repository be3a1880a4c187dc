#!/usr/bin/env bash
# Installs what the tests need (when run as root), builds, and runs the whole
# test suite. Options:
#   --sanitize   also build and run the suite with ASan + UBSan in build-asan/
#   --tsan       also build the capture workers with ThreadSanitizer in
#                build-tsan/ and run their tests and a threaded batch solve
#   --fuzz[=S]   also run each libFuzzer target for S seconds (default 30)
#   --all        all of the above, fuzzing 20 s per target (what CI runs)
set -euo pipefail
cd "$(dirname "$0")"

sanitize=0
tsan=0
fuzz_seconds=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    --tsan) tsan=1 ;;
    --fuzz) fuzz_seconds=30 ;;
    --fuzz=*) fuzz_seconds="${arg#--fuzz=}" ;;
    --all) sanitize=1; tsan=1; fuzz_seconds=20 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "test.sh: unknown option $arg" >&2; exit 1 ;;
  esac
done

./scripts/install-deps.sh test

# Every C++ file follows the project's .clang-format.
if command -v clang-format >/dev/null; then
  unformatted=$(git ls-files '*.cpp' '*.h' 2>/dev/null | xargs -r clang-format --dry-run 2>&1 | grep -o '^[^:]*:' | sort -u || true)
  if [ -n "$unformatted" ]; then
    echo "test.sh: not formatted with clang-format:" $unformatted >&2
    exit 1
  fi
fi

jobs=2
werror=OFF
[ -n "${CI:-}" ] && werror=ON

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DLUMETRA_WERROR=$werror >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

if [ "$sanitize" = 1 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer build (build-asan/) =="
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DLUMETRA_SANITIZE=ON -DLUMETRA_WERROR=$werror >/dev/null
  cmake --build build-asan -j"$jobs"
  # Mesa's drivers leak by design at exit; leaks in our own code still show in
  # the fuzzers, which run without the GL stack. Tests may run the programs
  # under stdbuf, whose LD_PRELOAD library would otherwise stop ASan at start.
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs"
fi

if [ "$tsan" = 1 ]; then
  echo "== ThreadSanitizer build of the capture workers (build-tsan/) =="
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMETRA_TSAN=ON -DLUMETRA_WERROR=$werror >/dev/null
  cmake --build build-tsan -j"$jobs" --target lumetra_thread_tests lumetra-batch
  # Several capturing contexts, as the programs run them: llvmpipe keeps no
  # threads of its own (their synchronisation is invisible to the sanitizer).
  LP_NUM_THREADS=0 TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" build-tsan/tests/lumetra_thread_tests
  LP_NUM_THREADS=0 TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" bash tests/e2e/capture_threads.sh build-tsan .
fi

if [ "$fuzz_seconds" -gt 0 ] && [ -x fuzz/run.sh ]; then
  echo "== Fuzzing, $fuzz_seconds s per target =="
  fuzz/run.sh "$fuzz_seconds"
fi
