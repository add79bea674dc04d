#!/usr/bin/env bash
# Fails when a C++ file is not formatted with the repository's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=$(git ls-files '*.cpp' '*.h' | while read -r f; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || echo "$f"
done)
if [ -n "$bad" ]; then
  echo "Not formatted with .clang-format (run clang-format -i on them):" >&2
  echo "$bad" >&2
  exit 1
fi
