#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each one for a bounded number
# of runs, starting from a work copy of its committed seed corpus. Fails on any crash, sanitizer
# report or broken invariant, and when a run stops short of its run count.
#   FUZZ_RUNS         runs per target (default 1000000; CI needs at least 200000); a target whose
#                     line names its own run count (the framing target, which pushes every input
#                     through a socket pair segment by segment) gets the smaller of the two
#   FUZZ_MAX_SECONDS  time cap per target (default 600)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-fuzz
runs=${FUZZ_RUNS:-1000000}
max_seconds=${FUZZ_MAX_SECONDS:-600}

# One line per target: target name (fuzz/<name>_fuzz.cpp), seed folder under fuzz/corpus/, longest
# input, and optionally the target's own run count.
targets=(
  "request request 260"
  "framing framing 512 100000"
)

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPARVANE_BUILD_FUZZ=ON -DPARVANE_SANITIZE=address,undefined \
  -DPARVANE_BUILD_TESTS=OFF -DPARVANE_BUILD_BENCH=OFF -DPARVANE_BUILD_CONSOLE=OFF >/dev/null
build_targets=()
for entry in "${targets[@]}"; do
  read -r name _ <<<"$entry"
  build_targets+=("fuzz_$name")
done
cmake --build "$build_dir" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-2}" --target "${build_targets[@]}"

for entry in "${targets[@]}"; do
  read -r name seeds max_len target_runs <<<"$entry"
  runs=${FUZZ_RUNS:-1000000}
  if [ -n "${target_runs:-}" ] && [ "$target_runs" -lt "$runs" ]; then
    runs=$target_runs
  fi
  work="$build_dir/corpus/$seeds"
  artifacts="$build_dir/artifacts/$name"
  log="$build_dir/fuzz_$name.log"
  rm -rf "$work"
  mkdir -p "$work" "$artifacts"
  cp fuzz/corpus/"$seeds"/* "$work"/
  echo "== fuzz_$name: $runs runs, inputs up to $max_len bytes, at most $max_seconds s"
  if ! "$build_dir/fuzz/fuzz_$name" -runs="$runs" -max_len="$max_len" -max_total_time="$max_seconds" \
       -artifact_prefix="$artifacts/" -print_final_stats=1 "$work" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz_$name FAILED; the crashing input is in $artifacts/" >&2
    exit 1
  fi
  done_runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb|stat::new_units_added)' "$log" || true
  if [ -z "$done_runs" ] || [ "$done_runs" -lt "$runs" ]; then
    echo "fuzz_$name stopped after ${done_runs:-0} of $runs runs" >&2
    exit 1
  fi
done
