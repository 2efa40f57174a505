#!/usr/bin/env bash
# Cross-builds the libraries, varnika-cli and the tests for arm64 with Debian's cross toolchain and
# multiarch packages, and runs them under qemu-user: scripts/cross-arm64.sh [BUILD_DIR] [HOST_BUILD_DIR]
#
# The whole suites are too slow under emulation on a small machine, so a golden-vector subset of
# kestra's runs: the same-samples test's export cases up to ratio 16, against the digests recorded on
# x86-64 (the same bytes on both architectures), on 1, 2 and 5 kestra threads, and the refusals of bad
# arguments. Then the arm64 varnika-cli (built without the window, so without Qt) makes a forward-link
# AWG file and analyzes it, and both must give what the host's varnika-cli (built in HOST_BUILD_DIR,
# default build/) gives for the same settings: the same file bytes (but for the header's date) and the
# same analysis.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build-arm64"}
host_dir=${2:-"$root/build"}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(crossbuild-essential-arm64 qemu-user libc6:arm64 libstdc++6:arm64 libgtest-dev:arm64 libfftw3-dev:arm64 libsamplerate0-dev:arm64
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
# The emulated programs run on Debian's arm64 runtime (libc6:arm64 and the other multiarch packages),
# as on an arm64 machine: "-L /" takes the dynamic loader and every library from the host's own
# folders. Not "-L $sysroot": that takes the loader from the cross toolchain's glibc build while the
# loader's cache (the host's /etc/ld.so.cache) sends it to libc6:arm64's libc.so.6, of another build.
# The two share private structures that differ between the builds (the loader's _rtld_global is 4512
# bytes in one and 4520 in the other), and in that mix the first pthread_create of any program, even a
# bare std::thread, spins for ever inside the loader: the stops once put down to helper threads.
emulator="qemu-aarch64;-L;/"
emulate=(qemu-aarch64 -L /)
unset QEMU_LD_PREFIX
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
# The recorded digests of the short-ratio export cases, and every export's refusal of null buffers:
# emulation makes the long ratios and the plain reference loops take minutes each (all of SameSamples,
# ratio 80 included, about 4 minutes on two busy cores).
subset='SameSamples.EveryKernelVariantGivesTheRecordedBytes:SameSamples.EveryExportRefusesNullBuffersAndImpossibleArguments'
cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}"

# The binaries are arm64: a host run of them would fail outright, so check that first.
file -L "$dir/bin/libkestra.so" | grep -q 'ARM aarch64' || {
    echo "cross-arm64: libkestra.so is not an arm64 library" >&2
    exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A thread started and joined under emulation, with nothing of ours: a runtime that cannot do that
# would stall the runs below until their time guards, so say so at once.
printf '#include <pthread.h>\nstatic void* run(void* a) { return a; }\nint main(void) { pthread_t t;\n'\
'  if (pthread_create(&t, 0, run, 0) != 0) return 1; return pthread_join(t, 0); }\n' >"$work/thread.c"
aarch64-linux-gnu-gcc -O2 -pthread "$work/thread.c" -o "$work/thread"
timeout -s KILL 60 "${emulate[@]}" "$work/thread" || {
    echo "cross-arm64: an emulated program cannot start a thread (the arm64 dynamic loader and libc.so.6" \
        "must come from one glibc build: libc6:arm64)" >&2
    exit 1
}

# Each emulated program runs under a time guard: a stop fails the script rather than hanging it.
for threads in 1 2 5; do
    echo "== kestra_tests ($subset)"
    echo "   under qemu-aarch64, KESTRA_THREADS=$threads"
    SAME_SAMPLES_MAX_RATIO=16 KESTRA_THREADS=$threads timeout -s KILL 300 "${emulate[@]}" "$dir/bin/kestra_tests" \
        --gtest_filter="$subset" --gtest_brief=1
done

# varnika-cli on both architectures, each from the default settings (an empty settings folder).
if [ ! -f "$host_dir/CMakeCache.txt" ]; then
    env -u PKG_CONFIG_LIBDIR cmake -S "$root" -B "$host_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNIKA_WERROR=ON "${launcher[@]}" \
        -DVARNIKA_BUILD_GUI=OFF -DVARNIKA_BUILD_TESTS=OFF -DVARNIKA_BUILD_BENCH=OFF
fi
env -u PKG_CONFIG_LIBDIR cmake --build "$host_dir" --parallel "$(nproc)" --target varnika-cli
run_cli() { # NAME PROGRAM...: make-awg into $work/NAME.awv and analyze it, output into $work/NAME.*
    local name=$1
    shift
    mkdir "$work/$name-settings"
    timeout -s KILL 300 "$@" make-awg "$work/$name.awv" --settings-dir "$work/$name-settings" "${cli_settings[@]}" \
        >"$work/$name.make"
    timeout -s KILL 300 "$@" analyze "$work/$name.awv" --settings-dir "$work/$name-settings" "${cli_settings[@]}" \
        >"$work/$name.analyze"
}
cli_settings=(--link downlink --test-model 1 --ratio 20)
echo "== varnika-cli make-awg and analyze (${cli_settings[*]}): x86-64, then arm64 under qemu-aarch64"
run_cli host "$host_dir/bin/varnika-cli"
run_cli arm64 "${emulate[@]}" "$dir/bin/varnika-cli"
# The second header line is the run's date; every other byte must agree.
for name in host arm64; do
    sed -n 2p "$work/$name.awv" | grep -q '^{DATE:' || {
        echo "cross-arm64: $name.awv has no date on its second line" >&2
        exit 1
    }
done
same() { cmp "$1" "$2" || { echo "cross-arm64: $3 differs between x86-64 and arm64" >&2; exit 1; }; }
same <(sed -n 1p "$work/host.awv") <(sed -n 1p "$work/arm64.awv") "the AWG file's first line"
same <(tail -n +3 "$work/host.awv") <(tail -n +3 "$work/arm64.awv") "the AWG file"
same "$work/host.make" "$work/arm64.make" "make-awg's output"
same "$work/host.analyze" "$work/arm64.analyze" "analyze's output"
grep -q '^Verdict: the file is the waveform the settings make' "$work/arm64.analyze" || {
    echo "cross-arm64: analyze does not find the file the settings make" >&2
    exit 1
}
echo "cross-arm64: the arm64 build gives the recorded samples on 1, 2 and 5 threads, and varnika-cli the" \
    "x86-64 build's AWG file ($(stat -c %s "$work/arm64.awv") bytes) and analysis"
