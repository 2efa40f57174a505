#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once in a release build, once with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
# ccache, where installed, reuses objects between the build folders below.
export CCACHE_BASEDIR="$root"
"$root/scripts/check-format.sh"
"$root/scripts/check-includes.sh"

"$root/scripts/build.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure --parallel "$jobs"
"$root/scripts/check-tidy.sh" "$root/build"
"$root/scripts/check-without-qt.sh" "$root/build-noqt"
"$root/scripts/check-packages.sh" "$root/build-deb"

"$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNIKA_SANITIZE=ON \
    -DVARNIKA_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$root/build-asan" --output-on-failure --parallel "$jobs"

# analyze on hostile files (impossible header numbers, a FIFO, broken SigMF meta) under clang's UBSan.
"$root/scripts/ubsan-cli.sh" "$root/build-ubsan-clang"

# Bounded fuzzing of the configuration-file reader and the three settings-file readers.
"$root/scripts/fuzz.sh" "$root/build-fuzz" 60

# The libraries and varnika-cli cross-built for arm64, the recorded samples checked under qemu-user on
# 1, 2 and 5 threads, and varnika-cli's AWG file and analysis compared with the host build's.
"$root/scripts/cross-arm64.sh" "$root/build-arm64" "$root/build"
