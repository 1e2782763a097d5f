# Cross-target differential: seeded worlds (tests/differential) run through the exports on
# x86-64 Linux, on 32-bit ARM under qemu and on 64-bit Windows under wine, under both interface
# versions; every result, last error and output byte must agree.
# A larger range by hand: KESVAR_DIFF_SEEDS=1-5000 bash scripts/test.sh 45-differential
source "$(dirname "$0")/../lib.sh"
seeds="${KESVAR_DIFF_SEEDS:-1-300}"
need_packages cmake ninja-build python3 g++-arm-linux-gnueabihf qemu-user \
    g++-mingw-w64-x86-64-posix wine wine64

out="$ROOT/build/differential"
mkdir -p "$out"

# Builds only the driver in build/$1. The native, ARM and Windows stages make these build
# dirs; one that is missing is configured from its preset, as they would.
build_driver() {
    [ -f "$ROOT/build/$1/CMakeCache.txt" ] || cmake --preset "$1" >/dev/null
    cmake --build "$ROOT/build/$1" -j "$JOBS" --target kesvar_differential >/dev/null
}

# Runs one target's driver (the command after the name) for both interface versions.
run() {
    local name="$1" t0 ms
    shift
    t0=$(date +%s%N)
    for v in 1 2; do
        "$@" "$v" "$seeds" "$out/$name-v$v.bin" >"$out/$name-v$v.txt"
    done
    ms=$((($(date +%s%N) - t0) / 1000000))
    printf '%-6s seeds %s, interface versions 1 and 2: %d.%03d s\n' "$name" "$seeds" \
        $((ms / 1000)) $((ms % 1000))
}

stage "differential: building the driver"
build_driver native
build_driver arm
build_driver win64

export WINEPREFIX="${KESVAR_WINEPREFIX:-$ROOT/build/wine}" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer prompts in a new prefix
mkdir -p "$WINEPREFIX"
wineserver -p || true # 2: one is running for this prefix already
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i >/dev/null 2>&1

stage "differential: seeds $seeds on three targets"
run native "$ROOT/build/native/tests/kesvar_differential"
run arm qemu-arm -L /usr/arm-linux-gnueabihf "$ROOT/build/arm/tests/kesvar_differential"
run win64 wine "$ROOT/build/win64/tests/kesvar_differential.exe"
cat "$out/native-v1.txt" "$out/native-v2.txt"
for v in 1 2; do
    python3 "$ROOT/tests/differential/compare.py" "$out"/{native,arm,win64}-v$v.bin
done
# Large for long ranges; when the files differ the stage stops above and keeps them.
rm -f "$out"/*.bin
