#!/usr/bin/env bash
# A long fuzzing campaign: every libFuzzer target runs MINUTES (30) each from its corpus;
# what it finds that adds coverage is merged into fuzz/corpus/<target>. FUZZ_AT_ONCE=N (default
# 1) runs N targets side by side, so five 30-minute campaigns fit in 30 minutes of wall time.
# Prints per target the runs, the CPU seconds it got, the final coverage (cov: edges, ft:
# features) and the findings; a finding's input stays in build/fuzz/long/<target>/ and fails
# the script.
# Usage: [FUZZ_AT_ONCE=N] scripts/fuzz-long.sh [MINUTES]
source "$(dirname "$0")/lib.sh"
need_packages clang libclang-rt-14-dev time
minutes="${1:-30}"
[[ "$minutes" =~ ^[0-9]+$ ]] && [ "$minutes" -gt 0 ] || { echo "usage: $0 [MINUTES]" >&2; exit 2; }
dir="$ROOT/build/fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$JOBS" >/dev/null

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
at_once="${FUZZ_AT_ONCE:-1}"
targets=(settings classes host_answers scenario limits_csv)

# Fuzzes one target, then merges; leaves its summary line in $work/summary.txt.
campaign() {
    local target="$1" fuzzer="$dir/fuzz/kesvar_fuzz_$1" work="$dir/long/$1" corpus="$ROOT/fuzz/corpus/$1"
    local extra=() rc before added runs cov findings cpu
    rm -rf "$work"
    mkdir -p "$work/corpus"
    [ -f "$ROOT/fuzz/$target.dict" ] && extra+=("-dict=$ROOT/fuzz/$target.dict")
    echo "== fuzzing $target for $minutes min"
    set +e
    /usr/bin/time -f '%U %S' -o "$work/cpu.txt" \
        "$fuzzer" -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$work/" "${extra[@]}" \
        "$work/corpus" "$corpus" "$ROOT/tests/data/fuzz-regressions/$target" \
        > "$work/log.txt" 2>&1
    rc=$?
    set -e
    before=$(find "$corpus" -type f | wc -l)
    # Only inputs that add coverage to the committed corpus join it.
    "$fuzzer" -merge=1 "${extra[@]}" "$corpus" "$work/corpus" > "$work/merge.txt" 2>&1
    added=$(( $(find "$corpus" -type f | wc -l) - before ))
    runs=$(awk '/stat::number_of_executed_units/{print $2}' "$work/log.txt")
    cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$work/log.txt" | tail -n 1)
    cpu=$(awk '{printf "%d", $1+$2}' "$work/cpu.txt" 2>/dev/null)
    findings=$(find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' \
        -o -name 'timeout-*' -o -name 'oom-*' -o -name 'slow-unit-*' \) | wc -l)
    echo "$target: ${runs:-0} runs in ${cpu:-?} CPU s, ${cov:-no coverage}, $findings findings, $added inputs merged into fuzz/corpus/$target, exit $rc" \
        > "$work/summary.txt"
    cat "$work/summary.txt"
    if [ "$rc" -ne 0 ] || [ "$findings" -ne 0 ] || [ -z "$runs" ]; then
        tail -n 40 "$work/log.txt"
        find "$work" -maxdepth 1 -type f ! -name '*.txt' -printf 'kept input: %p\n'
        return 1
    fi
}

failed=0
running=0
for target in "${targets[@]}"; do
    campaign "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$at_once" ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done
echo
echo "fuzz-long: $minutes min a target, $at_once at once on $(nproc) cores"
for target in "${targets[@]}"; do cat "$dir/long/$target/summary.txt"; done
[ "$failed" -eq 0 ] || { echo "error: fuzzing found a problem (inputs kept above)" >&2; exit 1; }
echo "fuzz-long: no findings"
