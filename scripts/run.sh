#!/usr/bin/env bash
# Installs what is missing from Debian's packages, builds Corvamat and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --parallel 2 --target corvamat corvamat-run
exec ./build/corvamat
