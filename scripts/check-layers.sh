#!/usr/bin/env bash
# check-layers.sh [BUILD]: fails on a cross-layer include, i.e. a file that includes a header of a
# target its own target does not link (scripts/check-layers.py has the rules). Without BUILD it
# configures a scratch tree, which takes seconds and builds nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if (($# > 0)); then
  build=$1
else
  build=$(mktemp -d)
  trap 'rm -rf "$build"' EXIT
  cmake -S "$root" -B "$build" -DVEXAR_BENCH=ON >/dev/null
fi
python3 "$root/scripts/check-layers.py" "$build"
