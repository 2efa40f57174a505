#!/usr/bin/env bash
# Installs the varnika-cli package as a user would, with apt-get, on a bare Debian 12 system that has
# never had Qt, and runs it there:   scripts/check-cli-without-qt-machine.sh [BUILD_DIR]
#
# BUILD_DIR (default build-deb) holds the .deb files scripts/check-packages.sh makes; that script is run
# first when they are missing. A minimal bookworm (debootstrap --variant=minbase) is downloaded from the
# Debian mirror this machine's apt uses into a new temporary folder under /tmp; inside it (chroot) apt-get
# installs ./libkestraN_*.deb ./libwavesaveN_*.deb ./varnika-cli_*.deb with their dependencies (and
# recommendations, as apt does by default), then varnika-cli prints its version and makes a forward-link
# AWG file, and no installed package may be a Qt one. The folder is removed on exit, failure included.
# Needs root (debootstrap, chroot) and the mirror; not run by the test command, as it downloads a system.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-"$root/build-deb"}
started=$SECONDS
fail() {
    echo "check-cli-without-qt-machine: $*" >&2
    exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap and chroot)"
if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
fi

# The packages: libkestraN, libwavesaveN and varnika-cli, whatever their ABI numbers and versions.
find_debs() {
    debs=()
    local pattern found
    for pattern in 'libkestra[0-9]*_*.deb' 'libwavesave[0-9]*_*.deb' 'varnika-cli_*.deb'; do
        found=$(find "$dir" -maxdepth 1 -name "$pattern" | sort | tail -n 1)
        [ -n "$found" ] || return 1
        debs+=("$found")
    done
}
if ! find_debs 2>/dev/null; then
    "$root/scripts/check-packages.sh" "$dir"
    find_debs || fail "no libkestra, libwavesave or varnika-cli package in $dir"
fi

# The Debian mirror (and security mirror) of this machine's apt sources, one-line or deb822 form.
sources() { # prints "URI SUITE" for every enabled deb source
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] && awk '$1 == "deb" { sub(/^deb +(\[[^]]*\] +)?/, ""); print $1, $2 }' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] && awk '
            function flush(  u, s, nu, ns, i, j) {
                if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no") {
                    nu = split(uris, u, " "); ns = split(suites, s, " ")
                    for (i = 1; i <= nu; i++) for (j = 1; j <= ns; j++) print u[i], s[j]
                }
                types = uris = suites = ""; enabled = "yes"
            }
            BEGIN { enabled = "yes" }
            /^[ \t]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
            /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0 }
            /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
            /^Enabled:/ { sub(/^Enabled:[ \t]*/, ""); enabled = $0 }
            END { flush() }' "$file"
    done
}
suite=bookworm
mirror=$(sources | awk -v s="$suite" '$2 == s { print $1; exit }')
security=$(sources | awk -v s="$suite-security" '$2 == s { print $1; exit }')
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

work=$(mktemp -d /tmp/varnika-cli-machine.XXXXXXXX)
system="$work/system"
# Unmounts whatever is mounted inside the folder (deepest first), then removes it, never crossing into
# a mount that is still there.
cleanup() {
    local point left
    while read -r point; do
        umount "$point" 2>/dev/null || umount -l "$point" || true
    done < <(awk -v p="$work/" 'index($2, p) == 1 { print $2 }' /proc/mounts | sort -r)
    left=$(awk -v p="$work/" 'index($2, p) == 1 { print $2 }' /proc/mounts)
    if [ -n "$left" ]; then
        echo "check-cli-without-qt-machine: still mounted, $work kept: $left" >&2
        return
    fi
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

echo "== debootstrap --variant=minbase $suite from $mirror"
debootstrap --variant=minbase "$suite" "$system" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 30 "$work/debootstrap.log" >&2; fail "debootstrap failed"; }
{
    echo "deb $mirror $suite main"
    echo "deb $mirror $suite-updates main"
    [ -z "$security" ] || echo "deb $security $suite-security main"
} >"$system/etc/apt/sources.list"
mkdir "$system/root/debs"
cp "${debs[@]}" "$system/root/debs/"

inside() { # runs a command in the new system, with a clean environment
    chroot "$system" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}
qt_count() { inside sh -c 'dpkg -l | grep -ci qt || true'; }
echo "== before: $(inside sh -c 'dpkg -l | grep -c "^ii"') packages, Qt ones: $(qt_count)"
inside apt-get update -qq
names=()
for deb in "${debs[@]}"; do
    names+=("./$(basename "$deb")")
done
echo "== apt-get install -y ${names[*]}"
# Use-Pty=0: dpkg's progress without a terminal, as the new system has no /dev/pts mounted.
inside sh -c "cd /root/debs && apt-get -o Dpkg::Use-Pty=0 install -y $(printf '%q ' "${names[@]}")"

echo "== varnika-cli --version"
inside varnika-cli --version
echo "== varnika-cli make-awg /tmp/x.awv --link downlink --test-model 1 --ratio 20"
inside varnika-cli make-awg /tmp/x.awv --link downlink --test-model 1 --ratio 20
head -c 200 "$system/tmp/x.awv" | sed -n '/^{.*}$/p'
size=$(stat -c %s "$system/tmp/x.awv")
[ "$size" -gt 5000000 ] || fail "the waveform file has $size bytes"
echo "== dpkg -l | grep -ci qt"
count=$(qt_count)
echo "$count"
[ "$count" = 0 ] || { inside sh -c 'dpkg -l | grep -i qt' >&2; fail "a Qt package was installed"; }
echo "check-cli-without-qt-machine: varnika-cli installed with apt-get on a bare $suite, no Qt package," \
    "a $size-byte AWG file made ($((SECONDS - started)) s)"
