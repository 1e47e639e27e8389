#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configure and build one build tree, tests and benchmarks
# included unless the options say otherwise. VEXAR_JOBS sets the number of parallel compile jobs
# (default: the number of processors).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
# On explicitly: a tree first configured by demo.sh has them off.
cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DVEXAR_BENCH=ON "$@" >/dev/null
cmake --build "$root/$dir" -j"${VEXAR_JOBS:-$(nproc)}"
