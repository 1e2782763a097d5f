# Windows: 64-bit Kesvar.dll with the whole suite under wine, 32-bit x86 (__stdcall) with the
# whole suite under wine32 (natively or through qemu-i386). Both export tables must hold
# exactly the 21 plain names.
source "$(dirname "$0")/../lib.sh"
need_packages cmake ninja-build googletest \
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
    wine wine64

# The 32-bit wine is an i386 package, so the architecture is added before the package lists are
# read.
if [ "$(id -u)" -eq 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    unset KESVAR_APT_UPDATED
fi
need_packages libc6:i386

# Some kernels refuse every i386 program although they are built with IA32 emulation (the
# firecracker-style VMs CI runs on do). There the i386 programs run through qemu's user-mode
# emulator, registered with binfmt_misc. It must be qemu 8 or later: the 7.2 of Debian 12 spends
# about 50 s of CPU starting each wine32 process (page bookkeeping over the address space wine
# reserves), the 10.0 of its backports 0.3 s. Only the static qemu-i386 is taken from the
# backports package; nothing installed is replaced.
i386_through_qemu() {
    [ "$(id -u)" -eq 0 ] || return 1
    mountpoint -q /proc/sys/fs/binfmt_misc ||
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || return 1
    local qemu=/usr/local/lib/kesvar-ci/qemu-i386
    if [ ! -x "$qemu" ]; then
        local codename tmp
        codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
        echo "deb http://deb.debian.org/debian $codename-backports main" \
            >/etc/apt/sources.list.d/kesvar-ci-backports.list
        apt-get update -qq || return 1
        tmp=$(mktemp -d)
        (cd "$tmp" && apt-get download -qq -t "$codename-backports" qemu-user) || return 1
        dpkg-deb -x "$tmp"/qemu-user_*.deb "$tmp/x" &&
            install -D -m 755 "$tmp/x/usr/bin/qemu-i386" "$qemu" || return 1
        rm -rf "$tmp"
    fi
    echo "i386 programs run through $("$qemu" --version | head -1)"
    [ -e /proc/sys/fs/binfmt_misc/kesvar-i386 ] && return 0
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":kesvar-i386:M::$magic:$mask:$qemu:" >/proc/sys/fs/binfmt_misc/register
}

win32_runs=1
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    i386_through_qemu || true
fi
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    need_packages wine32:i386
else
    # Without i386 programs wine32 must stay away: the `wine` command would hand every
    # program, 64-bit ones too, to its 32-bit loader.
    win32_runs=0
    echo "warning: this machine does not execute i386 programs: the i686 suite is built, not run" >&2
fi

win64="$ROOT/build/win64"
win32="$ROOT/build/win32"

# One wine prefix for every run, and one wine server kept alive for the whole stage: a test
# process then starts in a fraction of a second instead of seconds.
export WINEPREFIX="${KESVAR_WINEPREFIX:-$ROOT/build/wine}" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer prompts in a new prefix
mkdir -p "$WINEPREFIX"
t0=$(date +%s)
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i >/dev/null 2>&1
t1=$(date +%s)
echo "wine prefix ready in $((t1 - t0)) s ($WINEPREFIX)"

# Lists the names in a DLL's export table, one a line, sorted.
export_names() {
    "$1" -p "$2" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && NF==0{on=0} on{print $NF}' | sort
}

# Checks a DLL: exactly the names of kesvar.def exported, only system DLLs imported.
check_dll() {
    local objdump="$1" dll="$2" label="$3"
    local want got imports
    want=$(awk '$1 ~ /^KR/{print $1}' "$ROOT/src/exports/kesvar.def" | sort)
    got=$(export_names "$objdump" "$dll")
    echo "export table of $label:"
    sed 's/^/    /' <<<"$got"
    if [ "$got" != "$want" ] || [ "$(wc -l <<<"$got")" -ne 21 ]; then
        echo "error: $label must export exactly the 21 plain names of kesvar.def" >&2
        diff <(echo "$want") <(echo "$got") >&2 || true
        exit 1
    fi
    imports=$("$objdump" -p "$dll" | awk '/DLL Name:/{print $3}' | sort -u | tr '\n' ' ')
    echo "    imports: $imports"
    if grep -qiE 'libstdc|libgcc|libwinpthread' <<<"$imports"; then
        echo "error: $label needs MinGW runtime DLLs: $imports" >&2
        exit 1
    fi
}

stage "windows x86_64: build, tests under wine"
t0=$(date +%s)
# The cross presets build the shipped optimisation (-O2) without debug information: the same
# code, less compile time.
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$JOBS"
t1=$(date +%s)
ctest --preset win64 -j "$JOBS"
t2=$(date +%s)
check_dll x86_64-w64-mingw32-objdump "$win64/Kesvar.dll" "Kesvar.dll (x86_64)"
wine "$win64/kesvar_hello.exe"
echo "win64: build $((t1 - t0)) s, tests under wine $((t2 - t1)) s"

stage "windows i686 (__stdcall): build, tests under wine32"
t0=$(date +%s)
# The preset defers test discovery to ctest, so the library's export checks below report before
# any test program has to run.
cmake --preset win32 >/dev/null
# The library and the example host first, so the export checks report even when a test
# program does not compile for __stdcall.
cmake --build --preset win32 -j "$JOBS" --target kesvar kesvar_static kesvar_hello
check_dll i686-w64-mingw32-objdump "$win32/Kesvar.dll" "Kesvar.dll (i686)"
# A __stdcall caller linked through the import library must bind to the plain names.
hello_imports=$(i686-w64-mingw32-objdump -p "$win32/kesvar_hello.exe" |
    awk '/DLL Name: Kesvar.dll/{on=1; next} on && /DLL Name:/{on=0} on && $NF ~ /^KR/{print $NF}' | sort)
echo "kesvar_hello.exe (i686) imports from Kesvar.dll: $(tr '\n' ' ' <<<"$hello_imports")"
if [ -z "$hello_imports" ] || grep -q '@' <<<"$hello_imports"; then
    echo "error: the i686 import library does not map the __stdcall names to the plain exports" >&2
    exit 1
fi
# The decorated names the import library maps must be the ones the compiler gave the exports.
want=$(awk '$1 ~ /^KR/{print $1}' "$ROOT/src/exports/kesvar_x86.def" | sort)
got=$(i686-w64-mingw32-nm -g --defined-only "$win32/libkesvar_static.a" |
    awk '$2=="T" && $3 ~ /^_KR[A-Za-z]*@[0-9]+$/{print substr($3, 2)}' | sort)
if [ "$want" != "$got" ]; then
    echo "error: kesvar_x86.def does not match the __stdcall symbols of the exports" >&2
    diff <(echo "$want") <(echo "$got") >&2 || true
    exit 1
fi
echo "kesvar_x86.def matches the 21 decorated symbols"
# Every host function a test passes must carry KR_CALL: the test programs compile here.
cmake --build --preset win32 -j "$JOBS"
t1=$(date +%s)
[ "$win32_runs" = 1 ] || exit 0
# The 64-bit prefix runs the 32-bit programs through WoW64: no second prefix to boot.
ctest --preset win32 -j "$JOBS"
t2=$(date +%s)
wine "$win32/kesvar_hello.exe"
echo "win32: build $((t1 - t0)) s, tests under wine32 $((t2 - t1)) s"
