#!/usr/bin/env bash
# Fails when a tracked C/C++ file does not follow .clang-format. The version is
# pinned to Debian 12's clang-format 14: other versions format differently.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
formatter=clang-format-14
command -v "$formatter" >/dev/null || { echo "check-format: $formatter not found (bash scripts/setup.sh)"; exit 1; }
mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
bad=()
for f in "${files[@]}"; do
    [[ -f "$f" ]] || continue
    "$formatter" --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]})); then
    echo "check-format: ${#bad[@]} file(s) do not follow .clang-format (fix with: $formatter -i FILE):"
    printf '  %s\n' "${bad[@]}"
    exit 1
fi
echo "check-format: ${#files[@]} files follow .clang-format"
