#!/usr/bin/env bash
# Load benchmark: Parvane's server against the framing-only floor and libmodbus's own server, all
# driven by the same libmodbus load client (bench/load_client.cpp), every response checked.
#
#   scripts/bench.sh [compare] [options]  tables of medians, pinned and unpinned (the default mode)
#   scripts/bench.sh console [options]    the console's cost: parvane (window open, offscreen) against
#                                         parvane-cli with K=1 load on slot 0, the slot the window
#                                         shows by default; then the CPU use of both with four idle
#                                         connections
#   scripts/bench.sh syscalls [options]   system calls per request of each server (strace -c -f on a
#                                         short K=1 run; strace slows the server, the counts stay)
#   scripts/bench.sh control [options]    the control interface's cost: parvane-cli against
#                                         parvane-cli --http while a poller (bench_control_client,
#                                         on CPU 0 too, or --poller-cpu) fetches the status and
#                                         the new transactions ten times a second; then the time
#                                         of a PUT and a GET of all 65,536 registers through the
#                                         interface
#
# Options:
#   --reps N                repetitions of each pinned run (default 3; 5 in console and control modes)
#   --seconds S             length of one pinned run (default 3)
#   --unpinned-reps N       repetitions of each unpinned run, 0 to skip them (default 3)
#   --unpinned-seconds S    length of one unpinned run (default 1.5)
#   --idle-seconds S        console mode: the CPU measurement window (default 10)
#   --table-reps N          control mode: PUTs and GETs of the whole register table (default 20)
#   --poll-rate N           control mode: the poller's polls per second (default 10; 0 measures the
#                           interface switched on but not asked anything)
#   --poller-cpu N          control mode: the CPU the poller runs on (default 0, beside the load and
#                           the server, so that its own reading counts against them; with 1 it no
#                           longer does, but every answer crosses CPUs)
#   --servers "LIST"        compare and syscalls modes: some of floor libmodbus cli console (default: all that are built),
#                           and cli_capture, parvane-cli writing a capture file (--servers "cli cli_capture"
#                           gives the capture's cost), cli_fault, parvane-cli with a fault rule that
#                           never matches (--servers "cli cli_fault"), cli_generators, parvane-cli
#                           with 1,000 generators updating every 10 ms (--servers "cli cli_generators",
#                           which also reports the generator thread's CPU use), and cli_wine, the
#                           Windows build build-windows/parvane-cli.exe (or PARVANE_WINDOWS_EXE) under
#                           Wine (--servers "cli cli_wine"; scripts/build-windows.sh builds it)
#   --no-build              use build/ as it is
#   --before PATH           compare mode: also run the parvane-cli at PATH (a build of an earlier
#                           commit) as the server "before", beside this build's, e.g.
#                           --servers "before cli" --before ../old/build/parvane-cli
#
# How it measures. Client and server share CPU 0 (the client under taskset -c 0, the server moved
# there with taskset -a after it answers): that placement measures the CPU cost per request and
# repeats within a few percent on a busy machine, so the pinned table is the one to judge by. Each
# server is started once; the servers take turns run by run (A B C A B C ...) so that a drifting
# machine load hits them alike, and the tables show medians. The unpinned table is what a user
# sees: on two vCPUs a K=1 run there swings between the same-CPU and cross-CPU round trip.
# Every run also yields the CPU time per request of client and server together; while other
# processes share the CPU, requests per second swing and CPU per request barely moves, so the
# "CPU" rows are the comparison to trust on a busy machine.
# Exit status: 0 when every run finished with no wrong response.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=compare
reps=""
seconds=3
unpinned_reps=3
unpinned_seconds=1.5
idle_seconds=10
table_reps=20
poll_rate=10
poller_cpu=0
servers=""
build=1
before_server=""

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }
if [ $# -gt 0 ] && [[ $1 != -* ]]; then
  mode=$1
  shift
fi
while [ $# -gt 0 ]; do
  case $1 in
    --reps) reps=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --unpinned-reps) unpinned_reps=$2; shift 2 ;;
    --unpinned-seconds) unpinned_seconds=$2; shift 2 ;;
    --idle-seconds) idle_seconds=$2; shift 2 ;;
    --table-reps) table_reps=$2; shift 2 ;;
    --poll-rate) poll_rate=$2; shift 2 ;;
    --poller-cpu) poller_cpu=$2; shift 2 ;;
    --servers) servers=$2; shift 2 ;;
    --no-build) build=0; shift ;;
    --before) before_server=$2; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
