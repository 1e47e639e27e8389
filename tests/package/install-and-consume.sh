#!/usr/bin/env bash
# install-and-consume.sh BUILD [CMAKE]: installs BUILD into a scratch prefix, checks the tree,
# then builds the consumer host against it through the CMake package and through pkg-config and
# runs both.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
build=$(cd "$1" && pwd)
cmake=${2:-cmake}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
[[ -f $prefix/include/vexar_param_interp.h ]] || fail "public header not installed"
check_tree "$prefix"
check_tool "$prefix"

"$cmake" -S "$here/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null ||
  fail "find_package configure"
"$cmake" --build "$scratch/consumer" >/dev/null || fail "find_package build"
clean "$scratch/consumer/consumer" || fail "consumer built with find_package"

consume_with_pkgconfig "$prefix" "$scratch/consumer-pc"
