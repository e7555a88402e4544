#!/usr/bin/env bash
# Builds every example into Intel HEX with Debian's sdcc package: the .a51 sources with sdas8051
# and sdld, the .c sources (here and in boards/) with sdcc, using the flags on the source's
# "build:" line. Each .hex is written beside its source.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for src in *.a51; do
  name=${src%.a51}
  cp "$src" "$tmp/$name.asm"
  sdas8051 -plosgff "$tmp/$name.rel" "$tmp/$name.asm"
  sdld -i "$tmp/$name.ihx" "$tmp/$name.rel" >/dev/null
  cp "$tmp/$name.ihx" "$name.hex"
done
for src in *.c boards/*.c; do
  name=${src%.c}
  base=$(basename "$name")
  flags=$(sed -n 's/^ *build:\(.*\)\*\/ *$/\1/p; s/^ *build:\(.*\)$/\1/p' "$src" | head -1)
  # shellcheck disable=SC2086
  (cd "$tmp" && sdcc -mmcs51 $flags -o "$base.ihx" "$OLDPWD/$src")
  cp "$tmp/$base.ihx" "$name.hex"
done
