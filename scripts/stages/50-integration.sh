# A host developer's view: install, consume through CMake and pkg-config, and the API
# reference (Doxygen fails on any undocumented public name).
source "$(dirname "$0")/../lib.sh"
need_packages doxygen pkg-config binutils
# Reuses the native build; configuring again picks up Doxygen, which adds the docs target.
cmake -S "$ROOT" -B "$ROOT/build/native" -G Ninja >/dev/null
cmake --build "$ROOT/build/native" -j "$JOBS"
cmake --build "$ROOT/build/native" --target docs
ctest --test-dir "$ROOT/build/native" -L integration --no-tests=error --output-on-failure -j "$JOBS"
echo "API reference: $ROOT/build/native/docs/html/index.html"
