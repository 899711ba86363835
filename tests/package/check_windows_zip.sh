#!/usr/bin/env bash
# Checks the Windows release zip that scripts/package.sh makes beside the .deb, named by
# PARVANE_PACKAGE_ZIP (CI sets it); without it there is nothing to check (exit 77, skipped).
#   check_windows_zip.sh LICENSE VERSION
# It must hold exactly parvane-cli.exe, parvane-cli.txt and LICENSE.txt in one folder named like the
# zip; the exe a stripped 64-bit Windows program that needs no DLL beyond Windows's own (the
# compiler's runtime linked in), the manual page plain ASCII text, the licence the project's.
set -euo pipefail
licence=$1
version=$2
zip=${PARVANE_PACKAGE_ZIP:-}
if [ -z "$zip" ]; then
  echo "PARVANE_PACKAGE_ZIP is not set: no zip to check"
  exit 77
fi
fail() { echo "check_windows_zip: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "PARVANE_PACKAGE_ZIP=$zip is not a file"
folder=parvane-cli-$version-windows-x86_64
[ "$(basename "$zip")" = "$folder.zip" ] || fail "$(basename "$zip") is not named $folder.zip"

names=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
expected=$(printf '%s\n' "$folder/LICENSE.txt" "$folder/parvane-cli.exe" "$folder/parvane-cli.txt")
[ "$names" = "$expected" ] || fail "the zip holds"$'\n'"$names"$'\n'"instead of"$'\n'"$expected"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
cd "$work/$folder"

format=$(objdump -f parvane-cli.exe 2>&1 || true)
grep -q 'file format pei-x86-64' <<<"$format" || fail "parvane-cli.exe is not a 64-bit Windows program: $format"
grep -q '\.debug_' <<<"$(objdump -h parvane-cli.exe)" && fail "parvane-cli.exe carries debug information: not stripped"
# Every DLL it imports must come with Windows: the compiler's runtime (libstdc++, libgcc, winpthread)
# would not be on a machine with nothing installed.
imports=$(objdump -p parvane-cli.exe | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || fail "parvane-cli.exe imports no DLL at all: not read as a PE file"
while read -r dll; do
  case $dll in
    kernel32.dll | ws2_32.dll | msvcrt.dll | advapi32.dll | user32.dll | iphlpapi.dll | bcrypt.dll | crypt32.dll | \
      api-ms-win-*.dll | ucrtbase.dll | shell32.dll | ole32.dll | mswsock.dll | ntdll.dll) ;;
    *) fail "parvane-cli.exe needs $dll, which Windows does not bring" ;;
  esac
done <<<"$imports"
echo "parvane-cli.exe imports: $(tr '\n' ' ' <<<"$imports")"

# Text a Windows user can open anywhere: ASCII, no overstrikes or escape sequences, the sections a
# reader looks for, and the version the zip is named after.
LC_ALL=C grep -q '[^[:print:][:space:]]' parvane-cli.txt && fail "parvane-cli.txt holds bytes that are not plain text"
LC_ALL=C grep -qP '[\x80-\xff]' parvane-cli.txt && fail "parvane-cli.txt is not ASCII"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS"; do
  grep -q "^$section\$" parvane-cli.txt || fail "parvane-cli.txt has no $section section"
done
grep -qF "Parvane $version" parvane-cli.txt || fail "parvane-cli.txt does not name version $version"

cmp -s LICENSE.txt "$licence" || fail "LICENSE.txt is not the project's LICENSE"
echo "$(basename "$zip"): parvane-cli.exe, parvane-cli.txt and LICENSE.txt as they should be"
