#!/usr/bin/env bash
# Runs every fuzzer of a fuzz build for SECONDS each, JOBS at a time, each on
# its own corpus folder (kept between runs). A crash prints the end of the
# fuzzer's log and fails the run once all have ended.
#   fuzz.sh FUZZ_BUILD_DIR SECONDS JOBS
set -uo pipefail
dir=$1 seconds=$2 jobs=$3

run_one() { # fuzzer seconds
  local fuzzer=$1 name
  name=$(basename "$fuzzer")
  mkdir -p "$dir/corpus/$name"
  if "$fuzzer" -max_total_time="$2" -print_final_stats=0 "$dir/corpus/$name" 2>"$dir/$name.log"; then
    echo "fuzz: $name for $2 s: $(grep -E '^(#[0-9]+ +DONE|Done)' "$dir/$name.log" | tail -1)"
  else
    tail -40 "$dir/$name.log"
    echo "fuzz: $name FAILED (log: $dir/$name.log)"
    return 1
  fi
}
export -f run_one
export dir

find "$dir" -maxdepth 1 -name 'fuzz_*' -type f -executable -print0 | sort -z \
  | xargs -0 -n 1 -P "$jobs" bash -c 'run_one "$1" '"$seconds" _
