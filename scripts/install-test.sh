#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks the install as a user meets it:
#   scripts/install-test.sh BUILD_DIR
# - every piece lands where it belongs (programs, versioned libraries, headers, CMake packages,
#   pkg-config files, desktop entry, icon, man pages);
# - the installed varnika-cli, run from outside the build folder by a user who may not write into the
#   program's folder, finds its libraries in the install and keeps its settings in $XDG_CONFIG_HOME/varnika;
# - the installed Varnika answers --version without a display;
# - a small C program builds and runs against the installed libraries, through find_package and through
#   pkg-config.
set -euo pipefail
build=$(cd "${1:?usage: install-test.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
prefix="$work/prefix"
fail() {
    echo "install-test: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
header="$build/generated/varnika_version.h"
version=$(sed -n 's/^#define VARNIKA_VERSION "\(.*\)"$/\1/p' "$header")
kestra_abi=$(sed -n 's/^#define VARNIKA_KESTRA_SOVERSION "\(.*\)"$/\1/p' "$header")
wavesave_abi=$(sed -n 's/^#define VARNIKA_WAVESAVE_SOVERSION "\(.*\)"$/\1/p' "$header")
libdir=$(cd "$prefix" && find . -name "libkestra.so.$kestra_abi.$version" -printf '%h\n' | sed 's|^\./||')
[ -n "$libdir" ] || fail "libkestra.so.$kestra_abi.$version is not installed"
gui=0
[ -e "$build/bin/Varnika" ] && gui=1
programs=(varnika-cli)
installed=(bin/varnika-cli share/man/man1/varnika-cli.1.gz)
if [ "$gui" = 1 ]; then
    programs=(Varnika varnika-cli)
    installed+=(bin/Varnika share/applications/varnika.desktop share/icons/hicolor/scalable/apps/varnika.svg
        share/man/man1/Varnika.1.gz)
fi
for file in "${installed[@]}" "$libdir/libkestra.so" "$libdir/libwavesave.so.$wavesave_abi.$version" \
    include/kestra/kestra.h include/wavesave/wavesave.h \
    "$libdir/cmake/kestra/kestraConfig.cmake" "$libdir/cmake/wavesave/wavesaveConfigVersion.cmake" \
    "$libdir/pkgconfig/kestra.pc" "$libdir/pkgconfig/wavesave.pc"; do
    [ -e "$prefix/$file" ] || fail "$file is not installed"
done
# The Debian packages' documents belong to the packages alone.
[ ! -e "$prefix/share/doc" ] || fail "a plain install put Debian package documents into share/doc"
for library in "kestra $kestra_abi" "wavesave $wavesave_abi"; do
    read -r name abi <<<"$library"
    soname=$(readelf -d "$prefix/$libdir/lib$name.so.$abi.$version" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
    [ "$soname" = "lib$name.so.$abi" ] || fail "lib$name has SONAME '$soname'"
    [ "$(readlink "$prefix/$libdir/lib$name.so")" = "lib$name.so.$abi" ] || fail "lib$name.so does not link the SONAME"
done
if [ "$gui" = 1 ]; then
    grep -q '^Icon=varnika$' "$prefix/share/applications/varnika.desktop" || fail "the desktop entry has no icon"
    if command -v desktop-file-validate >/dev/null 2>&1; then
        desktop-file-validate "$prefix/share/applications/varnika.desktop"
    fi
fi
man -l "$prefix/share/man/man1/varnika-cli.1.gz" >/dev/null 2>&1 || [ ! -x "$(command -v man)" ] ||
    fail "the man page of varnika-cli does not format"

# The installed programs, run from a folder of their own by a user who may not write into bin/.
home="$work/home"
out="$work/out"
mkdir -p "$home" "$out"
chmod -R a+rX "$prefix"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$home" "$out"
    as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
else
    chmod a-w "$prefix/bin"
fi
run_installed() {
    (cd "$out" && env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" "${as_user[@]}" "$@")
}
run_installed "$prefix/bin/varnika-cli" make-awg tm1.awv --link downlink --test-model 1 --ratio 20 \
    --save-settings >"$work/papr" || fail "the installed varnika-cli make-awg failed"
grep -q '^PAPR: ' "$work/papr" || fail "no PAPR printed"
[ -s "$out/tm1.awv" ] || fail "no waveform written"
for settings in system_def.ini uplink_def.ini downlink_def.ini; do
    [ -f "$home/config/varnika/$settings" ] || fail "$settings is not in \$XDG_CONFIG_HOME/varnika"
done
[ "$(ls "$prefix/bin")" = "$(printf '%s\n' "${programs[@]}")" ] || fail "files were written into bin/"
run_installed "$prefix/bin/varnika-cli" --help | grep -qF "Settings folder in use: $home/config/varnika" ||
    fail "--help does not name the settings folder"
kestra_line="kestra $version ($prefix/$libdir/libkestra.so.$kestra_abi)"
if [ "$gui" = 1 ]; then
    run_installed "$prefix/bin/Varnika" --help | grep -qF "Settings folder in use: $home/config/varnika" ||
        fail "Varnika --help does not name the settings folder"
    run_installed "$prefix/bin/Varnika" --version >"$work/version" || fail "Varnika --version failed"
    grep -qx "Varnika $version" "$work/version" || fail "Varnika --version: $(cat "$work/version")"
    grep -qxF "$kestra_line" "$work/version" || fail "Varnika does not bind the installed kestra: $(cat "$work/version")"
    grep -q "^wavesave $version " "$work/version" || fail "Varnika --version: $(cat "$work/version")"
fi

# Root, too, keeps the installed program's settings under $XDG_CONFIG_HOME, never beside the program
# (root may write into bin/); --help, --version and --list-keys create nothing.
if [ "$(id -u)" -eq 0 ]; then
    root_home="$work/root-home"
    mkdir -p "$root_home"
    as_root() {
        (cd "$out" && env -i PATH=/usr/bin:/bin HOME="$root_home" XDG_CONFIG_HOME="$root_home/config" "$@")
    }
    as_root "$prefix/bin/varnika-cli" --help >/dev/null || fail "varnika-cli --help failed as root"
    as_root "$prefix/bin/varnika-cli" --version >"$work/root-version" || fail "varnika-cli --version failed as root"
    grep -qxF "$kestra_line" "$work/root-version" || fail "varnika-cli --version: $(cat "$work/root-version")"
    as_root "$prefix/bin/varnika-cli" --list-keys >/dev/null || fail "varnika-cli --list-keys failed as root"
    [ -z "$(ls -A "$root_home")" ] || fail "--help, --version or --list-keys created $(ls -A "$root_home")"
    as_root "$prefix/bin/varnika-cli" make-awg root.awv --link uplink --ratio 12 --save-settings >/dev/null ||
        fail "the installed varnika-cli run as root failed"
    for settings in system_def.ini uplink_def.ini downlink_def.ini; do
        [ -f "$root_home/config/varnika/$settings" ] || fail "root's $settings is not in \$XDG_CONFIG_HOME/varnika"
    done
    [ "$(ls "$prefix/bin")" = "$(printf '%s\n' "${programs[@]}")" ] || fail "root's run wrote into bin/"
fi

# A C program against the installed libraries: both version exports and one crest-factor measure.
mkdir -p "$work/c"
cat >"$work/c/use_libraries.c" <<'PROGRAM'
#include <kestra/kestra.h>
#include <wavesave/wavesave.h>
#include <stdio.h>

int main(void) {
    IqSample samples[4] = {{1.0, 0.0}, {0.0, 1.0}, {-1.0, 0.0}, {0.0, -1.0}};
    double crest_i = 0.0, crest_q = 0.0, papr = 0.0;
    if (CalcCrestFactor(samples, 4, &crest_i, &crest_q, &papr) != WAVESAVE_OK) {
        return 1;
    }
    printf("%d %d %.2f\n", (int)KESTRA_Version(), (int)WAVESAVE_Version(), papr);
    return 0;
}
PROGRAM
cat >"$work/c/CMakeLists.txt" <<'PROJECT'
cmake_minimum_required(VERSION 3.25)
project(use_libraries LANGUAGES C)
find_package(kestra REQUIRED)
find_package(wavesave REQUIRED)
add_executable(use_libraries use_libraries.c)
target_link_libraries(use_libraries PRIVATE kestra::kestra wavesave::wavesave)
PROJECT
IFS=. read -r v_major v_minor v_patch <<<"$version"
expected="$((v_major * 10000 + v_minor * 100 + v_patch)) $((v_major * 10000 + v_minor * 100 + v_patch)) 0.00"
cmake -S "$work/c" -B "$work/c/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/c/build" >/dev/null
[ "$("$work/c/build/use_libraries")" = "$expected" ] || fail "the find_package program printed the wrong line"
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
[ "$(pkg-config --modversion kestra)" = "$version" ] || fail "pkg-config kestra has the wrong version"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror "$work/c/use_libraries.c" -o "$work/c/by_pkg_config" $(pkg-config --cflags --libs kestra wavesave) \
    -Wl,-rpath,"$(pkg-config --variable=libdir kestra)"
[ "$("$work/c/by_pkg_config")" = "$expected" ] || fail "the pkg-config program printed the wrong line"
echo "install-test: the install in a temporary prefix works"
