#!/usr/bin/env bash
# The CI-only checks: a warnings-as-errors build, every test under AddressSanitizer and
# UndefinedBehaviorSanitizer, the server's and the control interface's threads under
# ThreadSanitizer (with the reliability scenarios that run the server in-process), bounded libFuzzer
# runs, and the Debian package with its install test beside the Windows release zip with its check.
# The reliability scenarios run shorter under the sanitizers (PARVANE_STRESS_SCALE).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

echo "== -Werror build"
BUILD_DIR=build-werror scripts/build.sh -DPARVANE_WERROR=ON

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
BUILD_DIR=build-asan scripts/build.sh -DPARVANE_SANITIZE=address,undefined -DPARVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 PARVANE_STRESS_SCALE=0.25 \
  ctest --output-on-failure --no-tests=error -j "$(nproc)")

echo "== ThreadSanitizer: server, log, platform, table and control-interface tests, the console's refresh thread, in-process reliability scenarios"
# The console is built too, for its refresh-thread test (label console_threads): RefreshThread runs
# there against a window made without Qt, since Qt is not instrumented and would hide its races.
BUILD_DIR=build-tsan scripts/build.sh -DPARVANE_SANITIZE=thread -DPARVANE_BUILD_CONSOLE=ON -DPARVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
# The suppressions cover cpp-httplib, a system library not built for the sanitizer (see the file).
tsan_suppressions="$PWD/tests/tsan_suppressions.txt"
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$tsan_suppressions" \
  PARVANE_STRESS_SCALE=0.25 \
  ctest --output-on-failure --no-tests=error -L 'server|log|platform|tables|control|console_threads|stress_in_process' -j "$(nproc)")

if [ -x scripts/fuzz.sh ]; then
  echo "== libFuzzer"
  scripts/fuzz.sh
fi

echo "== Debian package and Windows release zip"
built=$(scripts/package.sh)
deb=$(tail -n 1 <<<"$built")
zip=$(tail -n 2 <<<"$built" | head -n 1)
echo "built $deb and $zip"
# The install tests of the normal build, this time against the unpacked package (dpkg -x), and the
# zip's contents.
(cd build && PARVANE_PACKAGE_DEB="$deb" PARVANE_PACKAGE_ZIP="$zip" ctest --output-on-failure --no-tests=error -L package)
