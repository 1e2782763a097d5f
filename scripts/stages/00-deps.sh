# Native toolchain and test libraries; Chromium renders the HTML report in its test, groff
# checks the man page.
source "$(dirname "$0")/../lib.sh"
need_packages g++ cmake ninja-build libgtest-dev libbenchmark-dev clang libclang-rt-14-dev \
    libcli11-dev nlohmann-json3-dev pkg-config chromium groff-base
