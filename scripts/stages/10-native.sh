# The native suite, as shipped (release flags with debug info).
source "$(dirname "$0")/../lib.sh"
build_and_test native
# The host that opens the library at run time, against the library just built.
"$ROOT/build/native/kesvar_dlopen" "$ROOT/build/native/libkesvar.so.1"
check_so_exports nm "$ROOT/build/native/libkesvar.so" "$ROOT/build/native/exports.txt"
echo "benchmarks (smoke run; see bench/bench.cpp for what they measure):"
"$ROOT/build/native/bench/kesvar_bench" --benchmark_min_time=0.01