case $mode in compare | console | syscalls | control) ;; *) echo "bench: unknown mode '$mode'" >&2; exit 2 ;; esac
if [ -z "$reps" ]; then
  reps=3
  [ "$mode" = console ] || [ "$mode" = control ] && reps=5
fi

build_dir=${BUILD_DIR:-build}
client=$build_dir/bench/bench_load_client
floor_server=$build_dir/bench/bench_floor_server
libmodbus_server=$build_dir/bench/bench_libmodbus_server
cli_server=$build_dir/parvane-cli
control_client=$build_dir/bench/bench_control_client
console_server=$build_dir/parvane
wine_exe=${PARVANE_WINDOWS_EXE:-build-windows/parvane-cli.exe}
wineserver_pid=""

cpu_count=$(nproc)
all_cpus=0
[ "$cpu_count" -gt 1 ] && all_cpus="0-$((cpu_count - 1))"
# Every server and client runs under timeout, so nothing outlives a run that was itself cut short.
server_lifetime=900
readonly register_count=10
ticks_per_second=$(getconf CLK_TCK)

cpu_ticks() { # pid -> utime + stime of every thread, living or ended, in clock ticks
  sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# A Windows program's socket calls go partly through the wineserver, a process of its own: the server's
# CPU under Wine is both.
server_ticks() { # server name
  local ticks
  ticks=$(cpu_ticks "${server_pid[$1]}")
  if [ "$1" = cli_wine ] && [ -n "$wineserver_pid" ]; then
    ticks=$((ticks + $(cpu_ticks "$wineserver_pid")))
  fi
  echo "$ticks"
}

# The Windows build runs in the Wine prefix that scripts/test-windows.sh uses, under a wineserver
# started here in the foreground, so that its PID is known (to pin it and count its CPU); it ends by
# itself 10 s after the last Wine process, and at the end of the script at once.
start_wine() {
  export WINEPREFIX=${WINEPREFIX:-$PWD/build-windows/wine-prefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the Wine prefix $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    timeout 300 wineboot -i >/dev/null 2>&1 || { echo "bench: wineboot failed" >&2; exit 1; }
    timeout 60 wineserver -w || true
  fi
  wineserver -f -p10 >/dev/null 2>&1 &
  wineserver_pid=$!
}

stop_wine() {
  [ -n "$wineserver_pid" ] || return 0
  timeout 30 wineserver -k 2>/dev/null || true
  wait "$wineserver_pid" 2>/dev/null || true
  wineserver_pid=""
}

thread_ticks() { # pid name -> utime + stime of the process's thread of that name, in clock ticks
  local task
  for task in /proc/"$1"/task/*; do
    if [ "$(cat "$task/comm" 2>/dev/null)" = "$2" ]; then
      sed 's/.*) //' "$task/stat" | awk '{ print $12 + $13 }'
      return 0
    fi
  done
  echo 0
}

# 1,000 generators, each writing every 10 ms, away from the registers the load client uses (from
# 1000): counters, sines, random values and copies, a quarter each.
generator_options=()
for index in $(seq 0 249); do
  generator_options+=(--generate "registers $((10000 + index)) uint16 counter period=10ms"
    --generate "input-registers $((2 * index)) float32 sine amplitude=100 period=1s update=10ms"
    --generate "registers $((11000 + 2 * index)) uint32 random period=10ms order=CDAB"
    --generate "registers $((12000 + index)) uint16 copy from=$((10000 + index)) period=10ms")
done

work=$(mktemp -d)
declare -A server_pid=() server_port=() timeout_pid=()
failures=0

stop_server() {
  local name=$1 pid=${server_pid[$1]:-} guard=${timeout_pid[$1]:-} try status=0 signal=TERM
  [ -n "$guard" ] || return 0
  # Wine turns only SIGINT into the Ctrl+C that stops a Windows program in order; SIGTERM kills it.
  [ "$name" = cli_wine ] && signal=INT
  kill -"$signal" "$pid" 2>/dev/null || true
  for try in $(seq 1 100); do
    kill -0 "$guard" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$guard" 2>/dev/null; then
    echo "bench: $name did not stop within 5 s of SIG$signal; killing it" >&2
    kill -KILL "$pid" 2>/dev/null || true
  fi
  wait "$guard" 2>/dev/null || status=$?
  unset "server_pid[$name]" "timeout_pid[$name]"
  echo "$name stopped, exit status $status" >>"$work/stops"
}

cleanup() {
  local name
  for name in "${!timeout_pid[@]}"; do stop_server "$name"; done
  stop_wine
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

build_tools() {
  cmake -S . -B "$build_dir" -G Ninja >/dev/null
  local targets=(bench_load_client bench_floor_server bench_libmodbus_server bench_control_client) known target
  known=$(cmake --build "$build_dir" --target help)
  for target in parvane-cli parvane; do
    grep -q "^$target: " <<<"$known" && targets+=("$target")
  done
  echo "== building ${targets[*]}"
  cmake --build "$build_dir" -j2 --target "${targets[@]}" >"$work/build.log" 2>&1 || {
    cat "$work/build.log" >&2
    exit 1
  }
}

# Open connections on the server's side of a port (the client's side has the port as its peer).
connections_on() {
  ss -Htn state established state close-wait "( sport = :$1 )" | wc -l
}

# A run starts only when the server has let go of every earlier connection: Parvane has four slots,
# and a connection still bound would take one (or be evicted) during the next run.
wait_for_connections() {
  local port=$1 wanted=$2 try
  for try in $(seq 1 300); do
    [ "$(connections_on "$port")" -eq "$wanted" ] && return 0
    sleep 0.01
  done
  echo "bench: port $port still has $(connections_on "$port") connections, expected $wanted" >&2
  return 1
}

# Ready means: it accepts a connection and answers a read; bounded to about 20 s.
wait_until_answering() {
  local pid=$1 port=$2 try
  for try in $(seq 1 40); do
    kill -0 "$pid" 2>/dev/null || return 1
    if "$client" --port "$port" --op probe --connect-timeout-ms 500 >/dev/null 2>&1; then
      wait_for_connections "$port" 0
      return
    fi
  done
  return 1
}

server_command() {
  local name=$1 port=$2
  case $name in
    floor) server_argv=("$floor_server" --port "$port" --seconds "$server_lifetime") ;;
    libmodbus) server_argv=("$libmodbus_server" --port "$port" --seconds "$server_lifetime") ;;
    cli) server_argv=("$cli_server" --port "$port" --bind 127.0.0.1) ;;
    before) server_argv=("$before_server" --port "$port" --bind 127.0.0.1) ;;
    # The load client addresses unit 255 (libmodbus's TCP default): the rule is read for every
    # request and never acts.
    cli_fault) server_argv=("$cli_server" --port "$port" --bind 127.0.0.1 --fault "delay=1000 fc=3,16 unit=7") ;;
    cli_http) server_argv=("$cli_server" --port "$port" --bind 127.0.0.1 --http 127.0.0.1:0) ;;
    cli_capture) server_argv=("$cli_server" --port "$port" --bind 127.0.0.1 --capture "$work/capture.pcap") ;;
    cli_wine) server_argv=(wine "$wine_exe" --port "$port" --bind 127.0.0.1) ;;
    cli_generators) server_argv=("$cli_server" --port "$port" --bind 127.0.0.1 "${generator_options[@]}") ;;
    console) server_argv=(env QT_QPA_PLATFORM=offscreen "$console_server" --port "$port" --bind 127.0.0.1) ;;
  esac
}

server_label() {
  case $1 in
    floor) echo "framing-only floor" ;;
    libmodbus) echo "libmodbus server" ;;
    cli) echo "parvane-cli" ;;
    before) echo "parvane-cli (before)" ;;
    cli_fault) echo "parvane-cli, idle fault rule" ;;
    cli_http) echo "parvane-cli --http, polled" ;;
    cli_capture) echo "parvane-cli --capture" ;;
    cli_wine) echo "parvane-cli.exe (Wine)" ;;
    cli_generators) echo "parvane-cli, 1,000 generators" ;;
    console) echo "parvane (window)" ;;
  esac
}

# The server runs as the child of timeout, which bounds its life; its own PID is read from the
# kernel's list of timeout's children so that it can be pinned and stopped by PID.
start_server() {
  local name=$1 attempt port guard pid try
  for attempt in 1 2 3; do
    port=$("$client" --free-port)
    server_command "$name" "$port"
    timeout --kill-after=5 "$server_lifetime" "${server_argv[@]}" >"$work/$name.log" 2>&1 &
    guard=$!
    pid=""
    for try in $(seq 1 100); do
      pid=$(cat "/proc/$guard/task/$guard/children" 2>/dev/null || true)
      pid=${pid%% *}
      [ -n "$pid" ] && break
      sleep 0.01
    done
    server_pid[$name]=${pid:-$guard}
    timeout_pid[$name]=$guard
    server_port[$name]=$port
    if [ -n "$pid" ] && wait_until_answering "$pid" "$port"; then
      return 0
    fi
    stop_server "$name"
  done
  echo "bench: $(server_label "$name") did not start; its output:" >&2
  cat "$work/$name.log" >&2
  return 1
}

# Sets the CPU mask of every thread of the process and checks that it took.
set_cpus() {
  local pid=$1 cpus=$2 try status ok
  for try in 1 2 3; do
    taskset -a -pc "$cpus" "$pid" >/dev/null
    ok=1
    for status in /proc/"$pid"/task/*/status; do
      grep -q "^Cpus_allowed_list:[[:space:]]*$cpus\$" "$status" 2>/dev/null || ok=0
    done
    [ $ok -eq 1 ] && return 0
  done
  echo "bench: could not set the CPUs of process $pid to $cpus" >&2
  return 1
}

field() { # name line
  sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"
}

# One load run; appends "phase server workload rps p99 errors cpu-per-request" to the results. The CPU
# per request adds the client's threads (measured by the client) and the whole server process
# (from /proc, in clock ticks) over the run: unlike requests per second it hardly moves when other
# processes take turns on the same CPU.
run_load() {
  local phase=$1 name=$2 op=$3 connections=$4 length=$5 port=${server_port[$2]} line status=0
  local pid=${server_pid[$2]} ticks_before ticks_after
  local options=(--port "$port" --op "$op" --registers "$register_count" --connections "$connections"
                 --seconds "$length")
  local prefix=(timeout --kill-after=2 60)
  [ "$name" = floor ] && options+=(--expect-zeros)
  [ "$phase" = pinned ] && prefix+=(taskset -c 0)
  wait_for_connections "$port" 0 || true
  ticks_before=$(server_ticks "$name")
  line=$("${prefix[@]}" "$client" "${options[@]}" 2>>"$work/$name.errors") || status=$?
  # The server's threads for these connections count only once they have ended.
  wait_for_connections "$port" 0 || true
  ticks_after=$(server_ticks "$name")
  local rps p99 errors cpu
  rps=$(field rps "$line")
  p99=$(field p99_us "$line")
  errors=$(field errors "$line")
  cpu=$(awk -v c="$(field client_cpu_us "$line")" -v t=$((ticks_after - ticks_before)) -v hz="$ticks_per_second" \
    -v n="$(field requests "$line")" 'BEGIN { if (n > 0) printf "%.2f", (c + t * 1e6 / hz) / n; else print 0 }')
  if [ "$status" -ne 0 ] || [ -z "$rps" ]; then
    echo "bench: $(server_label "$name") $op K=$connections failed (status $status): $line" >&2
    sed 's/^/  /' "$work/$name.errors" >&2 || true
    : >"$work/$name.errors"
    failures=$((failures + 1))
    rps=0 p99=0 errors=${errors:-1} cpu=0
  fi
  echo "$phase $name $op$connections ${rps:-0} ${p99:-0} ${errors:-0} $cpu" >>"$work/results"
  printf '  %-8s %-20s %-6s K=%s  %8s req/s  p99 %6s us  cpu %5s us/req  errors %s\n' "$phase" \
    "$(server_label "$name")" "$op" "$connections" "$rps" "$p99" "$cpu" "$errors"
}

# Median of the numbers on standard input (the mean of the middle two for an even count).
median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print ""; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

results_of() { # phase server workload column
  awk -v p="$1" -v s="$2" -v w="$3" -v c="$4" '$1 == p && $2 == s && $3 == w { print $c }' "$work/results"
}

errors_of() {
  results_of "$1" "$2" "$3" 6 | awk '{ sum += $1 } END { print sum + 0 }'
}

with_commas() {
  awk -v n="$1" 'BEGIN { n = sprintf("%.0f", n); out = ""; while (length(n) > 3) { out = "," substr(n, length(n) - 2) out; n = substr(n, 1, length(n) - 3) } print n out }'
}

# The cell of one server and workload: median requests per second and median p99.
cell() {
  local rps p99
  rps=$(results_of "$1" "$2" "$3" 4 | median)
  p99=$(results_of "$1" "$2" "$3" 5 | median)
  if [ -z "$rps" ]; then
    echo "-"
  elif [ "$(errors_of "$1" "$2" "$3")" -ne 0 ]; then
    echo "ERRORS"
  else
    printf '%s, p99 %.1f us' "$(with_commas "$rps")" "$p99"
  fi
}

ratio() { # phase server reference workload [column] -> percent of the reference's median
  local a b
  a=$(results_of "$1" "$2" "$4" "${5:-4}" | median)
  b=$(results_of "$1" "$3" "$4" "${5:-4}" | median)
  awk -v a="${a:-0}" -v b="${b:-0}" 'BEGIN { if (b > 0) printf "%.1f%%", 100 * a / b; else print "-" }'
}

workloads=(read1 read4 write1 write4)
workload_label() {
  case $1 in read1) echo "read 10 K=1" ;; read4) echo "read 10 K=4" ;; write1) echo "write 10 K=1" ;; write4) echo "write 10 K=4" ;; esac
}

