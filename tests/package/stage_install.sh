#!/usr/bin/env bash
# Lays an installed Parvane into a scratch root for the install tests.
#   stage_install.sh BUILD_DIR ROOT VERSION
# With PARVANE_PACKAGE_DEB naming a .deb (CI sets it after scripts/package.sh), the package is
# unpacked with dpkg -x and its control fields are checked; otherwise the build folder is
# installed with cmake --install --prefix ROOT/usr, which lays out the same tree as the package.
set -euo pipefail
build_dir=$1
root=$2
version=$3

fail() { echo "stage_install: $*" >&2; exit 1; }

rm -rf "$root"
mkdir -p "$root"

deb=${PARVANE_PACKAGE_DEB:-}
if [ -z "$deb" ]; then
  cmake --install "$build_dir" --prefix "$root/usr" >/dev/null
  echo "staged from $build_dir with cmake --install"
  exit 0
fi

[ -f "$deb" ] || fail "PARVANE_PACKAGE_DEB=$deb is not a file"
dpkg-deb -x "$deb" "$root"
echo "staged from $deb with dpkg -x"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = parvane ] || fail "Package is '$(field Package)', not parvane"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Section)" ] || fail "no Section"

# The runtime libraries each program links against must be named in Depends, or the
# package installs but its programs do not start.
depends=$(field Depends)
echo "Depends: $depends"
required=(libc6 libstdc++6)
if [ -e "$root/usr/bin/parvane" ]; then
  required+=(libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins)
fi
# Package names only, without version constraints: "libc6 (>= 2.34), libstdc++6 (>= 12)".
named=$(sed -E 's/ *\([^)]*\)//g; s/ *, */\n/g' <<<"$depends")
for package in "${required[@]}"; do
  grep -qxF "$package" <<<"$named" || fail "Depends lacks $package"
done
