#!/usr/bin/env bash
# debian-packages.sh BUILD OUT: packs the build tree BUILD into its Debian packages in OUT.
# cpack writes maintainer scripts that only call ldconfig; dpkg's ldconfig trigger, which the
# library packages declare, does that job, so those scripts are taken out again.
set -euo pipefail
build=$(cd "$1" && pwd)
out=$2
mkdir -p "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log" >&2
  exit 1
}
rm -rf "$out/_CPack_Packages" "$out/cpack.log"
for deb in "$out"/*.deb; do
  tree=$(mktemp -d)
  dpkg-deb -R "$deb" "$tree"
  for script in postinst postrm; do
    file=$tree/DEBIAN/$script
    # Anything beyond the shebang, set -e and the ldconfig call would be ours: keep it then.
    if [[ -f $file ]] && ! grep -Ev '^(#!/bin/sh|set -e|ldconfig|if \[ "\$1" = "configure" \]; then|if \[ "\$1" = "remove" \]; then|fi|[[:space:]]*ldconfig|)$' "$file" >/dev/null; then
      rm "$file"
    fi
  done
  dpkg-deb --root-owner-group -Zxz --build "$tree" "$deb" >/dev/null
  rm -rf "$tree"
done