print_table() { # phase title server...
  local phase=$1 title=$2 name workload
  shift 2
  echo
  echo "$title"
  printf '| %-28s |' server
  for workload in "${workloads[@]}"; do printf ' %-24s |' "$(workload_label "$workload")"; done
  echo
  printf '|%s|' "------------------------------"
  for workload in "${workloads[@]}"; do printf '%s|' "--------------------------"; done
  echo
  for name in "$@"; do
    printf '| %-28s |' "$(server_label "$name")"
    for workload in "${workloads[@]}"; do printf ' %-24s |' "$(cell "$phase" "$name" "$workload")"; done
    echo
  done
  for name in "$@"; do
    printf '| %-28s |' "$(server_label "$name"), CPU"
    for workload in "${workloads[@]}"; do
      printf ' %-24s |' "$(printf '%.2f us/request' "$(results_of "$phase" "$name" "$workload" 7 | median)")"
    done
    echo
  done
  local subject reference
  for subject in cli cli_fault console cli_capture cli_generators cli_wine; do
    [[ " $* " == *" $subject "* ]] || continue
    for reference in before cli libmodbus floor; do
      [[ " $* " == *" $reference "* ]] && [ "$reference" != "$subject" ] || continue
      printf '| %-28s |' "$subject / $reference"
      for workload in "${workloads[@]}"; do printf ' %-24s |' "$(ratio "$phase" "$subject" "$reference" "$workload")"; done
      echo
      # The same comparison by CPU per request (the reference's over the subject's, so that above
      # 100% still means faster): steadier than requests per second on a shared machine.
      printf '| %-28s |' "$subject / $reference CPU"
      for workload in "${workloads[@]}"; do
        printf ' %-24s |' "$(ratio "$phase" "$reference" "$subject" "$workload" 7)"
      done
      echo
    done
  done
}

