#!/usr/bin/env bash
# The guide (docs/guia.md) and the manual page (docs/livrana-convert.1) describe every command
# and every option that the program's help lists: the general help's commands and options and
# those of each command's help. Lists what one of them leaves out ("guia.md: upgrade:--backup")
# and fails when something is left out.
#
#   tests/docs_check.sh PROGRAM [SOURCE_ROOT]
set -euo pipefail
program=${1:?usage: docs_check.sh PROGRAM [SOURCE_ROOT]}
root=${2:-$(cd "$(dirname "$0")/.." && pwd)}
guide=$root/docs/guia.md
man=$root/docs/livrana-convert.1

# The options a help text names: long ones (--dry-run) and short ones (-q).
options() {
  grep -oE -- '(^|[ [|,])--?[a-z][a-z-]*' | sed -E 's/^[ [|,]//' | sort -u
}

# The manual page writes a minus as \-, a command as the first word of a .B or .BI line.
man_has_command() { grep -qE "^\.BI? \"?$1( |\"|\$)" "$man"; }
man_has_option() { grep -qF -- "${1//-/\\-}" "$man"; }
# The guide names a command as `livrana-convert COMMAND` (or in a command line in a block).
guide_has_command() { grep -qE "livrana-convert(\.exe)? $1( |\`|\$)" "$guide"; }
guide_has_option() { grep -qE -- "(^|[^a-z-])$1([^a-z-]|\$)" "$guide"; }

missing=()
help=$("$program" --help)
commands=$(sed -n '/^Comandos:/,/^$/p' <<<"$help" | awk 'NF > 1 { print $1 }')
[[ -n $commands ]] || { echo "no commands in the help of $program" >&2; exit 1; }
for option in $(options <<<"$help"); do
  man_has_option "$option" || missing+=("livrana-convert.1: $option")
  guide_has_option "$option" || missing+=("guia.md: $option")
done
for command in $commands; do
  man_has_command "$command" || missing+=("livrana-convert.1: $command")
  guide_has_command "$command" || missing+=("guia.md: $command")
  for option in $("$program" "$command" --help | options); do
    man_has_option "$option" || missing+=("livrana-convert.1: $command:$option")
    guide_has_option "$option" || missing+=("guia.md: $command:$option")
  done
done

if [[ ${#missing[@]} -gt 0 ]]; then
  printf 'not described: %s\n' "${missing[@]}"
  exit 1
fi
echo "the guide and the manual page describe every command and option of the help"
