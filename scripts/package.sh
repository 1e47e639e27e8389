#!/usr/bin/env bash
# package.sh [--werror]: sets up, builds for an install under /usr and packs the result as
# Debian packages, one per role, into out/. The build is the one Debian's own packages make:
# dpkg-buildflags' flags alone (build type None: -O2, debug information that packing strips),
# with every hardening feature on. Warnings are not errors here, so that a newer compiler's
# false positive cannot stop a user from making the packages; --werror makes them errors again,
# which is how CI runs this same build (scripts/test.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
werror=OFF
case ${1:-} in
  --werror) werror=ON ;;
  "") ;;
  *) echo "usage: $0 [--werror]" >&2; exit 2 ;;
esac
"$root/scripts/setup.sh"

# Asked from the tree, so that the file-prefix map it gives makes the paths that debug
# information and messages carry relative to it. CMake reads no CPPFLAGS: the preprocessor's
# flags (_FORTIFY_SOURCE among them) go in with the compiler's.
flags() { (cd "$root" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"); }
cppflags=$(flags CPPFLAGS)
ldflags=$(flags LDFLAGS)
cmake -S "$root" -B "$root/build-package" -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_C_FLAGS="$(flags CFLAGS) $cppflags" -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $cppflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" -DVEXAR_WERROR="$werror" \
  -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF -DVEXAR_BENCH=OFF >/dev/null
cmake --build "$root/build-package" -j"${VEXAR_JOBS:-$(nproc)}"
rm -f "$root"/out/*.deb
"$root/scripts/debian-packages.sh" "$root/build-package" "$root/out"
ls "$root"/out/*.deb
