#!/usr/bin/env bash
# A long fuzzing run of one target from its committed corpus and regressions, in one process:
#   bash fuzz/run_long.sh <build folder of -DRECASTER_BUILD_FUZZERS=ON> <target> <executions>
# The working corpus and the log go to <build folder>/long-<target>/; findings land there as crash-*,
# leak-*, timeout-* or oom-* files, to be committed under fuzz/regressions/<target>/ once understood.
# The log's last lines hold libFuzzer's final cov:/ft: figures and stat::number_of_executed_units.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$1 target=$2 runs=$3
work=$build/long-$target
mkdir -p "$work/corpus"
cp "$here/fuzz/corpus/$target"/* "$work/corpus/"
if [ -d "$here/fuzz/regressions/$target" ]; then cp "$here/fuzz/regressions/$target"/* "$work/corpus/"; fi
binary=$work/fuzz_$target
cp "$build/fuzz/fuzz_$target" "$binary"  # a rebuild during the run does not touch the running program
"$binary" -runs="$runs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" \
  "$work/corpus" 2>"$work/fuzz.log"
