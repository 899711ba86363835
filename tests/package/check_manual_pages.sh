#!/usr/bin/env bash
# Renders each manual page as man would and fails on any warning from groff or man, and on a page
# that lacks a section a user looks for. Pages may be gzip-compressed (as installed) or not.
#   check_manual_pages.sh PAGE...
set -euo pipefail
status=0
for page in "$@"; do
  text=$(mktemp)
  if [[ $page == *.gz ]]; then gzip -dc "$page"; else cat "$page"; fi |
    sed 's/@PROJECT_VERSION@/0.0/g' >"$text"
  # man runs the preprocessors named on the first line (tbl) and groff with warnings on.
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings=w -l "$text" 2>&1 >/dev/null || true)
  if [ -n "$warnings" ]; then
    echo "$page: man reports:"; echo "$warnings"; status=1
  fi
  rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$text" 2>/dev/null)
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" PRIVILEGES "SEE ALSO"; do
    if ! grep -q "^$section\$" <<<"$rendered"; then
      echo "$page: no $section section"; status=1
    fi
  done
  for needed in CAP_NET_BIND_SERVICE "Modbus Server started on" "Modbus Server stopped" \
      "Unable to bind listen socket : WSAEADDRINUSE: Address already in use"; do
    if ! grep -qF -- "$needed" <<<"$rendered"; then
      echo "$page: does not mention \"$needed\""; status=1
    fi
  done
  rm -f "$text"
done
[ $status -eq 0 ] && echo "$# manual pages render cleanly"
exit $status
