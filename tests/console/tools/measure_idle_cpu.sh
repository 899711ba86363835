#!/usr/bin/env bash
# Measures the CPU that the console takes with four idle connections: starts build/parvane on the
# offscreen platform on PORT, opens four connections that send nothing, and reads the process's
# user + system time from /proc over 10 s. Prints the share of one core. Bounded to about 20 s.
set -euo pipefail
cd "$(dirname "$0")/../../.."
port=${1:?usage: measure_idle_cpu.sh PORT}
QT_QPA_PLATFORM=offscreen build/parvane --port "$port" --bind 127.0.0.1 &
console=$!
client_log=$(mktemp)
trap 'kill "$console" 2>/dev/null || true; rm -f "$client_log"' EXIT
build/tests/console/modbus_demo_client "$port" 14 idle >"$client_log" &
client=$!
for _ in $(seq 100); do   # ready once the client reports its connections open, at most 10 s
  grep -q "idle connections open" "$client_log" && break
  sleep 0.1
done
grep -q "idle connections open" "$client_log"
ticks() { awk '{print $14 + $15}' "/proc/$console/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep 10
after=$(ticks)
echo "console CPU over 10 s with 4 idle connections: $(( (after - before) * 1000 / hz )) ms = $(awk "BEGIN {printf \"%.2f\", ($after - $before) * 100 / $hz / 10}")% of one core"
wait "$client"
kill -TERM "$console"
wait "$console" && echo "console exit code 0"
