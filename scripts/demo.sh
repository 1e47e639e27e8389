#!/usr/bin/env bash
# Sets up, builds the host tool and the plug-in it loads, and runs the tool's guided tour on the
# simulated module.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# The same build tree and settings as scripts/build.sh, but only what the tour needs.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j"${VEXAR_JOBS:-$(nproc)}" --target vexar-ctl
exec "$root/build/bin/vexar-ctl" demo
