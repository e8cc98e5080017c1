#!/usr/bin/env bash
# fuzz-all.sh BUILD_DIR SECONDS JOBS
# Runs every fuzz harness of a fuzz build for SECONDS each, JOBS at a time, and prints one
# line per harness (executions, corpus size); fails if any harness found a crash.
set -euo pipefail
build=$1 seconds=$2 jobs=${3:-1}
here=$(cd "$(dirname "$0")" && pwd)
shopt -s nullglob
manifests=("$build"/tests/fuzz/*.corpus)
[ ${#manifests[@]} -gt 0 ] || { echo "no fuzz harnesses in $build" >&2; exit 1; }
for manifest in "${manifests[@]}"; do
  name=$(basename "$manifest" .corpus)
  printf '%s\0%s\0%s\0' "$build/tests/fuzz/fuzz_$name" "$build/fuzz-work/$name" "$(cat "$manifest")"
done | xargs -0 -n 3 -P "$jobs" sh -c '"$0" "$1" "$2" "$3" '"$seconds"' 0' "$here/run-fuzzer.sh"
