#!/usr/bin/env bash
# Runs every fuzz target of a built fuzz directory for a bounded time each, from the seed corpus made
# from the test fixtures plus what earlier runs kept. Exit 1 when any target found something; the
# input that did is kept in BUILD_DIR/findings/.
#   run-fuzzers.sh BUILD_DIR SECONDS [TARGET...]
set -uo pipefail
build=${1:?build dir}
seconds=${2:?seconds per target}
shift 2
targets=("$@")
[ ${#targets[@]} -eq 0 ] && mapfile -t targets < "$build/targets.txt"

rm -rf "$build/seeds"
# The HEIF seeds come from libheif's encoders, whose x265 leaks: the seed writer is not what is tested.
here=$(cd "$(dirname "$0")" && pwd)
LSAN_OPTIONS="suppressions=$here/../reliability/lsan.supp" "$build/make_seeds" "$build/seeds" || exit 1
mkdir -p "$build/findings" "$build/logs"

# Findings are fatal; leaks of our own code count as findings too.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/../reliability/lsan.supp}

failed=()
printf '%-22s %8s %12s  %s\n' target seconds runs result
for t in "${targets[@]}"; do
    mkdir -p "$build/corpus/$t"
    start=$(date +%s.%N)
    "$build/$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -max_len=65536 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$t-" "$build/corpus/$t" "$build/seeds/$t" > "$build/logs/$t.log" 2>&1
    rc=$?
    took=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
    runs=$(grep -oE '^stat::number_of_executed_units: *[0-9]+' "$build/logs/$t.log" | grep -oE '[0-9]+$' | tail -1)
    if [ $rc -eq 0 ]; then
        result=clean
    else
        result="FINDING (exit $rc, see $build/logs/$t.log)"
        failed+=("$t")
        grep -E 'FUZZ FINDING|ERROR:|SUMMARY:|runtime error|Test unit written' "$build/logs/$t.log" | head -8 | sed 's/^/    /'
    fi
    printf '%-22s %8.1f %12s  %s\n' "$t" "$took" "${runs:-?}" "$result"
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found problems in: ${failed[*]}"
    exit 1
fi
echo "fuzzing: no findings"
