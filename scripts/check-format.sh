#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ source differs from what the repository's
# .clang-format makes of it. "--fix" rewrites them instead.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  # An exported tree without its history: the project's own source folders.
  mapfile -t files < <(find engine demo tests tools bench -name '*.cpp' -o -name '*.h' | sort)
fi
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'not formatted: %s\n' "${bad[@]}"
  echo "${#bad[@]} of ${#files[@]} files differ from .clang-format (scripts/check-format.sh --fix)"
  exit 1
fi
echo "all ${#files[@]} files formatted"
