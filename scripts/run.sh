#!/usr/bin/env bash
# Installs what is missing, builds, and starts Parvane: the headless server, which logs to standard
# output and stops on Ctrl+C. Arguments go to it (see build/parvane-cli --help), for example
# scripts/run.sh --port 5020 to run without the privilege that port 502 needs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec build/parvane-cli "$@"
