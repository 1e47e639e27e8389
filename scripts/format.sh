#!/usr/bin/env bash
# format.sh [--check]: lays out every C and C++ source of the project with .clang-format. With
# --check it changes nothing, lists the files that differ and fails when there are any. Blocks
# that must keep a hand-made layout (tables) are fenced with "clang-format off/on" comments.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
formatter=${CLANG_FORMAT:-clang-format}
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.c' '*.cpp' '*.h')
if [[ ${1:-} == --check ]]; then
  bad=()
  for f in "${files[@]}"; do
    if ! "$formatter" --dry-run --Werror "$f" >/dev/null 2>&1; then
      bad+=("$f")
    fi
  done
  if ((${#bad[@]})); then
    printf 'not formatted: %s\n' "${bad[@]}"
    echo "${#bad[@]} of ${#files[@]} files differ from .clang-format; ./scripts/format.sh fixes them"
    exit 1
  fi
  echo "all ${#files[@]} sources match .clang-format"
elif (($# == 0)); then
  "$formatter" -i "${files[@]}"
else
  echo "usage: $0 [--check]" >&2
  exit 2
fi
