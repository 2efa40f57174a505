#!/usr/bin/env bash
# Builds the libraries, varnika-cli and their tests with the window left out and Qt hidden from CMake, as
# on a machine without any Qt package, and runs varnika-cli's tests there:
#   scripts/check-without-qt.sh [BUILD_DIR]   (default: build-noqt)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build-noqt"}
fail() {
    echo "check-without-qt: $*" >&2
    exit 1
}
# The objects of the main build are reused where ccache is installed.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
mkdir -p "$dir"
"$root/scripts/build.sh" "$dir" -DVARNIKA_BUILD_GUI=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON \
    -DVARNIKA_BUILD_BENCH=OFF >"$dir/check-build.log" 2>&1 ||
    { tail -n 40 "$dir/check-build.log" >&2; fail "the build failed (all of it in $dir/check-build.log)"; }
[ -x "$dir/bin/varnika-cli" ] || fail "varnika-cli was not built"
[ ! -e "$dir/bin/Varnika" ] || fail "the window was built"
if grep -il 'qt6' "$dir/build.ninja" >/dev/null; then
    fail "the build still refers to Qt: $(grep -io '[^ ]*qt6[^ ]*' "$dir/build.ninja" | sort -u | head -3)"
fi
for program in "$dir"/bin/*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    if ldd "$program" 2>/dev/null | grep -i 'libqt'; then
        fail "$(basename "$program") links Qt"
    fi
done
# The command-line program's tests and the install without the window.
QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure --parallel "$(nproc)" \
    -R '^(install_test|LibraryLoading\.|Scripting\.|CliStart\.)' >/dev/null ||
    fail "varnika-cli's tests fail in the build without Qt"
echo "check-without-qt: the libraries, varnika-cli and their tests build and run without Qt"
