#!/usr/bin/env bash
# Checks the layers of src/: a folder includes headers only from itself and the folders below it.
# devices < core < settings < symbols < program < widgets < (ui | peripherals) < app; ui and peripherals
# never include each other, and the Qt-free folders include no Qt header.
set -euo pipefail
src="$1"
declare -A rank=([devices]=0 [core]=1 [settings]=2 [symbols]=3 [program]=4 [widgets]=5 [ui]=6 [peripherals]=6 [app]=7)
declare -A home
for f in "$src"/*/*.h; do home[$(basename "$f")]=$(basename "$(dirname "$f")"); done
fail=0
for f in "$src"/*/*.h "$src"/*/*.cpp; do
  dir=$(basename "$(dirname "$f")")
  [ -n "${rank[$dir]+x}" ] || continue
  while read -r header; do
    target=${home[$header]:-}
    [ -z "$target" ] || [ "$target" = "$dir" ] && continue
    if [ "${rank[$target]}" -ge "${rank[$dir]}" ]; then
      echo "$f includes $header from $target/, which is not below $dir/"
      fail=1
    fi
  done < <(sed -n 's/^#include "\(.*\)".*/\1/p' "$f")
  if [ "${rank[$dir]}" -le 4 ] && grep -q '^#include <Q' "$f"; then
    echo "$f includes a Qt header, but $dir/ is Qt-free"
    fail=1
  fi
done
[ "$fail" -eq 0 ] && echo "layers: every include points downwards"
exit "$fail"
