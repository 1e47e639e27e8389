#!/usr/bin/env bash
# debian-package.sh BUILD VERSION [CPACK]: makes the Debian package of BUILD, checks its control
# fields, unpacks it into a scratch folder and runs the tool and the consumer host from there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
build=$(cd "$1" && pwd)
version=$2
cpack=${3:-cpack}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$scratch/cpack.log")"
deb=$(find "$scratch/out" -maxdepth 1 -name '*.deb')
[[ -f $deb ]] || fail "no package made"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "package version is not $version"
# Filled in by dpkg-shlibdeps from what the binaries link.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libc6* && $depends == *libstdc++6* ]] || fail "dependencies: '$depends'"

dpkg-deb -x "$deb" "$scratch/root"
check_tree "$scratch/root/usr"
check_tool "$scratch/root/usr"
consume_with_pkgconfig "$scratch/root/usr" "$scratch/consumer"
