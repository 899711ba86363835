#!/usr/bin/env bash
# Cross-builds the headless server and its tests for 64-bit Windows with mingw-w64 into
# build-windows/ (or BUILD_DIR): build-windows/parvane-cli.exe, statically linked against the
# compiler's runtime, and build-windows/tests/test_*.exe. The console (Qt), captures (libpcap), the
# benchmarks, the fuzz targets and the package are Linux-only. Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-windows}
jobs=${JOBS:-2}

scripts/install-deps.sh

# Debian's httplib.h only declares (its code is compiled into the Linux library); the Windows build
# compiles the whole header-only httplib.h of the same Debian release, fetched once as the source
# package through apt with a source list of its own, so that the machine's apt setup is untouched.
third_party="$PWD/$build_dir/third_party"
httplib_header="$third_party/cpp-httplib/httplib.h"
if [ ! -f "$httplib_header" ]; then
  apt_state="$third_party/apt"
  mkdir -p "$apt_state/lists/partial" "$third_party/source"
  version=$(dpkg-query -W -f='${source:Version}' libcpp-httplib-dev)
  # The machine's own package sources, as source-package entries.
  mkdir -p "$apt_state/sources.list.d"
  sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt_state/sources.list" 2>/dev/null || true
  for sources in /etc/apt/sources.list.d/*.sources; do
    [ -f "$sources" ] && sed 's/^Types: .*/Types: deb-src/' "$sources" >"$apt_state/sources.list.d/$(basename "$sources")"
  done
  apt_options=(-o "Dir::Etc::SourceList=$apt_state/sources.list" -o "Dir::Etc::SourceParts=$apt_state/sources.list.d"
    -o "Dir::State::Lists=$apt_state/lists" -o "Dir::Cache=$apt_state/cache")
  apt-get "${apt_options[@]}" update -qq
  (cd "$third_party/source" && apt-get "${apt_options[@]}" source -qq "cpp-httplib=$version" >/dev/null 2>&1)
  unpacked=$(find "$third_party/source" -mindepth 2 -maxdepth 2 -name httplib.h | head -n 1)
  if [ -z "$unpacked" ]; then
    echo "build-windows.sh: the source of cpp-httplib $version has no httplib.h" >&2
    exit 1
  fi
  mkdir -p "$(dirname "$httplib_header")"
  cp "$unpacked" "$httplib_header"
fi

cmake -S . -B "$build_dir" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DPARVANE_WERROR=ON \
  -DPARVANE_BUILD_CONSOLE=OFF -DPARVANE_BUILD_CAPTURE=OFF -DPARVANE_BUILD_BENCH=OFF \
  -DPARVANE_BUILD_FUZZ=OFF -DPARVANE_BUILD_PACKAGE=OFF \
  -DPARVANE_HTTPLIB_HEADER="$httplib_header" "$@" >/dev/null
cmake --build "$build_dir" -j "$jobs"
