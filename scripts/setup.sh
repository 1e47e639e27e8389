#!/usr/bin/env bash
# setup.sh [base]: installs the Debian packages the project needs; a quick no-op when present.
# "base" installs only what building the plug-in and the host tool takes (what the demo needs);
# without it, everything the tests, benchmarks, sanitizers, fuzzing and packaging take as well.
set -euo pipefail

base=(cmake make g++ pkg-config libcli11-dev nlohmann-json3-dev libboost1.74-dev pybind11-dev
      python3-dev)
tests=(clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev libbenchmark-dev valgrind
       binutils dpkg-dev umockdev libumockdev-dev i2c-tools groff-base clang-format lintian
       chromium chromium-driver python3-selenium python3-pytest python3-mypy python3-jsonschema
       python3-psycopg postgresql-15 postgresql-common)
case ${1:-} in
  base) packages=("${base[@]}") ;;
  "") packages=("${base[@]}" "${tests[@]}") ;;
  *) echo "usage: $0 [base]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
