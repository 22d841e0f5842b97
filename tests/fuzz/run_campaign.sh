#!/usr/bin/env bash
# Runs libFuzzer targets one after the other (the machine is shared: one at a time,
# lowest priority) and appends one line of figures per run to a results file.
#
#   tests/fuzz/run_campaign.sh BUILD_DIR SECONDS RESULTS_FILE NAME...
#
# New inputs go to BUILD_DIR/fuzz-work/<Name>, crashes and other findings to
# BUILD_DIR/fuzz-artifacts/<Name>/; the stored seeds in tests/fuzz/corpus/<Name> are
# read, never written. A target whose program is not built yet is waited for.
set -uo pipefail

build=$1 seconds=$2 results=$3
shift 3
source_dir=$(cd "$(dirname "$0")" && pwd)

for name in "$@"; do
    program=$build/tests/fuzz/fuzz_$name
    while [ ! -x "$program" ]; do sleep 10; done
    work=$build/fuzz-work/$name
    artifacts=$build/fuzz-artifacts/$name
    log=$build/fuzz-logs/$name.log
    mkdir -p "$work" "$artifacts" "$(dirname "$log")"
    start=$(date +%s)
    nice -n 19 "$program" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$work" "$source_dir/corpus/$name" >"$log" 2>&1
    status=$?
    minutes=$(( ($(date +%s) - start) / 60 ))
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    speed=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$')
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]*' <<<"$last" | grep -o '[0-9]*')
    features=$(grep -o 'ft: [0-9]*' <<<"$last" | grep -o '[0-9]*')
    corpus=$(grep -o 'corp: [0-9]*' <<<"$last" | grep -o '[0-9]*')
    findings=$(find "$artifacts" -type f | wc -l)
    printf '%s %-18s minutes=%-3s exit=%-3s runs=%-10s exec/s=%-6s cov=%-5s ft=%-6s corpus=%-5s findings=%s\n' \
        "$(date '+%F %T')" "$name" "$minutes" "$status" "${runs:-?}" "${speed:-?}" \
        "${cov:-?}" "${features:-?}" "${corpus:-?}" "$findings" >>"$results"
done
