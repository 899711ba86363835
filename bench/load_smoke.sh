#!/usr/bin/env bash
# Smoke test of the load tools, run by ctest: half a second of checked load against the floor server
# and against the libmodbus server, and proof that the client's value check does fail when the
# values are wrong (the floor answers zeros where the client wrote its pattern). Every server runs
# on a port of its own choosing with a lifetime of 30 s and is stopped by its PID.
#
# usage: load_smoke.sh FLOOR_SERVER LIBMODBUS_SERVER LOAD_CLIENT
set -euo pipefail
floor_server=$1
libmodbus_server=$2
client=$3

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a server on port 0 (it picks a free one) with a lifetime of 30 s.
start() {
  "$1" --port 0 --seconds 30 >"$work/$(basename "$1").out" &
  pids+=($!)
}

# Prints the port that the server reported, waiting at most 10 s for the report.
port_of() {
  local output=$work/$(basename "$1").out try port
  for try in $(seq 1 200); do
    port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$output")
    if [ -n "$port" ]; then
      echo "$port"
      return 0
    fi
    sleep 0.05
  done
  echo "$1 did not report its port" >&2
  return 1
}

expect_clean() { # description, client arguments...
  local description=$1 line
  shift
  line=$("$client" --seconds 0.5 "$@") || { echo "FAIL: $description: $line" >&2; exit 1; }
  case $line in
    *" errors=0"*) echo "ok: $description: $line" ;;
    *) echo "FAIL: $description: $line" >&2; exit 1 ;;
  esac
  case $line in
    *" requests=0 "*) echo "FAIL: $description made no requests" >&2; exit 1 ;;
  esac
}

start "$floor_server"
start "$libmodbus_server"
floor_port=$(port_of "$floor_server")
libmodbus_port=$(port_of "$libmodbus_server")

expect_clean "floor, read, 2 connections" --port "$floor_port" --op read --connections 2 --expect-zeros
expect_clean "floor, write, 2 connections" --port "$floor_port" --op write --connections 2 --expect-zeros
expect_clean "libmodbus, read, 2 connections" --port "$libmodbus_port" --op read --connections 2
expect_clean "libmodbus, write 123 registers, 2 connections" --port "$libmodbus_port" --op write --connections 2 \
  --registers 123

# The floor keeps nothing, so a client that expects its own pattern back must count an error.
if line=$("$client" --seconds 0.5 --port "$floor_port" --op read 2>/dev/null); then
  echo "FAIL: reading zeros where a pattern was written passed: $line" >&2
  exit 1
fi
case $line in
  *" errors=0"*) echo "FAIL: wrong values not counted: $line" >&2; exit 1 ;;
  *) echo "ok: wrong values are counted: $line" ;;
esac
