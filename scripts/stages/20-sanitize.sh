# The same suite under AddressSanitizer and UBSan.
source "$(dirname "$0")/../lib.sh"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
build_and_test sanitize
