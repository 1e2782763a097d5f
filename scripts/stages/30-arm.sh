# 32-bit ARM Linux: cross-built, every test run under qemu-arm. The header's layout checks
# compile for a 32-bit target here, and the suite proves the same figures as the native build.
source "$(dirname "$0")/../lib.sh"
need_packages cmake ninja-build googletest g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf \
    qemu-user

dir="$ROOT/build/arm"
t0=$(date +%s)
# The cross presets build the shipped optimisation (-O2) without debug information: the same
# code, less compile time.
cmake --preset arm >/dev/null
cmake --build --preset arm -j "$JOBS"
t1=$(date +%s)
ctest --preset arm -j "$JOBS"
t2=$(date +%s)

qemu-arm -L /usr/arm-linux-gnueabihf "$dir/kesvar_hello"
qemu-arm -L /usr/arm-linux-gnueabihf "$dir/kesvar_dlopen" "$dir/libkesvar.so.1"
check_so_exports arm-linux-gnueabihf-nm "$dir/libkesvar.so" "$dir/exports.txt"
arm-linux-gnueabihf-readelf -h "$dir/libkesvar.so" | grep -E '^ *(Class|Machine|Flags):'
echo "arm: build $((t1 - t0)) s, tests under qemu $((t2 - t1)) s"
