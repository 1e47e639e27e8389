# Checks shared by the install test and the package test; sourced, not run.

# clean COMMAND...: runs COMMAND in an empty environment but for the system's PATH, so that
# nothing reaches it through an inherited LD_LIBRARY_PATH, PYTHONPATH, PKG_CONFIG_PATH or
# CMAKE_PREFIX_PATH; VAR=VALUE words before COMMAND are all it gets.
clean() {
  env -i PATH=/usr/bin:/bin "$@"
}

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# check_tree ROOT: every RUNPATH entry of the binaries under ROOT is relative to the binary (so
# nothing reaches back into a build folder, nor into the current directory through an empty
# entry), and the host library carries its versioned SONAME.
check_tree() {
  local root=$1 file dynamic entry entries
  local tool=$root/bin/vexar-ctl
  [[ -x $tool ]] || fail "no $tool"
  while IFS= read -r file; do
    # Scripts (vexar-station) have no dynamic section to check.
    [[ $(head -c 4 "$file") == $'\x7fELF' ]] || continue
    dynamic=$(readelf -d "$file")
    [[ $dynamic != *'(RPATH)'* ]] || fail "$file has an RPATH"
    entries=()
    IFS=: read -ra entries < <(sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1:/p' <<<"$dynamic") || true
    for entry in "${entries[@]}"; do
      [[ $entry == '$ORIGIN'* ]] || fail "$file: RUNPATH entry '$entry'"
    done
  done < <(find "$root" -type f \( -path '*/bin/*' -o -name '*.so*' \))
  readelf -d "$tool" | grep -q 'RUNPATH.*\$ORIGIN' || fail "vexar-ctl has no \$ORIGIN RUNPATH"
  readelf -d "$(find "$root" -type f -name 'libLumivorPlugins.so.*')" |
    grep -q 'SONAME.*\[libLumivorPlugins\.so\.[0-9]*\]' || fail "host library without SONAME"
}

# check_tool ROOT: the installed tool runs and loads the plug-in installed beside it.
check_tool() {
  local root=$1 out
  out=$(clean "$root/bin/vexar-ctl" info) || fail "vexar-ctl info: $out"
  grep -Eq "^plug-in +$root/.*/libVEXAR_ParamInterp_YORINDImpl\.so$" <<<"$out" ||
    fail "vexar-ctl did not load the plug-in under $root: $out"
  # The panel's page is built into the program: the installed tool alone serves it.
  local url served=0
  coproc serving { exec env -i PATH=/usr/bin:/bin "$root/bin/vexar-ctl" serve 2>&1; }
  if read -r -t 20 url <&"${serving[0]}"; then
    /usr/bin/python3 - "$url" <<'EOF' || served=$?
import sys, urllib.request
page = urllib.request.urlopen(sys.argv[1], timeout=10)
assert b'src="/js/main.js"' in page.read(), "no script in the page"
script = urllib.request.Request(sys.argv[1].split("?")[0] + "js/main.js",
                                headers={"Cookie": page.headers["Set-Cookie"].split(";")[0]})
assert urllib.request.urlopen(script, timeout=10).read()
EOF
  else
    served=1
  fi
  kill -TERM "$serving_PID"
  wait "$serving_PID" || fail "vexar-ctl serve did not stop with status 0 on SIGTERM"
  [[ $served == 0 ]] || fail "the installed panel did not serve its page (URL: '$url')"
}

# consume_with_pkgconfig ROOT OUT: builds the consumer from the pkg-config file under ROOT only,
# then runs it.
consume_with_pkgconfig() {
  local root=$1 out=$2 pcdir
  pcdir=$(dirname "$(find "$root" -name vexar_param_interp.pc)")
  [[ -d $pcdir ]] || fail "no pkg-config file under $root"
  pc() { PKG_CONFIG_LIBDIR=$pcdir PKG_CONFIG_PATH= pkg-config "$@" vexar_param_interp; }
  # shellcheck disable=SC2046
  cc -std=c99 -Wall -Wextra -pedantic -Werror $(pc --cflags) -fsyntax-only -x c - \
    <<<'#include <vexar_param_interp.h>' || fail "the header alone is not clean C99"
  # shellcheck disable=SC2046
  cc -std=c99 -Wall -Wextra -pedantic -Werror $(pc --cflags) \
    -DVEXAR_PLUGIN_PATH="\"$(pc --variable=plugin)\"" -DEXPECTED_VERSION="\"$(pc --modversion)\"" \
    "$(dirname "${BASH_SOURCE[0]}")/../boundary/CHost.c" -o "$out" -ldl || fail "pkg-config build"
  clean "$out" || fail "consumer built with pkg-config"
}