# Interleaved runs: in every repetition each workload runs on every server in turn.
run_rounds() { # phase repetitions seconds server...
  local phase=$1 repetitions=$2 length=$3 rep workload name
  shift 3
  for rep in $(seq 1 "$repetitions"); do
    for workload in "${workloads[@]}"; do
      for name in "$@"; do
        run_load "$phase" "$name" "${workload%?}" "${workload: -1}" "$length"
      done
    done
  done
}

choose_servers() {
  local name
  if [ -n "$servers" ]; then
    read -r -a chosen <<<"$servers"
  else
    chosen=(floor libmodbus)
    [ -x "$cli_server" ] && chosen+=(cli)
    [ -x "$console_server" ] && chosen+=(console)
  fi
  for name in "${chosen[@]}"; do
    case $name in floor | libmodbus | cli | cli_fault | console | cli_capture | cli_generators) ;;
      cli_wine) [ -f "$wine_exe" ] || { echo "bench: $wine_exe is missing: scripts/build-windows.sh builds it" >&2; exit 2; } ;;
      before) [ -x "$before_server" ] || { echo "bench: the server 'before' needs --before PATH" >&2; exit 2; } ;;
      *) echo "bench: unknown server '$name'" >&2; exit 2 ;;
    esac
  done
}

compare() {
  local chosen=() name
  choose_servers
  [[ " ${chosen[*]} " == *" cli_wine "* ]] && start_wine
  echo "== starting: ${chosen[*]}"
  for name in "${chosen[@]}"; do start_server "$name"; done

  local generator_ticks=0 generator_started
  if [ -n "${server_pid[cli_generators]:-}" ]; then
    generator_ticks=$(thread_ticks "${server_pid[cli_generators]}" parvane-gen)
    generator_started=$(date +%s.%N)
  fi

  echo "== pinned: client and servers on CPU 0, $reps x $seconds s per server and workload"
  for name in "${chosen[@]}"; do set_cpus "${server_pid[$name]}" 0; done
  [ -n "$wineserver_pid" ] && set_cpus "$wineserver_pid" 0
  run_rounds pinned "$reps" "$seconds" "${chosen[@]}"

  if [ "$unpinned_reps" -gt 0 ]; then
    echo "== unpinned: $unpinned_reps x $unpinned_seconds s per server and workload"
    for name in "${chosen[@]}"; do set_cpus "${server_pid[$name]}" "$all_cpus"; done
    [ -n "$wineserver_pid" ] && set_cpus "$wineserver_pid" "$all_cpus"
    run_rounds unpinned "$unpinned_reps" "$unpinned_seconds" "${chosen[@]}"
  fi

  local generator_line=""
  if [ -n "${server_pid[cli_generators]:-}" ]; then
    generator_line=$(awk -v t=$(($(thread_ticks "${server_pid[cli_generators]}" parvane-gen) - generator_ticks)) \
      -v hz="$ticks_per_second" -v s="$generator_started" -v f="$(date +%s.%N)" \
      'BEGIN { printf "Generator thread of parvane-cli, 1,000 generators at 10 ms: %.2f%% of one core (%d ticks in %.1f s, under load and between runs)", 100 * t / hz / (f - s), t, f - s }')
  fi
  for name in "${chosen[@]}"; do stop_server "$name"; done
  print_table pinned "Pinned to CPU 0 (client and server), medians of $reps x $seconds s: requests/s and p99 latency;
\"CPU\" rows: client and server CPU time per request; ratios above 100% mean faster than the reference" "${chosen[@]}"
  if [ "$unpinned_reps" -gt 0 ]; then
    print_table unpinned "Unpinned (what a user sees), medians of $unpinned_reps x $unpinned_seconds s" "${chosen[@]}"
  fi
  if [ -n "$generator_line" ]; then
    echo
    echo "$generator_line"
    echo "(goals: requests/s at least 95% of parvane-cli's; the thread under 5% of one core)"
  fi
}

