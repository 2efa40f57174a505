#!/usr/bin/env bash
# Fails when a source file includes a header by a path that climbs out of its folder ("../run/x.h", or
# "uplink/../run/x.h"). Each layer of app/ sees only its own folder and the layers below it; a climbing
# include would reach round that rule, so it is refused here as well as by the build.
#   scripts/check-includes.sh [FOLDER...]   (default: the repository's sources)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -eq 0 ]; then
    set -- "$root/app" "$root/tools" "$root/synth" "$root/wavefile" "$root/analysis" "$root/safewrite" \
        "$root/bench" "$root/tests"
fi
pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^">]*/)?\.\./'
found=$(grep -rnE --include='*.cpp' --include='*.h' --include='*.hpp' --include='*.cc' --include='*.c' \
    "$pattern" "$@" || true)
if [ -n "$found" ]; then
    echo "Includes that climb out of their folder (include by the layer's path, e.g. \"run/file_naming.h\"):" >&2
    printf '%s\n' "$found" | sed 's/^/  /' >&2
    exit 1
fi
echo "includes: no source climbs out of its folder"
