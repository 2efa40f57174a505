#!/usr/bin/env bash
# Builds the Debian packages with the hardening flags of dpkg-buildflags and checks them as a packager and
# a user meet them:   scripts/check-packages.sh [BUILD_DIR]   (default: build-deb)
# - lintian reports no error on any package;
# - each package has its copyright file and changelog.Debian.gz, and its man pages are compressed;
# - every program and library is linked with relro and bind-now and calls the stack protector;
# - varnika-cli needs no Qt: no Qt package in the closure of its dependencies, no Qt library in its ldd;
# - the packages unpacked into a temporary root (never the machine's own /usr): the packaged varnika-cli
#   binds the packaged libraries by their SONAMEs and makes a waveform.
# The .deb files stay in BUILD_DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build-deb"}
fail() {
    echo "check-packages: $*" >&2
    exit 1
}
for tool in lintian dpkg-buildflags dpkg-deb readelf; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

# Debian's flags, every hardening feature on (fortify, stack protector, relro, bind-now, PIE and the
# rest); CPPFLAGS (fortify) go with the compiler flags, as Debian's CMake builds pass them. The build type
# keeps the project's optimisation.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
mkdir -p "$dir"
"$root/scripts/build.sh" "$dir" -DCMAKE_INSTALL_PREFIX=/usr -DVARNIKA_BUILD_TESTS=OFF -DVARNIKA_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >"$dir/check-build.log" 2>&1 ||
    { tail -n 40 "$dir/check-build.log" >&2; fail "the build failed (all of it in $dir/check-build.log)"; }
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)

header="$dir/generated/varnika_version.h"
kestra_abi=$(sed -n 's/^#define VARNIKA_KESTRA_SOVERSION "\(.*\)"$/\1/p' "$header")
wavesave_abi=$(sed -n 's/^#define VARNIKA_WAVESAVE_SOVERSION "\(.*\)"$/\1/p' "$header")
packages=("libkestra$kestra_abi" "libwavesave$wavesave_abi" libvarnika-dev varnika-cli)
[ -e "$dir/bin/Varnika" ] && packages+=(varnika)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unpacked="$work/root"
status=0
for package in "${packages[@]}"; do
    deb=$(ls "$dir/${package}"_*.deb 2>/dev/null) || fail "no package $package was made"
    echo "== $(basename "$deb")"
    # The whole control record (its fields come in alphabetical order: Depends, Pre-Depends and
    # Recommends among them), for the reader.
    dpkg-deb -I "$deb"
    contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
    for document in copyright changelog.Debian.gz; do
        grep -qx "./usr/share/doc/$package/$document" <<<"$contents" || fail "$package has no $document"
    done
    if grep -E '^\./usr/share/man/.+\.[0-9]$' <<<"$contents"; then
        fail "$package has man pages that are not compressed"
    fi
    # Errors fail the check; warnings and notes are shown for the reader.
    if ! lintian --fail-on error --display-info "$deb"; then
        echo "check-packages: lintian reports an error in $package" >&2
        status=1
    fi
    dpkg-deb -x "$deb" "$unpacked"
done
[ "$status" = 0 ] || exit 1

# Hardening of every ELF file the packages hold.
while IFS= read -r -d '' file; do
    readelf -h "$file" >/dev/null 2>&1 || continue
    name=${file#"$unpacked"}
    # Whole outputs first: grep -q ending early would fail the pipe under pipefail.
    segments=$(readelf -lW "$file")
    dynamic=$(readelf -dW "$file")
    symbols=$(readelf -sW --dyn-syms "$file")
    grep -q GNU_RELRO <<<"$segments" || fail "$name is not linked with relro"
    grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || fail "$name is not linked with bind-now"
    grep -q __stack_chk_fail <<<"$symbols" || fail "$name does not use the stack protector"
done < <(find "$unpacked/usr/bin" "$unpacked/usr/lib" -type f -print0)

# varnika-cli without Qt: neither its package's dependencies (followed through the package cache) nor
# its binary's libraries name Qt.
cli_deb=$(ls "$dir"/varnika-cli_*.deb)
depends=$(for package in "${packages[@]:0:2}" varnika-cli; do
    dpkg-deb -f "$(ls "$dir/${package}"_*.deb)" Depends
done | tr ',|' '\n\n' | sed 's/(.*)//; s/:any//; s/ //g' | grep -v -e '^$' -e '^libkestra' -e '^libwavesave' | sort -u)
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
    --no-enhances $depends 2>/dev/null | grep -v '^ ' | sort -u)
[ -n "$closure" ] || fail "the package cache does not know varnika-cli's dependencies: $depends"
if grep -i 'qt' <<<"$closure"; then
    fail "varnika-cli's dependencies reach Qt"
fi
if ldd "$unpacked/usr/bin/varnika-cli" | grep -i 'qt'; then
    fail "varnika-cli links Qt"
fi
echo "check-packages: $(basename "$cli_deb") depends on $(wc -l <<<"$closure") packages, none of them Qt"

# The unpacked programs bind the unpacked libraries under their SONAMEs.
home="$work/home"
mkdir -p "$home"
run_unpacked() {
    (cd "$home" && env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" "$@")
}
libdir=$(dirname "$(find "$unpacked/usr/lib" -name "libkestra.so.$kestra_abi")")
run_unpacked "$unpacked/usr/bin/varnika-cli" --version >"$work/version"
grep -qF "kestra " "$work/version" && grep -qF "($libdir/libkestra.so.$kestra_abi)" "$work/version" ||
    fail "the unpacked varnika-cli does not bind the packaged kestra: $(cat "$work/version")"
grep -qF "($libdir/libwavesave.so.$wavesave_abi)" "$work/version" ||
    fail "the unpacked varnika-cli does not bind the packaged wavesave: $(cat "$work/version")"
run_unpacked "$unpacked/usr/bin/varnika-cli" make-awg "$home/tm1.awv" --link downlink --test-model 1 --ratio 12 \
    >/dev/null || fail "the unpacked varnika-cli could not make a waveform"
[ -s "$home/tm1.awv" ] || fail "the unpacked varnika-cli wrote no waveform"
echo "check-packages: ${packages[*]} built, lintian reports no error"
