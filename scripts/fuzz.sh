#!/usr/bin/env bash
# Fuzzes the file readers with libFuzzer for a bounded time:
#   scripts/fuzz.sh [BUILD_DIR] [SECONDS]      (defaults: build-fuzz, 60)
# wavesave's configuration-file reader runs for SECONDS, then each of the program's three settings-file
# targets (system_def.ini, uplink_def.ini, downlink_def.ini: start-up from the file, then the chosen link's
# waveform at ratio 4, no file written) for SECONDS / 2.
# Configures BUILD_DIR with clang, VARNIKA_FUZZ and the sanitizers (AddressSanitizer and
# UndefinedBehaviorSanitizer), builds only the fuzz targets, runs each on its seed files and a working
# corpus in BUILD_DIR, prints the executions of each, and exits non-zero on a crash, a sanitizer report, a
# leak or a time-out; the failing input is left in BUILD_DIR. Needs clang and libclang-rt-dev
# (scripts/install-deps.sh installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build-fuzz"}
seconds=${2:-60}
reader_seconds=$(((seconds + 1) / 2))

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz.sh: clang++ not found; run scripts/install-deps.sh" >&2
    exit 2
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
echo "fuzz.sh: building the fuzz targets in $dir"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVARNIKA_FUZZ=ON -DVARNIKA_SANITIZE=ON -DVARNIKA_BUILD_TESTS=OFF -DVARNIKA_BUILD_BENCH=OFF \
    "${launcher[@]}" >/dev/null
targets=(load_config_fuzz system_settings_fuzz uplink_settings_fuzz downlink_settings_fuzz)
cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}" make_settings_seeds
bin="$dir/bin"

summary=()
# Runs fuzz target $1 for $2 seconds on inputs of at most $3 bytes, with the seed folders and libFuzzer
# options that follow. New corpus entries go to the target's corpus folder; the seeds are only read. An
# input of the settings targets takes about a second of processor time (start-up twice and a synthesis);
# the time-out is wall-clock time, so it is generous enough for a busy machine and still catches a hang.
run_target() {
    local target=$1 time=$2 max_len=$3
    shift 3
    local log="$scratch/$target.log"
    echo "fuzz.sh: fuzzing $target for $time s"
    mkdir -p "$dir/corpus-$target"
    local status=0
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 TMPDIR="$scratch" \
        "$bin/$target" -max_total_time="$time" -timeout=60 -rss_limit_mb=2048 -max_len="$max_len" \
        -artifact_prefix="$dir/" -print_final_stats=1 "$dir/corpus-$target" "$@" 2>&1 | tee "$log" ||
        status=$?
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    summary+=("$target: ${runs:-?} executions in $time s")
    return "$status"
}

run_target load_config_fuzz "$seconds" 12000 -dict="$root/wavefile/fuzz/load_config.dict" \
    "$root/wavefile/fuzz/seeds"

rm -rf "$dir/settings-seeds"
ASAN_OPTIONS=detect_leaks=1 "$bin/make_settings_seeds" "$dir/settings-seeds"
run_target system_settings_fuzz "$reader_seconds" 2048 "$dir/settings-seeds/system"
run_target uplink_settings_fuzz "$reader_seconds" 8192 "$dir/settings-seeds/uplink"
run_target downlink_settings_fuzz "$reader_seconds" 131072 "$dir/settings-seeds/downlink"
printf 'fuzz.sh: %s\n' "${summary[@]}"
echo "fuzz.sh: no crash in $seconds s and 3 x $reader_seconds s"
