#!/usr/bin/env bash
# Checks that every tracked .cpp and .h file is formatted as .clang-format
# says; prints clang-format's findings and exits non-zero on any difference.
# To fix a file: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is missing (scripts/ensure-deps.sh installs it)" >&2
  exit 2
fi

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: git lists no .cpp or .h file" >&2
  exit 2
fi

if ! printf '%s\0' "${files[@]}" | xargs -0 clang-format --dry-run --Werror; then
  echo "check-format: files above differ from .clang-format (clang-format -i FILE fixes one)" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files follow .clang-format"
