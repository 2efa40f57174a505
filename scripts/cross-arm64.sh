#!/usr/bin/env bash
# Cross-builds the libraries and their tests for arm64 with Debian's cross toolchain and multiarch
# packages, and runs the tests under qemu-user: scripts/cross-arm64.sh [BUILD_DIR]
#
# The whole suites are too slow under emulation on a small machine, so a golden-vector subset of
# kestra's runs: the same-samples test's export cases up to ratio 16, against the digests recorded on
# x86-64 (the same bytes on both architectures). wavesave, varnika-cli (built without the window, so
# without Qt) and the tests are cross-built (compiled and linked for arm64). varnika-cli is not run under
# emulation: like kestra's helper threads, its helper threads stop making progress under qemu-user.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build-arm64"}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(crossbuild-essential-arm64 qemu-user libgtest-dev:arm64 libfftw3-dev:arm64 libsamplerate0-dev:arm64
    libsmbclient-dev:arm64 nlohmann-json3-dev pkg-config)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        $SUDO dpkg --add-architecture arm64
    fi
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

sysroot=/usr/aarch64-linux-gnu
emulator="qemu-aarch64;-L;$sysroot"
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# pkg-config answers from the arm64 multiarch folders (FFTW for the signal check library).
export PKG_CONFIG_LIBDIR=/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNIKA_WERROR=ON "${launcher[@]}" \
    -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64 \
    -DCMAKE_C_COMPILER=aarch64-linux-gnu-gcc -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++ \
    -DCMAKE_LIBRARY_ARCHITECTURE=aarch64-linux-gnu \
    -DCMAKE_FIND_ROOT_PATH="$sysroot" -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" \
    -DVARNIKA_BUILD_APP=OFF -DVARNIKA_BUILD_GUI=OFF -DVARNIKA_BUILD_BENCH=OFF -DVARNIKA_BUILD_TESTS=ON
targets=(kestra kestra_tests wavesave varnika-cli)
if cmake --build "$dir" --target help | grep -q '^wavesave_tests:'; then
    targets+=(wavesave_tests)
fi
# The recorded digests of the short-ratio export cases: emulation makes the long ratios and the plain
# reference loops take many minutes each.
subset='SameSamples.EveryKernelVariantGivesTheRecordedBytes'
cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}"

# The binaries are arm64: a host run of them would fail outright, so check that first.
file -L "$dir/bin/libkestra.so" | grep -q 'ARM aarch64' || {
    echo "cross-arm64: libkestra.so is not an arm64 library" >&2
    exit 1
}
echo "== kestra_tests ($subset) under qemu-aarch64"
# One kestra thread: under qemu-user the run with helper threads has been seen to stop making progress
# (not seen on x86-64, where the thread counts 1, 2 and 5 are tested); until that is understood on real
# arm64 hardware, emulation checks the samples on one thread.
SAME_SAMPLES_MAX_RATIO=16 KESTRA_THREADS=1 timeout -s KILL 600 qemu-aarch64 -L "$sysroot" "$dir/bin/kestra_tests" \
    --gtest_filter="$subset" --gtest_brief=1
echo "cross-arm64: the arm64 build gives the recorded samples; varnika-cli and the tests cross-build"
