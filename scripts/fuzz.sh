#!/usr/bin/env bash
# Fuzzes the configuration-file reader of wavesave with libFuzzer for a bounded time:
#   scripts/fuzz.sh [BUILD_DIR] [SECONDS]      (defaults: build-fuzz, 60)
# Builds the target with clang (AddressSanitizer and UndefinedBehaviorSanitizer), runs it on the
# seed files and a working corpus in BUILD_DIR, and exits non-zero on a crash, a sanitizer report,
# a leak or a time-out; the failing input is left in BUILD_DIR. Needs clang and libclang-rt-dev
# (scripts/install-deps.sh installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build-fuzz"}
seconds=${2:-60}

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz.sh: clang++ not found; run scripts/install-deps.sh" >&2
    exit 2
fi

mkdir -p "$dir/corpus"
target="$dir/load_config_fuzz"
echo "fuzz.sh: building $target"
clang++ -std=c++20 -O1 -g -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer \
    -DWAVESAVE_BUILDING -I "$root/wavefile/include" -I "$root/wavefile/src" \
    "$root"/wavefile/src/*.cpp "$root/wavefile/fuzz/load_config_fuzz.cpp" -o "$target"

echo "fuzz.sh: fuzzing load_Config for $seconds s"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# New corpus entries go to the first folder; the checked-in seeds are only read.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 TMPDIR="$scratch" \
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=12000 \
    -dict="$root/wavefile/fuzz/load_config.dict" -artifact_prefix="$dir/" -print_final_stats=1 \
    "$dir/corpus" "$root/wavefile/fuzz/seeds"
echo "fuzz.sh: no crash in $seconds s"
