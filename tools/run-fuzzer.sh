#!/usr/bin/env bash
# run-fuzzer.sh PROGRAM WORK_DIR CORPUS_DIR SECONDS [SEED]
# Runs one libFuzzer program over its seed corpus, then fuzzes for SECONDS. New inputs go to
# WORK_DIR (the committed corpus is only read); a crash leaves its input in WORK_DIR/artifacts
# and makes the script fail. Prints the execution count of the run as the last line.
set -euo pipefail
program=$1 work=$2 corpus=$3 seconds=$4 seed=${5:-0}
mkdir -p "$work/corpus" "$work/artifacts"
log="$work/last-run.log"
status=0
"$program" -max_total_time="$seconds" -seed="$seed" -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
  "$work/corpus" "$corpus" >"$log" 2>&1 || status=$?
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
  echo "$(basename "$program"): FAILED (exit $status), input kept in $work/artifacts/"
  exit "$status"
fi
echo "$(basename "$program"): ${execs:-?} executions in ${seconds}s, corpus $(ls "$work/corpus" | wc -l) new + $(ls "$corpus" | wc -l) seed inputs"
