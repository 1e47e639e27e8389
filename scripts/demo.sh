#!/usr/bin/env bash
# Sets up, builds and runs the host tool's guided tour on the simulated module.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build >/dev/null
exec "$root/build/bin/vexar-ctl" demo
