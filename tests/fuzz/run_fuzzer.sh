#!/usr/bin/env bash
# run_fuzzer.sh FUZZER SEED_MAKER WORK_DIR SECONDS
# Runs the fuzzer from freshly generated seeds for a bounded time. A crash, a hang or a leak fails the
# test, and the input that caused it is kept in WORK_DIR/findings for a regression test.
set -euo pipefail
fuzzer=$1 seed_maker=$2 work=$3 seconds=$4

rm -rf "$work/corpus" "$work/seeds"
mkdir -p "$work/corpus" "$work/seeds" "$work/findings"
"$seed_maker" "$work/seeds"
"$fuzzer" "$work/corpus" "$work/seeds" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=65536 \
  -artifact_prefix="$work/findings/" -print_final_stats=1 2>&1 | tail -25
