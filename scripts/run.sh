#!/usr/bin/env bash
# Installs what is missing, builds, and starts Parvane.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec build/bench/bench_request_path "$@"
