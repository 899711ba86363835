#!/usr/bin/env bash
# Builds the Debian package from a Release build in build-package/ (or the folder in BUILD_DIR), and
# beside it the Windows release zip parvane-cli-VERSION-windows-x86_64.zip: parvane-cli.exe, its
# manual page as plain text and the licence. The exe is built with scripts/build-windows.sh, or taken
# from PARVANE_WINDOWS_EXE when that names one. Prints the path of the zip, then the path of the .deb
# as the last line of standard output; progress goes to stderr.
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

windows_exe=${PARVANE_WINDOWS_EXE:-}
if [ -z "$windows_exe" ]; then
  # Always through the build, which does nothing when the exe is up to date: a zip must never carry
  # an exe older than its sources.
  scripts/build-windows.sh >&2
  windows_exe=build-windows/parvane-cli.exe
fi
[ -f "$windows_exe" ] || { echo "package: $windows_exe is missing" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
name=parvane-cli-$version-windows-x86_64
stage=$build_dir/$name
rm -rf "$stage" "$stage.zip"
mkdir -p "$stage"
# Without its debug information, a fiftieth of the size (the build's exe keeps it for debugging).
x86_64-w64-mingw32-strip -o "$stage/parvane-cli.exe" "$windows_exe"
# Plain ASCII at 80 columns, without the overstrikes that make bold and underline on a terminal:
# Notepad shows it as it is. Any warning from man or groff fails the package.
warnings=$(LC_ALL=C MANWIDTH=80 man -E ascii --warnings=w -l "$build_dir/packaging/man/parvane-cli.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "package: the manual page renders with warnings:" >&2; echo "$warnings" >&2; exit 1; }
LC_ALL=C MANWIDTH=80 man -E ascii -l "$build_dir/packaging/man/parvane-cli.1" | col -bx >"$stage/parvane-cli.txt"
cp LICENSE "$stage/LICENSE.txt"
(cd "$build_dir" && zip -q -X -r "$name.zip" "$name")
rm -rf "$stage"
echo "$(cd "$build_dir" && pwd)/$name.zip"
echo "$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
