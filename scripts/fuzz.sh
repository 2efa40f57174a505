#!/usr/bin/env bash
# Fuzzes the file readers with libFuzzer for a bounded time:
#   scripts/fuzz.sh [BUILD_DIR] [SECONDS]      (defaults: build-fuzz, 60)
# wavesave's configuration-file reader runs for SECONDS, then each of the program's three settings-file
# readers (system_def.ini, uplink_def.ini, downlink_def.ini) for SECONDS / 2.
# Builds the targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer), runs each on its seed
# files and a working corpus in BUILD_DIR, and exits non-zero on a crash, a sanitizer report, a leak or a
# time-out; the failing input is left in BUILD_DIR. Needs clang and libclang-rt-dev
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
sanitizers=(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# Runs fuzz target $1 for $2 seconds on inputs of at most $3 bytes, with the seed folders that follow.
# New corpus entries go to the first folder; the seeds are only read.
run_target() {
    local target=$1 time=$2 max_len=$3
    shift 3
    echo "fuzz.sh: fuzzing $(basename "$target") for $time s"
    mkdir -p "$dir/corpus-$(basename "$target")"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 TMPDIR="$scratch" \
        "$target" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
        -artifact_prefix="$dir/" -print_final_stats=1 "$dir/corpus-$(basename "$target")" "$@"
}

# wavesave's configuration-file reader.
mkdir -p "$dir/corpus"
target="$dir/load_config_fuzz"
echo "fuzz.sh: building $target"
clang++ -std=c++20 -O1 -g -Wall -Wextra -fsanitize=fuzzer "${sanitizers[@]}" \
    -DWAVESAVE_BUILDING -I "$root/wavefile/include" -I "$root/wavefile/src" \
    "$root"/wavefile/src/*.cpp "$root/wavefile/fuzz/load_config_fuzz.cpp" -o "$target"

echo "fuzz.sh: fuzzing load_Config for $seconds s"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 TMPDIR="$scratch" \
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=12000 \
    -dict="$root/wavefile/fuzz/load_config.dict" -artifact_prefix="$dir/" -print_final_stats=1 \
    "$dir/corpus" "$root/wavefile/fuzz/seeds"

# The program's settings-file readers, over the window model (no Qt). Its sources are compiled once,
# instrumented for coverage, and linked into the three targets and the seed writer.
objects="$dir/app-objects"
rm -rf "$objects"
mkdir -p "$objects"
echo "fuzz.sh: building the window model"
app_flags=(-std=c++20 -O1 -g -Wall -Wextra -fsanitize=fuzzer-no-link "${sanitizers[@]}"
    -I "$root/app" -I "$root/app/fuzz" -I "$root/synth/include")
compile_object() {
    local source=$1
    shift
    clang++ "$@" -c "$source" -o "$objects/$(echo "${source#"$root"/}" | tr / _).o"
}
export -f compile_object
export objects root
printf '%s\0' "$root"/app/{form,settings,uplink,downlink}/*.cpp "$root/app/fuzz/settings_fuzz.cpp" |
    xargs -0 -P "$(nproc)" -I{} bash -c 'compile_object "$@"' _ {} "${app_flags[@]}"

clang++ "${app_flags[@]}" "$root/app/fuzz/make_settings_seeds.cpp" "$objects"/*.o -o "$dir/make_settings_seeds"
rm -rf "$dir/settings-seeds"
ASAN_OPTIONS=detect_leaks=1 "$dir/make_settings_seeds" "$dir/settings-seeds"

for reader in system uplink downlink; do
    target="$dir/${reader}_settings_fuzz"
    echo "fuzz.sh: building $target"
    clang++ "${app_flags[@]}" -fsanitize=fuzzer "$root/app/fuzz/${reader}_settings_fuzz.cpp" "$objects"/*.o \
        -o "$target"
done
run_target "$dir/system_settings_fuzz" "$reader_seconds" 2048 "$dir/settings-seeds/system"
run_target "$dir/uplink_settings_fuzz" "$reader_seconds" 8192 "$dir/settings-seeds/uplink"
run_target "$dir/downlink_settings_fuzz" "$reader_seconds" 131072 "$dir/settings-seeds/downlink"
echo "fuzz.sh: no crash in $seconds s and 3 x $reader_seconds s"
