#!/bin/sh
# A short fuzz run for ctest: smoke.sh FUZZER SEEDS ARTIFACTS SECONDS
# Fuzzes a scratch copy of the seeds, so that the run adds nothing to the source tree. Fails when
# the fuzzer finds a crash, leak, hang or oversized allocation; the input is kept under ARTIFACTS.
set -eu
fuzzer=$1 seeds=$2 artifacts=$3 seconds=$4

work=$(mktemp -d "${MIREL_TEST_WORK:-${TMPDIR:-/tmp}}/fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp "$seeds"/* "$work/corpus"/
mkdir -p "$artifacts"

status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
  -print_final_stats=1 -artifact_prefix="$artifacts" "$work/corpus" >"$work/log" 2>&1 || status=$?

if [ "$status" -ne 0 ]; then
  cat "$work/log"
  echo "$(basename "$fuzzer") failed (exit status $status); the input is kept in $artifacts:"
  ls -l "$artifacts"
  exit 1
fi
# The figures worth a glance: the last progress line and the final counts.
grep -E '^#[0-9]+[[:space:]]+DONE|^Done|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' \
  "$work/log" || true
