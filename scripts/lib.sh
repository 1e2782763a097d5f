# Shared helpers of the build and test scripts. Source it; do not run it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT" # cmake --preset, cmake --build --preset and ctest --preset read ./CMakePresets.json
JOBS="${JOBS:-$(nproc 2>/dev/null || echo 2)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$JOBS}"

# Installs the Debian packages that are missing (as root), or stops naming them.
need_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "error: missing Debian packages: ${missing[*]} (run: sudo apt-get install ${missing[*]})" >&2
        exit 1
    fi
    echo "== installing ${missing[*]}"
    if [ -z "${KESVAR_APT_UPDATED:-}" ]; then
        apt-get update -qq
        export KESVAR_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures, builds and runs CTest with the preset $1 of CMakePresets.json (in build/$1).
build_and_test() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$JOBS"
    ctest --preset "$1" -j "$JOBS"
}

# Checks that the ELF library $2 exports exactly the 21 KR functions and nothing else, with the
# nm $1 of its target; the list is left in $3.
check_so_exports() {
    local nm="$1" so="$2" list="$3" all count others
    all=$("$nm" -D --defined-only "$so")
    awk '$2=="T"{print $3}' <<<"$all" | sort >"$list"
    echo "exported functions of $so:"
    cat "$list"
    count=$(wc -l <"$list")
    others=$(awk '$2!="T" && $2!="A"' <<<"$all" | wc -l)
    if [ "$count" -ne 21 ] || [ "$others" -ne 0 ] || grep -qv '^KR' "$list"; then
        echo "error: the library must export exactly the 21 KR functions (found $count, $others other symbols)" >&2
        exit 1
    fi
    echo "export table: 21 functions, nothing else"
}

stage() { echo; echo "=================== $* ==================="; }
