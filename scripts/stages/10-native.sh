# The native suite, as shipped (release flags with debug info).
source "$(dirname "$0")/../lib.sh"
build_and_test native
# The host that opens the library at run time, against the library just built.
"$ROOT/build/native/kesvar_dlopen" "$ROOT/build/native/libkesvar.so.1"
echo "exported functions of libkesvar.so:"
nm -D --defined-only "$ROOT/build/native/libkesvar.so" | awk '$2=="T"{print $3}' | sort > "$ROOT/build/native/exports.txt"
cat "$ROOT/build/native/exports.txt"
count=$(wc -l < "$ROOT/build/native/exports.txt")
others=$(nm -D --defined-only "$ROOT/build/native/libkesvar.so" | awk '$2!="T" && $2!="A"{print}' | wc -l)
if [ "$count" -ne 21 ] || [ "$others" -ne 0 ] || grep -qv '^KR' "$ROOT/build/native/exports.txt"; then
    echo "error: the library must export exactly the 21 KR functions (found $count, $others other symbols)" >&2
    exit 1
fi
echo "export table: 21 functions, nothing else"
echo "benchmarks (smoke run; see bench/bench.cpp for what they measure):"
"$ROOT/build/native/bench/kesvar_bench" --benchmark_min_time=0.01
