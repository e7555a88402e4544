#!/usr/bin/env bash
# A command interpreter whose receive interrupt fills a ring buffer, fed 127 bytes of commands
# back to back with --serial-in: the runner delivers them a frame apart, so it answers all 16
# commands and counts no overrun.
# Usage: ringcmd_test.sh CORVAMAT_RUN WORKDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
runner=$1
work=${2:-$(mktemp -d)}
mkdir -p "$work"
(cd "$work" && sdcc -mmcs51 -o ringcmd.ihx "$here/ringcmd.c" >/dev/null)
out=$("$runner" -q --cpu 8052 --serial-in "$here/ringcmd.input" --max-cycles 5000000 "$work/ringcmd.ihx") || true
expected="a=5
b=25
c=45
d=65
e=85
f=105
g=125
h=145
i=65
j=85
k=105
l=125
m=145
n=165
o=185
answered 16, overruns 0"
if [ "$out" = "$expected" ]; then
  echo "1 passed, 0 failed"
else
  echo "the interpreter answered:"
  echo "$out"
  echo "0 passed, 1 failed"
  exit 1
fi