console_check() {
  local name op rep
  if [ ! -x "$cli_server" ] || [ ! -x "$console_server" ]; then
    echo "bench: the console check needs both $cli_server and $console_server" >&2
    exit 1
  fi
  echo "== starting: parvane-cli, parvane (offscreen)"
  start_server cli
  start_server console
  set_cpus "${server_pid[cli]}" 0
  set_cpus "${server_pid[console]}" 0

  echo "== K=1 load on slot 0, pinned to CPU 0, $reps x $seconds s each"
  # Only two servers: their order flips every repetition, so that whatever favours the first or
  # the second run of a pair does not favour one server.
  local order=(cli console)
  for rep in $(seq 1 "$reps"); do
    for op in read write; do
      for name in "${order[@]}"; do run_load pinned "$name" "$op" 1 "$seconds"; done
    done
    order=("${order[1]}" "${order[0]}")
  done

  echo "== idle: four connections to each, CPU use over $idle_seconds s"
  local idle_clients=() before=() after=() started finished pid
  for name in console cli; do
    timeout --kill-after=2 $((idle_seconds + 30)) "$client" --port "${server_port[$name]}" --op idle --connections 4 \
      --seconds $((idle_seconds + 2)) >"$work/idle-$name.out" 2>&1 &
    idle_clients+=($!)
  done
  for name in console cli; do wait_for_connections "${server_port[$name]}" 4; done
  started=$(date +%s.%N)
  for name in console cli; do before+=("$(cpu_ticks "${server_pid[$name]}")"); done
  sleep "$idle_seconds"  # the measurement window itself
  for name in console cli; do after+=("$(cpu_ticks "${server_pid[$name]}")"); done
  finished=$(date +%s.%N)
  for pid in "${idle_clients[@]}"; do wait "$pid" || failures=$((failures + 1)); done

  for name in cli console; do stop_server "$name"; done

  echo
  echo "Console check: parvane (window open, offscreen) against parvane-cli, same run, K=1 on slot 0,"
  echo "pinned to CPU 0, medians of $reps x $seconds s"
  printf '| %-14s | %-24s | %-24s | %-8s | %-26s | %-12s |\n' workload parvane-cli "parvane (window)" ratio \
    "CPU us/request: cli, window" "ratio by CPU"
  printf '|%s|%s|%s|%s|%s|%s|\n' ---------------- -------------------------- -------------------------- ---------- \
    ---------------------------- --------------
  for op in read write; do
    printf '| %-14s | %-24s | %-24s | %-8s | %-26s | %-12s |\n' "$op 10 K=1" "$(cell pinned cli "${op}1")" \
      "$(cell pinned console "${op}1")" "$(ratio pinned console cli "${op}1")" \
      "$(printf '%.2f, %.2f' "$(results_of pinned cli "${op}1" 7 | median)" "$(results_of pinned console "${op}1" 7 | median)")" \
      "$(ratio pinned cli console "${op}1" 7)"
  done
  echo "(goal: at least 95%; \"ratio by CPU\" is cli's CPU per request over the window's, the same"
  echo "comparison but steadier while other processes share the CPU)"
  echo
  local i=0
  for name in console cli; do
    awk -v label="$(server_label "$name")" -v t=$((after[i] - before[i])) -v hz="$ticks_per_second" \
      -v s="$started" -v f="$finished" \
      'BEGIN { printf "CPU use with four idle connections, %s: %.2f%% of one core (%d ticks in %.1f s)\n", label, 100 * t / hz / (f - s), t, f - s }'
    i=$((i + 1))
  done
  echo "(goal for the window: under 2%)"
}

