#!/usr/bin/env bash
# Installs what is missing, builds, and starts Parvane: the operator console (build/parvane) where a
# display is available ($DISPLAY or $WAYLAND_DISPLAY set), the headless server (build/parvane-cli,
# which logs to standard output) otherwise. Both stop in order on Ctrl+C.
# PARVANE_HEADLESS=1 chooses the headless server, PARVANE_HEADLESS=0 the console. Arguments go to
# the program unchanged, e.g. scripts/run.sh --port 5020 to run without the privilege port 502 needs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

headless=${PARVANE_HEADLESS:-}
if [ -n "$headless" ]; then
  reason="PARVANE_HEADLESS=$headless"
elif [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  headless=0
  reason="a display is available"
else
  headless=1
  reason="no display (neither DISPLAY nor WAYLAND_DISPLAY is set)"
fi

if [ "$headless" = 0 ]; then
  echo "run.sh: $reason: starting the operator console, build/parvane $*" >&2
  echo "run.sh: for the headless server instead: PARVANE_HEADLESS=1 scripts/run.sh" >&2
  exec build/parvane "$@"
else
  echo "run.sh: $reason: starting the headless server, build/parvane-cli $*" >&2
  echo "run.sh: for the operator console: PARVANE_HEADLESS=0 scripts/run.sh (needs a display)" >&2
  exec build/parvane-cli "$@"
fi
