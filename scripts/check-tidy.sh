#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy over the libraries, the window's model layers, the generation
# run and varnika-cli (not the tests, benchmarks or the Qt view), from a configured build's
# compile_commands.json:   scripts/check-tidy.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build"}
command -v clang-tidy >/dev/null || {
    echo "check-tidy: clang-tidy is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
}
[ -f "$dir/compile_commands.json" ] || {
    echo "check-tidy: $dir/compile_commands.json is missing: configure the build first" >&2
    exit 1
}
cd "$root"
files=$(git ls-files 'synth/src/*.cpp' 'wavefile/src/*.cpp' 'safewrite/src/*.cpp' 'analysis/src/*.cpp' \
    'app/*.cpp' 'tools/*.cpp' | grep -v -e '^app/ui/' -e '^app/tests/' -e '^app/fuzz/' -e '^app/main.cpp$')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# One clang-tidy per core; a file with a finding fails the check (WarningsAsErrors in .clang-tidy).
if ! xargs -P "$(nproc)" -n 1 clang-tidy -p "$dir" --quiet <<<"$files" >"$log" 2>&1; then
    grep -E 'warning:|error:' -A3 "$log" >&2 || cat "$log" >&2
    echo "check-tidy: clang-tidy reports findings" >&2
    exit 1
fi
echo "check-tidy: $(wc -l <<<"$files") files clean"
