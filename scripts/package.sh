#!/usr/bin/env bash
# Builds the Debian package from a Release build in build-package/ (or the folder in BUILD_DIR)
# and prints the path of the .deb as the last line of standard output; progress goes to stderr.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
build_dir=${BUILD_DIR:-build-package}
# Only what the package holds: no tests, no benchmarks.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DPARVANE_BUILD_TESTS=OFF -DPARVANE_BUILD_BENCH=OFF -DPARVANE_BUILD_FUZZ=OFF "$@" >&2
cmake --build "$build_dir" -j 2 >&2
rm -f "$build_dir"/parvane_*.deb
(cd "$build_dir" && cpack -G DEB >&2)
deb=$(ls "$build_dir"/parvane_*.deb)
echo "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
