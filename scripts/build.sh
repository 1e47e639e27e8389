#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configure (once) and build one build tree. VEXAR_JOBS sets the
# number of parallel compile jobs (default: the number of processors).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$root/$dir" -j"${VEXAR_JOBS:-$(nproc)}"
