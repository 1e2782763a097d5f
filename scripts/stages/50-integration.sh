# A host developer's view: install, consume through CMake and pkg-config, and the API
# reference (Doxygen fails on any undocumented public name).
source "$(dirname "$0")/../lib.sh"
need_packages doxygen pkg-config binutils groff-base
# Reuses the native build; configuring again picks up Doxygen, which adds the docs target.
cmake --preset native >/dev/null
cmake --build --preset native -j "$JOBS"
cmake --build --preset native --target docs
ctest --preset native -L integration --no-tests=error -j "$JOBS"
echo "API reference: $ROOT/build/native/docs/html/index.html"
