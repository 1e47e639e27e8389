#!/usr/bin/env bash
# Sets up what building the tool takes (no test toolchain), builds the host tool and the plug-in
# it loads, and runs the tool's guided tour on the simulated module.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" base
# The build tree of scripts/build.sh; configured here for the first time, it leaves out the
# tests and benchmarks, whose packages the tour does not install (build.sh turns them on).
options=()
[[ -f $root/build/CMakeCache.txt ]] || options=(-DBUILD_TESTING=OFF -DVEXAR_BENCH=OFF)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
cmake --build "$root/build" -j"${VEXAR_JOBS:-$(nproc)}" --target vexar-ctl
exec "$root/build/bin/vexar-ctl" demo