# strace attached to the whole server process during one short K=1 run; the table gives each
# system call's count divided by the number of requests answered.
trace_run() { # server op
  local name=$1 op=$2 pid=${server_pid[$1]} port=${server_port[$1]} tracer try line requests threads
  local options=(--port "$port" --op "$op" --registers "$register_count" --connections 1 --seconds 1)
  [ "$name" = floor ] && options+=(--expect-zeros)
  wait_for_connections "$port" 0 || true
  threads=$(ls "/proc/$pid/task" | wc -l)
  timeout --kill-after=2 60 strace -c -f -p "$pid" -o "$work/strace" 2>"$work/strace.attach" &
  tracer=$!
  for try in $(seq 1 500); do
    [ "$(grep -c 'attached' "$work/strace.attach" 2>/dev/null)" -ge "$threads" ] && break
    sleep 0.01
  done
  line=$(timeout --kill-after=2 60 "$client" "${options[@]}" 2>>"$work/$name.errors") || failures=$((failures + 1))
  wait_for_connections "$port" 0 || true
  kill -INT "$tracer" 2>/dev/null || true
  wait "$tracer" 2>/dev/null || true
  requests=$(field requests "$line")
  echo
  echo "$(server_label "$name"), $op 10 K=1: ${requests:-0} requests"
  awk -v n="${requests:-0}" '
    $1 ~ /^[0-9.]+$/ && $4 ~ /^[0-9]+$/ {
      if ($NF == "total") total = $4
      else if (n > 0 && $4 / n >= 0.01) printf "  %-16s %8.2f per request\n", $NF, $4 / n
    }
    END { if (n > 0) printf "  %-16s %8.2f per request\n", "all", total / n }' "$work/strace"
}

