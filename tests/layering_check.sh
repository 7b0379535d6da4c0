#!/usr/bin/env bash
# The arrows between the rooms of the source tree point down only: a file may include its own
# room and the rooms below it, never one above or beside it. Lists every include that breaks
# this and fails when there is one.
#
#   tests/layering_check.sh [SOURCE_ROOT]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# The rooms each room may include (besides itself).
declare -A allowed=(
  [platform]=""
  [records]="platform"
  [run]="platform records"
  [convert]="platform records run"
  [library]="platform records run"
  [upgrade]="platform records run convert library"
  [tools]="platform records run library"
  [shell]="platform records run convert upgrade"
  [cli]="platform records run convert library upgrade tools"
)

bad=0
for room in "${!allowed[@]}"; do
  [[ -d $room ]] || continue
  while IFS=: read -r file line text; do
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$text")
    [[ $target == "$room" ]] && continue
    [[ " ${allowed[$room]} " == *" $target "* ]] && continue
    [[ -n ${allowed[$target]+x} ]] || continue  # not one of the rooms (a library's own header)
    echo "$file:$line: $room must not include $target: $text"
    bad=1
  done < <(grep -rn --include='*.h' --include='*.cpp' -E '^#include "[^"]+/' "$room" || true)
done
# Only the platform layer talks to the operating system.
while IFS= read -r hit; do
  echo "$hit: only platform/ includes operating-system headers"
  bad=1
done < <(grep -rn --include='*.h' --include='*.cpp' -E '^#include <(windows\.h|unistd\.h|fcntl\.h|sys/[a-z]+\.h)>' \
           records run convert library upgrade tools cli 2>/dev/null || true)
exit $bad
