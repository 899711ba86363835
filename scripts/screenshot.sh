#!/usr/bin/env bash
# Takes docs/screenshot.png: the console under Xvfb on a free loopback port, with a small Modbus
# client connected that has made a few requests. Needs no display of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p docs
output=${1:-docs/screenshot.png}
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -dpi 96" \
  build/tests/console/console_screenshot "$output"
