#!/usr/bin/env bash
# Assembles every example with sdas8051 and links it to Intel HEX with sdld (Debian package sdcc).
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
