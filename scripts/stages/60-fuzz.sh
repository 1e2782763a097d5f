# Fuzzing: each of the five libFuzzer targets (ASan + UBSan) runs for FUZZ_SECONDS (36) from its seed
# corpus. Any crash, leak, timeout or broken invariant fails the stage; keep the input it
# leaves in build/fuzz/work/<target>/ as tests/data/fuzz-regressions/<target>/<name>.
source "$(dirname "$0")/../lib.sh"
need_packages clang libclang-rt-14-dev
seconds="${FUZZ_SECONDS:-36}" # five targets in about the three minutes three took at 60 s
dir="$ROOT/build/fuzz"
t0=$(date +%s)
cmake --preset fuzz >/dev/null # clang, ASan + UBSan, the libFuzzer targets
cmake --build --preset fuzz -j "$JOBS"
echo "fuzz build took $(( $(date +%s) - t0 )) s"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=0
summary=()
for target in settings classes host_answers scenario limits_csv; do
    work="$dir/work/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus"
    extra=()
    [ -f "$ROOT/fuzz/$target.dict" ] && extra+=("-dict=$ROOT/fuzz/$target.dict")
    echo "== fuzzing $target for $seconds s"
    set +e
    "$dir/fuzz/kesvar_fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=8192 -print_final_stats=1 -artifact_prefix="$work/" "${extra[@]}" \
        "$work/corpus" "$ROOT/fuzz/corpus/$target" "$ROOT/tests/data/fuzz-regressions/$target" \
        > "$work/log.txt" 2>&1
    rc=$?
    set -e
    runs=$(awk '/stat::number_of_executed_units/{print $2}' "$work/log.txt")
    findings=$(find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' \
        -o -name 'timeout-*' -o -name 'oom-*' -o -name 'slow-unit-*' \) | wc -l)
    line="$target: ${runs:-0} executions, $findings findings, exit $rc"
    echo "$line"
    summary+=("$line")
    if [ "$rc" -ne 0 ] || [ "$findings" -ne 0 ] || [ -z "$runs" ]; then
        failed=1
        tail -n 60 "$work/log.txt"
        find "$work" -maxdepth 1 -type f ! -name log.txt -printf 'kept input: %p\n'
    fi
done
echo
printf '%s\n' "${summary[@]}"
[ "$failed" -eq 0 ] || { echo "error: fuzzing found a problem (inputs kept above)" >&2; exit 1; }
echo "fuzzing: no findings"
