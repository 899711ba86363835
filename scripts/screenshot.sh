#!/usr/bin/env bash
# Takes the README's pictures; needs no display of its own.
#   docs/screenshot.png   the console under Xvfb on a free loopback port, with a small Modbus client
#                         connected that has made a few requests
#   docs/status-page.png  the control interface's status page in headless Chromium, served by
#                         parvane-cli with the same small client connected
#
#   scripts/screenshot.sh [CONSOLE.png [PAGE.png]]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p docs
output=${1:-docs/screenshot.png}
page_output=${2:-docs/status-page.png}
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -dpi 96" \
  build/tests/console/console_screenshot "$output"

work=$(mktemp -d)
cli_guard=""
client_guard=""
cleanup() {
  # Each runs under timeout, which passes SIGTERM on to it.
  [ -n "$client_guard" ] && kill -TERM "$client_guard" 2>/dev/null
  [ -n "$cli_guard" ] && kill -TERM "$cli_guard" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits (at most 10 s) until the server's log has `count` lines holding `text`.
wait_for_log() { # text count
  local try
  for try in $(seq 1 200); do
    [ "$(grep -c "$1" "$work/cli.log" || true)" -ge "$2" ] && return 0
    sleep 0.05
  done
  echo "screenshot: parvane-cli did not log '$1'; its output:" >&2
  cat "$work/cli.log" >&2
  return 1
}

timeout 120 build/parvane-cli --port 0 --bind 127.0.0.1 --http 127.0.0.1:0 >"$work/cli.log" 2>&1 &
cli_guard=$!
wait_for_log "Listening on " 1
http_port=$(sed -n 's/.*HTTP control interface on [0-9.]*:\([0-9]*\).*/\1/p' "$work/cli.log" | head -n1)
modbus_port=$(sed -n 's/.*Listening on [0-9.]*:\([0-9]*\).*/\1/p' "$work/cli.log" | head -n1)
timeout 60 build/tests/console/modbus_demo_client "$modbus_port" 30 >/dev/null &
client_guard=$!
wait_for_log "Connection accepted" 3

# The page refreshes once a second; three seconds of the page's time show the client's requests.
timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/profile" --hide-scrollbars --window-size=1000,780 --virtual-time-budget=3000 \
  --screenshot="$page_output" "http://127.0.0.1:$http_port/" >"$work/chromium.log" 2>&1 || {
  cat "$work/chromium.log" >&2
  exit 1
}
echo "Saved $page_output"
