# Formatting and layering, checked before anything is built: every tracked C and C++ file as
# the repository's .clang-format lays it out, and every include in src/ pointing down a layer.
source "$(dirname "$0")/../lib.sh"
need_packages clang-format

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
else # an unpacked source tree: everything outside the build folders
    mapfile -t files < <(find . \( -path './build*' -o -path ./out -o -path ./.git \) -prune \
        -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
existing=()
for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
if ! clang-format --dry-run --Werror "${existing[@]}"; then
    echo "error: formatting differs from .clang-format; run clang-format -i on the files above" >&2
    exit 1
fi
echo "format: ${#existing[@]} files as .clang-format lays them out ($(clang-format --version))"
bash "$ROOT/scripts/check-layers.sh"
bash "$ROOT/scripts/check-tool-layers.sh"
