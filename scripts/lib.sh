# Shared helpers of the build and test scripts. Source it; do not run it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
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

# Configures, builds and runs CTest in build dir $1 with extra CMake arguments after it.
build_and_test() {
    local dir="$1"; shift
    cmake -S "$ROOT" -B "$ROOT/$dir" -G Ninja "$@" >/dev/null
    cmake --build "$ROOT/$dir" -j "$JOBS"
    ctest --test-dir "$ROOT/$dir" --output-on-failure -j "$JOBS"
}

stage() { echo; echo "=================== $* ==================="; }
