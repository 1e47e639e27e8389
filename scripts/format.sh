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
  # One formatter over every file: a process per file took most of this check's time.
  status=0
  report=$("$formatter" --dry-run --Werror "${files[@]}" 2>&1 >/dev/null) || status=$?
  mapfile -t bad < <(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' <<<"$report" | sort -u)
  if ((status != 0 && ${#bad[@]} == 0)); then
    printf '%s\n' "$report"
    echo "$formatter failed (status $status)"
    exit 1
  fi
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
