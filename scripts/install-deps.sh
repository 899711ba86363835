#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Parvane need, and only those
# that are missing. Uses sudo only when not already root.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config        # compiler and build
  qt6-base-dev qt6-svg-dev fonts-liberation   # the operator console, its SVG artwork and font
  libcpp-httplib-dev nlohmann-json3-dev   # the HTTP control interface
  libgtest-dev libgmock-dev valgrind      # unit tests, the memcheck run of the framing tests
  libbenchmark-dev libmodbus-dev strace   # benchmarks, test clients, scripts/bench.sh syscalls
  python3-pymodbus python3-serial-asyncio mbpoll   # other Modbus clients the process tests run
  xvfb xauth                              # console tests and screenshots without a display
  chromium                                # the status page's browser test and its screenshot
  clang libclang-rt-14-dev                # libFuzzer targets
  librsvg2-bin                            # icon bitmaps rendered from the SVG at build time
  dpkg-dev desktop-file-utils man-db      # the Debian package, its dependencies, its checks
  libpcap-dev tshark                      # capture files, and the decoder that reads them back
  # The Windows build (scripts/build-windows.sh, scripts/test-windows.sh): the mingw-w64 cross
  # compiler with the posix thread model (std::thread and std::mutex), GoogleTest's sources to build
  # with it, Wine to run the .exe files here, and zip for the release archive.
  g++-mingw-w64-x86-64-posix mingw-w64 googletest wine wine64 zip
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
# tshark asks whether non-root users may capture; answer no without a prompt.
echo 'wireshark-common wireshark-common/install-setuid boolean false' | "${as_root[@]}" debconf-set-selections
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
