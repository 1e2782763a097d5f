# WebAssembly: the library and the suite built with emscripten and run under Node, the
# differential's seeded worlds compared byte for byte with the x86-64 build of stage 10, and the
# npm package and the interactive report tested against the native tool's answers.
source "$(dirname "$0")/../lib.sh"
need_packages cmake ninja-build googletest emscripten nodejs python3 nlohmann-json3-dev libcli11-dev \
    chromium node-typescript
seeds="${KESVAR_DIFF_SEEDS:-1-300}"
export NODE_PATH=/usr/share/nodejs
t0=$(date +%s)
cmake --preset wasm >/dev/null
cmake --build --preset wasm -j "$JOBS"
t1=$(date +%s)
ctest --preset wasm -j "$JOBS"
t2=$(date +%s)

native="$ROOT/build/native/tests/kesvar_differential"
[ -x "$native" ] || { cmake --preset native >/dev/null; cmake --build --preset native --target kesvar_differential; }
out="$ROOT/build/differential"
mkdir -p "$out"
for v in 1 2; do
    "$native" "$v" "$seeds" "$out/native-v$v.bin" >/dev/null
    node --no-experimental-fetch "$ROOT/build/wasm/tests/kesvar_differential.js" "$v" "$seeds" \
        "$out/wasm-v$v.bin" >/dev/null
    python3 "$ROOT/tests/differential/compare.py" "$out/native-v$v.bin" "$out/wasm-v$v.bin"
done
rm -f "$out"/native-v?.bin "$out"/wasm-v?.bin
t3=$(date +%s)

# The package as a developer installs it (the tarball npm pack makes, unpacked) with its types,
# and the interactive report made with its module, read back through headless chromium.
cli="$ROOT/build/native/tools/kesvar"
[ -x "$cli" ] || { cmake --preset native >/dev/null; cmake --build --preset native --target kesvar_cli; }
web="$ROOT/build/wasm/web"
rm -rf "$web"/kesvar-*.tgz "$web/unpacked"
(cd "$web" && npm pack --silent ./package --pack-destination . >/dev/null)
mkdir -p "$web/unpacked"
tar -xzf "$web"/kesvar-*.tgz -C "$web/unpacked"
KESVAR_PACKAGE="$web/unpacked/package" KESVAR_CLI="$cli" \
    node --no-experimental-fetch --test "$ROOT/web/test/"
# Its declarations as a TypeScript project that installed it compiles them.
types="$web/types"
rm -rf "$types"
mkdir -p "$types/node_modules"
ln -s "$web/unpacked/package" "$types/node_modules/kesvar"
cp "$ROOT/web/test/usage.ts" "$types/"
(cd "$types" && tsc --strict --noEmit --target es2022 --module es2022 --moduleResolution node usage.ts)
echo "wasm: build $((t1 - t0)) s, tests under node $((t2 - t1)) s, differential $((t3 - t2)) s," \
    "package $(( $(date +%s) - t3 )) s"
