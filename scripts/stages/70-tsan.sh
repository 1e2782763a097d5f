# The suite under ThreadSanitizer: the thread tests, the host and memory tests and everything
# else that is quick enough, each test in its own process as CTest runs it.
source "$(dirname "$0")/../lib.sh"
need_packages clang libclang-rt-14-dev
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
t0=$(date +%s)
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$JOBS"
echo "tsan build took $(( $(date +%s) - t0 )) s"
t0=$(date +%s)
# Threads, host and memory tests first, then the whole suite; the allocation sweep is the slow one.
ctest --preset tsan -j "$JOBS" -R '^(Threads|Lifecycle|Refusals|ParamIds|Walks|Memory|Platform)\.'
ctest --preset tsan -j "$JOBS" -E '^(Threads|Lifecycle|Refusals|ParamIds|Walks|Memory|Platform)\.'
echo "tsan run took $(( $(date +%s) - t0 )) s"
