#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what the repository's .clang-format
# makes of it, and names the files.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.hpp')
# A failing git (missing, or not a checkout) lists nothing, which must not pass as "all formatted".
if ((${#files[@]} == 0)); then
    echo "check-format: git listed no C++ files (is git installed, and is this a checkout?)" >&2
    exit 1
fi
bad=()
for file in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        bad+=("$file")
    fi
done
if ((${#bad[@]} > 0)); then
    echo "Not formatted with .clang-format (run clang-format -i on them):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "Formatting: ${#files[@]} C++ files follow .clang-format."
