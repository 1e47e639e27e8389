#!/usr/bin/env bash
# debian-package.sh OUT VERSION: checks the Debian packages that scripts/package.sh made in OUT.
# Their control fields and the dependencies between them; that apt could install them on this
# system; lintian, information included, since the hardening tags are only that. Then, unpacked
# into a scratch root and run in an empty environment, what a user runs: the tool, the Python
# package with Debian's interpreter, examples/ and the C consumer host built as projects of
# their own through the CMake package and through pkg-config.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
source_tree=$(cd "$here/../.." && pwd)
out=$(cd "$1" && pwd)
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

package() { find "$out" -maxdepth 1 -name "$1_${version}_*.deb"; }
host=$(package liblumivorplugins0)
client=$(package libvexar-client0)
plugin=$(package libvexar-paraminterp-yorindimpl)
dev=$(package libvexar-paraminterp-dev)
tool=$(package vexar-ctl)
python=$(package python3-vexar)
debs=("$host" "$client" "$plugin" "$dev" "$tool" "$python")
made=$(ls "$out")
[[ $(find "$out" -maxdepth 1 -name '*.deb' | wc -l) == "${#debs[@]}" ]] ||
  fail "not the ${#debs[@]} packages; made: $made"
for deb in "${debs[@]}"; do
  [[ -f $deb ]] || fail "missing package; made: $made"
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
# The panel's HTTP server is header-only: the tool links no server library. Every shared object
# it does link is in these packages or in a Debian package its dependencies name, or the tool
# installs and then fails to start.
needed=$(readelf -d "$scratch/root/usr/bin/vexar-ctl" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
[[ $needed == *libvexar-client.so* ]] || fail "the tool does not link the client library: $needed"
! grep -Ei 'boost|httplib' <<<"$needed" || fail "the tool links a server library: $needed"
for library in $needed; do
  [[ -z $(find "$scratch/root" -name "$library") ]] || continue
  owners=$(dpkg -S "*/$library" 2>/dev/null | cut -d: -f1 | sort -u || true)
  named=false
  for owner in $owners; do
    [[ $(depends "$tool") == *"$owner ("* ]] && named=true
  done
  $named || fail "tool dependencies name no package for $library ($owners): '$(depends "$tool")'"
done
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

# Everything the packages need is in them or in Debian: apt would install them all together,
# removing nothing.
apt-get install --simulate "${debs[@]}" >"$scratch/apt.log" 2>&1 ||
  fail "apt-get cannot install the packages: $(cat "$scratch/apt.log")"
! grep '^Remv ' "$scratch/apt.log" || fail "installing the packages removes others"

# No error, no warning, and none of the hardening tags (information only) that tell of a build
# without Debian's flags; what the packages override is in their lintian-overrides.
status=0
report=$(lintian --display-info --fail-on warning "${debs[@]}" 2>&1) || status=$?
findings=$(grep -E '^([EW]: |I: .*hardening)' <<<"$report" || true)
[[ -z $findings && $status -eq 0 ]] || fail "lintian (status $status): $report"
echo "lintian: no error, warning or hardening tag in ${#debs[@]} packages" \
  "($(grep -c '^I: ' <<<"$report" || true) other information tags)"

root=$scratch/root/usr
# Nothing unpacked reaches back into the tree the packages were built in.
! grep -rlF "$source_tree" "$scratch/root" || fail "the files above name $source_tree"
check_tree "$root"
check_tool "$root"
consume_with_pkgconfig "$root" "$scratch/consumer-pc"
clean cmake -S "$here/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$root" >/dev/null ||
  fail "find_package configure against the unpacked -dev package"
clean cmake --build "$scratch/consumer" >/dev/null || fail "find_package build"
clean "$scratch/consumer/consumer" || fail "consumer built with find_package"

# Under /usr Debian's interpreter finds the package by itself; unpacked elsewhere it is told the
# folder, and the extension finds the client library and the plug-in beside it.
clean PYTHONPATH="$root/lib/python3/dist-packages" /usr/bin/python3 - "$root" <<'EOF' ||
import sys, vexar
root = sys.argv[1]
camera = vexar.open("sim")
assert vexar.__file__.startswith(root), vexar.__file__
assert camera.plugin_path.startswith(root), camera.plugin_path
print("python3-vexar:", camera.get("FrameRate"), "frames/s, plug-in", camera.plugin_path)
EOF
  fail "import vexar from python3-vexar"
# The station comes with the package, its man page beside it; PostgreSQL's driver is only
# recommended, since SQLite needs nothing.
[[ $(dpkg-deb -f "$python" Recommends) == *python3-psycopg* ]] ||
  fail "python3-vexar does not recommend python3-psycopg"
[[ -f $root/share/man/man1/vexar-station.1.gz ]] || fail "no vexar-station man page"
recipe=$source_tree/python/examples/station.toml
station=$(clean PYTHONPATH="$root/lib/python3/dist-packages" XDG_DATA_HOME="$scratch/station" \
  "$root/bin/vexar-station" run --recipe "$recipe" --serial SN0001 2>&1) ||
  fail "vexar-station from python3-vexar: $station"
[[ $station == *"SN0001 PASS"* && -f $scratch/station/vexar/results.sqlite ]] ||
  fail "vexar-station from python3-vexar recorded nothing: $station"
echo "vexar-station from python3-vexar: SN0001 PASS, recorded"

# examples/ as an integrator starts from it: no C++ standard of its own, the library from the
# unpacked -dev package; here with warnings as errors. Its test checks the program's output.
examples() {
  local how=$1 build=$scratch/examples-$1
  shift
  { clean "$@" -S "$source_tree/examples" -B "$build" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON &&
    clean cmake --build "$build" && clean ctest --test-dir "$build" --output-on-failure; } \
    >"$build.log" 2>&1 || fail "examples/ through $how: $(cat "$build.log")"
  echo "examples/ through $how: $(grep -o '[0-9]*% tests passed.*' "$build.log")"
}
examples find_package cmake -DCMAKE_PREFIX_PATH="$root"
examples pkg-config PKG_CONFIG_PATH="$(dirname "$(find "$root" -name vexar_client.pc)")" cmake \
  -DVEXAR_EXAMPLES_PKG_CONFIG=ON -DPKG_CONFIG_ARGN=--define-prefix
