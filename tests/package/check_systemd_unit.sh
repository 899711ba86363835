#!/usr/bin/env bash
# Verifies the example systemd unit against the staged installation: systemd-analyze checks every
# directive, that ExecStart names an executable and that the Documentation= manual page exists.
# It answers 0 even for an unknown or misspelt key, so any message it prints fails the check.
#   check_systemd_unit.sh ROOT
set -euo pipefail
root=$1
unit_dir=$(mktemp -d)
trap 'rm -rf "$unit_dir"' EXIT
sed "s#/usr/bin/parvane-cli#$root/usr/bin/parvane-cli#" \
  "$root/usr/share/doc/parvane/examples/parvane-cli.service" >"$unit_dir/parvane-cli.service"
messages=$(MANPATH="$root/usr/share/man" SYSTEMD_LOG_COLOR=0 \
  systemd-analyze verify "$unit_dir/parvane-cli.service" 2>&1) || { echo "$messages"; exit 1; }
if [ -n "$messages" ]; then
  echo "$messages"
  exit 1
fi
echo "parvane-cli.service verifies cleanly"
