#!/usr/bin/env bash
# Sets up, builds for an install under /usr and packs the result as a Debian package into out/
# (an optimised Release build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build-package" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF -DVEXAR_BENCH=OFF >/dev/null
cmake --build "$root/build-package" -j"$(nproc)"
cpack -G DEB --config "$root/build-package/CPackConfig.cmake" -B "$root/out" >/dev/null
rm -rf "$root/out/_CPack_Packages"
ls "$root"/out/*.deb
