#!/usr/bin/env bash
# Builds varnika-cli and the two libraries it binds with clang and UndefinedBehaviorSanitizer (every finding
# ends the program) and runs analyze on files that must be refused or measured without undefined behaviour:
# header numbers no sampling rate or byte count can be ("{WAVEDATA:1e30;", inf, nan, 1e-300), a FIFO, a
# folder, broken SigMF meta files, and a sound recording read at the extreme sampling rates accepted.
#   scripts/ubsan-cli.sh [BUILD_DIR]        (default: build-ubsan-clang)
# Exits non-zero when a run ends otherwise than expected (a sanitizer report ends it with code 99).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build-ubsan-clang"}

launcher=()
if [ -n "$(command -v ccache || true)" ]; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$dir"
ubsan="-fsanitize=undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNIKA_WERROR=ON -DVARNIKA_BUILD_TESTS=OFF -DVARNIKA_BUILD_BENCH=OFF \
    -DCMAKE_C_FLAGS="$ubsan" -DCMAKE_CXX_FLAGS="$ubsan" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=undefined" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=undefined" \
    "${launcher[@]}" >"$dir/configure.log"
cmake --build "$dir" --parallel "$(nproc)" --target varnika-cli kestra wavesave
cli="$dir/bin/varnika-cli"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/settings"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=99
failures=0
# expect CODE NAME ARGS...: runs analyze with ARGS and checks its exit code.
expect() {
    local want=$1 name=$2
    shift 2
    local got=0
    timeout 120 "$cli" analyze "$@" --settings-dir "$scratch/settings" >"$scratch/out" 2>"$scratch/err" || got=$?
    if [ "$got" -ne "$want" ]; then
        echo "ubsan-cli.sh: $name: exit $got, expected $want" >&2
        sed 's/^/    /' "$scratch/err" >&2
        failures=$((failures + 1))
    fi
}
awg() { # awg NAME HEADER: an AWG file whose header ends in HEADER, then one sample
    printf '{COMMENT:EVDOWaveform}\n%s        }' "$2" >"$scratch/$1"
}
meta() { # meta BASE DATATYPE RATE [EXTRA]: a SigMF meta file
    printf '{"global": {"core:datatype": "%s", "core:sample_rate": %s%s}, "captures": [], "annotations": []}' \
        "$2" "$3" "${4:-}" >"$scratch/$1.sigmf-meta"
}

awg wavedata.awv $'{SAMPLINGFREQ:9.830400e+007}\n{WAVEDATA:1e30;'
awg negative.awv $'{SAMPLINGFREQ:9.830400e+007}\n{WAVEDATA:-8;'
awg huge.awv $'{SAMPLINGFREQ:9.830400e+007}\n{WAVEDATA:18446744073709551608;'
for value in inf -inf nan 1e-300 1e400 -9.8304e7 0; do
    awg "rate_$value.awv" "{SAMPLINGFREQ:$value}"$'\n{WAVEDATA:8;'
done
mkfifo "$scratch/pipe.awv"
mkdir "$scratch/folder.awv"
printf 'nan,0\r\n' >"$scratch/nan.txt"
printf '1e400,0\r\n' >"$scratch/huge.txt"
printf '%16s' '' >"$scratch/m.sigmf-data"
for file in "$scratch"/*.awv "$scratch"/*.txt; do
    expect 7 "$(basename "$file")" "$file"
done
meta m cf32_le 1e-300
expect 7 "core:sample_rate 1e-300" "$scratch/m.sigmf-meta"
meta m cf32_le 1e308
expect 7 "core:sample_rate 1e308" "$scratch/m.sigmf-meta"
meta m cf32_le 1e6 ', "core:num_channels": -1'
expect 7 "core:num_channels -1" "$scratch/m.sigmf-meta"
printf '{"global": {"core:datatype": "cf32_le", "core:sample_rate": 1e6}, "captures": [{"core:header_bytes": 1e30}]}' \
    >"$scratch/m.sigmf-meta"
expect 7 "core:header_bytes 1e30" "$scratch/m.sigmf-meta"
expect 2 "--sample-rate nan" "$scratch/m.sigmf-meta" --sample-rate nan

# A sound recording, measured at its own rate; at the lowest rate accepted it is refused (no resampler goes
# that far), at the highest it is measured and differs: orderly ends, never a sanitizer report (99).
"$cli" make-sigmf "$scratch/good" --ratio 4 --settings-dir "$scratch/settings" >"$scratch/out"
expect 0 "a sound recording" "$scratch/good.sigmf-meta" --ratio 4
expect 7 "--sample-rate 1e3" "$scratch/good.sigmf-data" --sample-rate 1e3
expect 8 "--sample-rate 1e11" "$scratch/good.sigmf-data" --sample-rate 1e11

if [ "$failures" -ne 0 ]; then
    echo "ubsan-cli.sh: $failures of the runs failed" >&2
    exit 1
fi
echo "ubsan-cli.sh: every analyze run ended as expected"
