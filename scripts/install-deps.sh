#!/usr/bin/env bash
# Installs everything needed to build, run and test Varnika on Debian. Safe to run again.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    xvfb xauth
    python3-numpy  # scripts/golden_filters.py: the golden filter taps
    libsmbclient-dev samba
    nlohmann-json3-dev
    dpkg-dev
    help2man  # varnika-cli(1), made from varnika-cli --help at build time
    lintian clang-tidy  # scripts/check-packages.sh, scripts/check-tidy.sh
    libfftw3-dev qt6-charts-dev libqt6opengl6-dev
    libsamplerate0-dev  # analysis: resampling captures to a whole number of samples per chip
    libxcb-damage0-dev  # bench/startup_bench.cpp: when the window is first drawn
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# scripts/fuzz.sh: clang with libFuzzer and the sanitizer runtimes.
fuzz_packages=(clang libclang-rt-dev)
fuzz_missing=()
for p in "${fuzz_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || fuzz_missing+=("$p")
done
if [ ${#fuzz_missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${fuzz_missing[@]}"
fi