count_syscalls() {
  local chosen=() name op
  command -v strace >/dev/null || { echo "bench: strace is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
  choose_servers
  [[ " ${chosen[*]} " == *" cli_wine "* ]] && start_wine
  echo "== starting: ${chosen[*]}"
  for name in "${chosen[@]}"; do start_server "$name"; done
  for name in "${chosen[@]}"; do
    for op in read write; do trace_run "$name" "$op"; done
  done
  for name in "${chosen[@]}"; do stop_server "$name"; done
}

# The poller runs only during the runs against parvane-cli --http: sharing CPU 0 with the load, it
# would slow the other server's runs as well. It is stopped (SIGTERM, passed on by timeout) as soon
# as the load run ends, and prints what it fetched.
poller_guard=""
start_poller() { # port seconds
  timeout --kill-after=2 $((${2%.*} + 30)) taskset -c "$poller_cpu" "$control_client" --poll --port "$1" --seconds "$2" --rate "$poll_rate" \
    >"$work/poller.out" 2>>"$work/poller.errors" &
  poller_guard=$!
}

stop_poller() {
  local status=0 line
  kill -TERM "$poller_guard" 2>/dev/null || true
  wait "$poller_guard" || status=$?
  poller_guard=""
  line=$(grep '^RESULT' "$work/poller.out" || true)
  if [ "$status" -ne 0 ] || [ -z "$line" ]; then
    echo "bench: the poller failed (status $status): $line" >&2
    sed 's/^/  /' "$work/poller.errors" >&2 || true
    : >"$work/poller.errors"
    failures=$((failures + 1))
    return
  fi
  echo "$(field polls "$line") $(field transactions "$line") $(field bytes "$line") $(field slowest_ms "$line") $(field missed "$line")" >>"$work/polls"
}

control_check() {
  local name op workload rep http_port line
  [ -x "$control_client" ] || { echo "bench: $control_client is missing; build first" >&2; exit 1; }
  echo "== starting: parvane-cli, parvane-cli --http 127.0.0.1:0"
  start_server cli
  start_server cli_http
  http_port=$(sed -n 's/.*HTTP control interface on [0-9.]*:\([0-9]*\).*/\1/p' "$work/cli_http.log" | head -n1)
  [ -n "$http_port" ] || { echo "bench: parvane-cli --http named no port; its output:" >&2; cat "$work/cli_http.log" >&2; exit 1; }
  set_cpus "${server_pid[cli]}" 0
  set_cpus "${server_pid[cli_http]}" 0

  echo "== pinned to CPU 0 with the poller during the --http runs, $reps x $seconds s each"
  # Two servers: their order flips every repetition, as in the console check.
  local order=(cli cli_http)
  for rep in $(seq 1 "$reps"); do
    for workload in "${workloads[@]}"; do
      for name in "${order[@]}"; do
        if [ "$name" = cli_http ]; then
          start_poller "$http_port" $((${seconds%.*} + 5))
          run_load pinned "$name" "${workload%?}" "${workload: -1}" "$seconds"
          stop_poller
        else
          run_load pinned "$name" "${workload%?}" "${workload: -1}" "$seconds"
        fi
      done
    done
    order=("${order[1]}" "${order[0]}")
  done

  echo "== PUT and GET of all 65,536 registers, $table_reps of each (server on every CPU, client unpinned)"
  set_cpus "${server_pid[cli_http]}" "$all_cpus"
  line=$(timeout --kill-after=2 120 "$control_client" --tables --port "$http_port" --reps "$table_reps" \
    2>>"$work/tables.errors") || {
    echo "bench: the table transfer failed: $line" >&2
    sed 's/^/  /' "$work/tables.errors" >&2
    failures=$((failures + 1))
  }

  for name in cli cli_http; do stop_server "$name"; done

  echo
  echo "Control interface check: parvane-cli against parvane-cli --http while a poller fetches"
  echo "/api/v1/status and /api/v1/transactions?after=LAST $poll_rate times a second, load and servers"
  echo "on CPU 0, the poller on CPU $poller_cpu,"
  echo "medians of $reps x $seconds s"
  printf '| %-14s | %-24s | %-26s | %-8s | %-26s | %-12s |\n' workload parvane-cli "parvane-cli --http, polled" \
    ratio "CPU us/request: off, on" "ratio by CPU"
  printf '|%s|%s|%s|%s|%s|%s|\n' ---------------- -------------------------- ---------------------------- \
    ---------- ---------------------------- --------------
  for workload in "${workloads[@]}"; do
    printf '| %-14s | %-24s | %-26s | %-8s | %-26s | %-12s |\n' "$(workload_label "$workload")" \
      "$(cell pinned cli "$workload")" "$(cell pinned cli_http "$workload")" \
      "$(ratio pinned cli_http cli "$workload")" \
      "$(printf '%.2f, %.2f' "$(results_of pinned cli "$workload" 7 | median)" \
        "$(results_of pinned cli_http "$workload" 7 | median)")" \
      "$(ratio pinned cli cli_http "$workload" 7)"
  done
  echo "(goal: at least 95%; \"ratio by CPU\" is the CPU per request without the interface over the CPU"
  echo "per request with it, the server's and the load client's, not the poller's)"
  if [ -s "$work/polls" ] && [ "$poll_rate" -gt 0 ]; then
    awk '{ polls += $1; transactions += $2; bytes += $3; if ($4 > slowest) slowest = $4; missed += $5 }
      END { printf "Poller: %d polls, %.0f new transactions and %.0f kB fetched per poll, slowest poll %.1f ms,\n",
        polls, transactions / polls, bytes / polls / 1000, slowest
        printf "%.1f%% of the new transactions missed (dropped by the history before a poll asked for them)\n",
        (transactions > 0 ? 100 * missed / transactions : 0) }' "$work/polls"
  fi
  if [ -n "$line" ]; then
    echo
    echo "PUT /api/v1/registers of 65,536 values: median $(field put_median_ms "$line") ms, max $(field put_max_ms "$line") ms"
    echo "GET /api/v1/registers?start=0&count=65536: median $(field get_median_ms "$line") ms, max $(field get_max_ms "$line") ms"
    echo "($table_reps of each; goal: under 50 ms)"
  fi
}

[ $build -eq 1 ] && build_tools
for tool in "$client" "$floor_server" "$libmodbus_server"; do
  [ -x "$tool" ] || { echo "bench: $tool is missing; build first" >&2; exit 1; }
done
echo "== $(date -u +%H:%M:%S) UTC, $cpu_count CPUs, load average $(cut -d' ' -f1-3 /proc/loadavg)"
case $mode in
  compare) compare ;;
  console) console_check ;;
  syscalls) count_syscalls ;;
  control) control_check ;;
esac
[ -s "$work/stops" ] && { echo; cat "$work/stops"; }
if [ "$failures" -ne 0 ]; then
  echo "bench: $failures run(s) failed or found wrong responses" >&2
  exit 1
fi
