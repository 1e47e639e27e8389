#!/usr/bin/env bash
# completion.sh CTL COMPLETION: the bash completion offers the commands the tool's help lists,
# the formats its --format takes, and each command's own options.
set -euo pipefail
ctl=$1
source "$2"
failed=0
offers() {
  COMP_WORDS=("$ctl" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _vexar_ctl 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {
  local what=$1 want=$2 got=$3
  if [[ $got != "$want" ]]; then
    echo "$what: completion offers '$got', the tool has '$want'"
    failed=1
  fi
}
help=$("$ctl" --help)
commands=$(sed -n '/^Subcommands:/,$p' <<<"$help" | awk 'NR > 1 && NF { print $1 }' | sort | tr '\n' ' ')
expect commands "$commands" "$(offers "")"
formats=$(sed -n 's/.*--format FORMAT:{\([a-z,]*\)}.*/\1/p' <<<"$help" | tr ',' '\n' | sort | tr '\n' ' ')
expect formats "$formats" "$(offers --format "")"
for command in serve regs state; do
  own=$("$ctl" "$command" --help | awk '$1 ~ /^--/ { print $1 }' | sort | tr '\n' ' ')
  for option in $own; do
    [[ " $(offers "$command" --) " == *" $option "* ]] || expect "$command options" "$own" "$(offers "$command" --)"
  done
done
exit $failed
