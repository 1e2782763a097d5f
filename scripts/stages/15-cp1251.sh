# The code page 1251 build: the library upper-cases settings texts by the Cyrillic page, and the
# tests that depend on upper-casing run against it with their 1251 expectations. The golden
# file's settings texts are plain ASCII, so the same file must match here too.
source "$(dirname "$0")/../lib.sh"
need_packages cmake ninja-build g++ googletest libgtest-dev
t0=$(date +%s)
cmake --preset cp1251 >/dev/null
cmake --build --preset cp1251 -j "$JOBS"
t1=$(date +%s)
ctest --preset cp1251 -j "$JOBS" -R '^(Settings[A-Za-z]*|Registry|Golden|Platform)\.'
echo "cp1251: build $((t1 - t0)) s, tests $(($(date +%s) - t1)) s"
