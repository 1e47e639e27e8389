#!/usr/bin/env bash
# debian-package.sh BUILD VERSION [CPACK]: makes the Debian packages of BUILD, checks their
# control fields and the dependencies between them, unpacks them into a scratch root and runs
# the tool and the consumer hosts (pkg-config and CMake) from there. lintian, when installed,
# must find neither an error nor a warning in any of them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
build=$(cd "$1" && pwd)
version=$2
cpack=${3:-cpack}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$here/../../scripts/debian-packages.sh" "$build" "$scratch/out" "$cpack" >"$scratch/pack.log" 2>&1 ||
  fail "packing: $(cat "$scratch/pack.log")"

package() { find "$scratch/out" -maxdepth 1 -name "$1_${version}_*.deb"; }
host=$(package liblumivorplugins0)
client=$(package libvexar-client0)
plugin=$(package libvexar-paraminterp-yorindimpl)
dev=$(package libvexar-paraminterp-dev)
tool=$(package vexar-ctl)
for deb in "$host" "$client" "$plugin" "$dev" "$tool"; do
  [[ -f $deb ]] || fail "missing package; made: $(ls "$scratch/out")"
  [[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "$deb: version is not $version"
  [[ $(dpkg-deb -f "$deb" Description) == *$'\n'* ]] || fail "$deb: no extended description"
  dpkg-deb -c "$deb" | grep "usr/share/doc/$(dpkg-deb -f "$deb" Package)/copyright$" >/dev/null ||
    fail "$deb: no copyright file"
  dpkg-deb -x "$deb" "$scratch/root"
done

depends() { dpkg-deb -f "$1" Depends; }
# System libraries come from dpkg-shlibdeps; our own packages are pinned to this very build.
[[ $(depends "$host") == *libc6* && $(depends "$host") == *libstdc++6* ]] ||
  fail "host library dependencies: '$(depends "$host")'"
[[ $(depends "$plugin") == *"liblumivorplugins0 (= $version)"* ]] ||
  fail "plug-in dependencies: '$(depends "$plugin")'"
[[ $(depends "$client") == *"libvexar-paraminterp-yorindimpl (= $version)"* ]] ||
  fail "client library dependencies: '$(depends "$client")'"
[[ $(depends "$tool") == *"libvexar-client0 (= $version)"* ]] ||
  fail "tool dependencies: '$(depends "$tool")'"
# The panel inside the tool links the HTTP library's shared object: its package must be named,
# or the tool installs and then fails to start.
httplib=$(readelf -d "$scratch/root/usr/bin/vexar-ctl" | sed -n 's/.*Shared library: \[\(libcpp-httplib\.so[^]]*\)\]/\1/p')
[[ -n $httplib ]] || fail "the tool does not link libcpp-httplib"
httplib_package=$(dpkg -S "*/$httplib" | cut -d: -f1 | sort -u)
[[ -n $httplib_package && $(depends "$tool") == *"$httplib_package ("* ]] ||
  fail "tool dependencies name no package for $httplib ($httplib_package): '$(depends "$tool")'"
[[ $(depends "$dev") == *"liblumivorplugins0 (= $version)"* ]] ||
  fail "development package dependencies: '$(depends "$dev")'"
# Other packages link the host library through its shlibs entry; ldconfig runs from dpkg's
# trigger, not from maintainer scripts.
dpkg-deb -I "$host" shlibs | grep "^libLumivorPlugins 0 liblumivorplugins0 (>= $version)$" >/dev/null ||
  fail "host library shlibs: $(dpkg-deb -I "$host" shlibs)"
dpkg-deb -I "$client" shlibs | grep "^libvexar-client 0 libvexar-client0 (>= $version)$" >/dev/null ||
  fail "client library shlibs: $(dpkg-deb -I "$client" shlibs)"
for deb in "$host" "$client" "$plugin"; do
  [[ $(dpkg-deb -I "$deb" triggers) == "activate-noawait ldconfig" ]] || fail "$deb: no trigger"
  ! dpkg-deb -I "$deb" postinst >/dev/null 2>&1 || fail "$deb: has a postinst"
done
# The development link belongs to the -dev package alone.
dpkg-deb -c "$dev" | grep 'libLumivorPlugins.so ->' >/dev/null || fail "no development link in -dev"
! dpkg-deb -c "$host" | grep 'libLumivorPlugins.so ->' >/dev/null || fail "development link in runtime"
dpkg-deb -c "$dev" | grep 'libvexar-client.so ->' >/dev/null || fail "no client development link in -dev"
! dpkg-deb -c "$client" | grep 'libvexar-client.so ->' >/dev/null || fail "client development link in runtime"
dpkg-deb -c "$tool" | grep 'man1/vexar-ctl.1.gz$' >/dev/null || fail "no compressed man page"

root=$scratch/root/usr
check_tree "$root"
check_tool "$root"
consume_with_pkgconfig "$root" "$scratch/consumer-pc"
cmake -S "$here/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$root" >/dev/null ||
  fail "find_package configure against the unpacked -dev package"
cmake --build "$scratch/consumer" >/dev/null || fail "find_package build"
env -u LD_LIBRARY_PATH "$scratch/consumer/consumer" || fail "consumer built with find_package"

python=$(package python3-vexar)
if [[ -n $python ]]; then
  dpkg-deb -x "$python" "$scratch/root"
  PYTHONPATH=$(dirname "$(find "$root" -type d -name vexar -path '*dist-packages*')") \
    /usr/bin/python3 -c 'import vexar' || fail "import vexar from python3-vexar"
else
  echo "no python3-vexar package built: its import is not checked"
fi

if command -v lintian >/dev/null; then
  status=0
  report=$(lintian "$scratch"/out/*.deb 2>&1) || status=$?
  findings=$(grep -E '^[EW]: ' <<<"$report" || true)
  [[ -z $findings && $status -eq 0 ]] || fail "lintian (status $status): $report"
else
  echo "lintian not installed: packages not linted"
fi
