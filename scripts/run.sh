#!/usr/bin/env bash
# Installs what is needed, builds, and starts Varnika.
#   scripts/run.sh               the window; without a display, varnika-cli writes Test Model 1 at ratio 20
#                                into tm1.awv in the current folder and prints its PAPR instead
#   scripts/run.sh --cli ARGS    varnika-cli with ARGS (see: scripts/run.sh --cli --help)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"

if [[ "${1:-}" == "--cli" ]]; then
    shift
    exec "$root/build/bin/varnika-cli" "$@"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "run.sh: no display; making Test Model 1 at ratio 20 with varnika-cli into tm1.awv instead" >&2
    exec "$root/build/bin/varnika-cli" make-awg "$PWD/tm1.awv" --link downlink --test-model 1 --ratio 20
fi
exec "$root/build/bin/Varnika" "$@"
