#!/usr/bin/env bash
# Installs what is missing from Debian's and npm's packages, builds Corvamat and runs every test:
# the optimised build, then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer;
# and packages the VS Code extension.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# CMake's default generator (Makefiles) must build too: its custom commands run inside their
# working folders, which must exist before them. Checked cheaply on the SDCC test programs.
cmake -S . -B build-make -G "Unix Makefiles" -DCORVAMAT_BUILD_UI=OFF -DCORVAMAT_BUILD_BENCH=OFF >/dev/null
cmake --build build-make --target symbols_test_programs dap_test_program
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --parallel 2
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --parallel 2
(cd editors/vscode && npm run package)
bash scripts/sanitize.sh asan
