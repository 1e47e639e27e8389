#!/usr/bin/env bash
# Sets up, builds for an install under /usr and packs the result as Debian packages, one per
# role, into out/ (an optimised Release build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build-package" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF -DVEXAR_BENCH=OFF >/dev/null
cmake --build "$root/build-package" -j"$(nproc)"
rm -f "$root"/out/*.deb
"$root/scripts/debian-packages.sh" "$root/build-package" "$root/out"
ls "$root"/out/*.deb
