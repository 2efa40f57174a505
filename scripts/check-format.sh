#!/usr/bin/env bash
# Fails when any C++ file of the repository differs from the layout .clang-format gives it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bad=()
while IFS= read -r f; do
    clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done < <(git ls-files '*.cpp' '*.h' '*.hpp' '*.cc')
if [ ${#bad[@]} -gt 0 ]; then
    echo "These files differ from .clang-format (run clang-format -i on them):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "clang-format: every C++ file matches .clang-format"
