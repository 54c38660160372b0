#!/usr/bin/env bash
# Runs each libFuzzer target for SECONDS seconds, one after another.
#
#   fuzz/run.sh SECONDS [TARGET...]      (default: every fuzz/*.cpp)
#
# Builds the "fuzz" preset first (unless TAGSIFT_FUZZ_BUILD names a build that
# holds the targets). Seeds in fuzz/corpus/ are only read; what a run learns goes
# to build/fuzz/work/, findings and logs beside it. Exits 1 on any finding.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
bin=${TAGSIFT_FUZZ_BUILD:-build/fuzz}
if [ -z "${TAGSIFT_FUZZ_BUILD:-}" ]; then
    cmake --preset fuzz >/dev/null && cmake --build --preset fuzz >/dev/null || { echo "fuzz build failed" >&2; exit 1; }
fi
state=build/fuzz failed=0
mkdir -p "$state/logs" "$state/findings"
for t in "${targets[@]}"; do
    mkdir -p "$state/work/$t" "fuzz/corpus/$t"
    dict=() && [ -f "fuzz/$t.dict" ] && dict=("-dict=fuzz/$t.dict")
    log="$state/logs/$t.log"
    # -timeout catches inputs that make matching or scanning slow, not only crashes.
    "$bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 -use_value_profile=1 \
        -print_final_stats=1 "${dict[@]}" -artifact_prefix="$state/findings/$t-" "$state/work/$t" "fuzz/corpus/$t" \
        >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    [ $status -eq 0 ] && { echo "$t: ${runs:-0} executions in ${seconds} s, no finding"; continue; }
    failed=1
    echo "$t: FINDING after ${runs:-?} executions (status $status), log $log:"
    grep -E -A 30 '^==[0-9]+==ERROR|runtime error|SUMMARY|differ|changed|must' "$log" | head -n 60
    ls "$state/findings/$t-"* 2>/dev/null
done
exit $failed
