#!/usr/bin/env bash
# Installs what is missing from Debian's packages, builds Corvamat and starts it.
#   bash scripts/run.sh            the digits board demo: its board and program loaded, its
#                                  windows laid out; press F9 to run it
#   bash scripts/run.sh PROGRAM    PROGRAM instead (a .hex, .ihx or .bin file)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --parallel 2 --target corvamat corvamat-run
if [ $# -eq 0 ]; then
  exec ./build/corvamat --board examples/boards/digits.board examples/boards/digits.hex
fi
exec ./build/corvamat "$@"
