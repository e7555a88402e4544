#!/usr/bin/env bash
# Runs scripts/install-deps.sh against stand-ins for dpkg-query, id, sudo and apt-get: a user
# without sudo is told what to install, and a held package lock is waited for, not fatal.
set -euo pipefail
script="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bin="$work/bin"
mkdir -p "$bin"
for tool in grep cat mktemp rm env; do ln -s "$(command -v "$tool")" "$bin/$tool"; done
printf '#!/bin/sh\nexit 1\n' >"$bin/dpkg-query"  # nothing installed
printf '#!/bin/sh\nexit 0\n' >"$bin/sleep"
chmod +x "$bin/dpkg-query" "$bin/sleep"
run() { PATH="$bin" CORVAMAT_SKIP_NPM=1 "$BASH" "$script" >"$work/out" 2>&1; }
fail=0

# A user without sudo: the missing packages and how to install them, no "command not found".
printf '#!/bin/sh\necho 1000\n' >"$bin/id"
chmod +x "$bin/id"
if run; then echo "no sudo: the script should fail"; fail=1; fi
grep -q "missing: g++ cmake" "$work/out" || { echo "no sudo: packages not named"; fail=1; }
grep -q "apt-get install" "$work/out" || { echo "no sudo: no install command shown"; fail=1; }
grep -q "not found" "$work/out" && { echo "no sudo: a command was not found"; fail=1; }

# Root while another package manager holds the lock for the first two attempts.
printf '#!/bin/sh\necho 0\n' >"$bin/id"
cat >"$bin/apt-get" <<STUB
#!$BASH
n=\$(cat "$work/tries" 2>/dev/null || echo 0)
echo \$((n + 1)) >"$work/tries"
[ "\$n" -ge 2 ] && exit 0
echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 42 (apt-get)" >&2
exit 100
STUB
chmod +x "$bin/apt-get"
run || { echo "held lock: the script gave up"; cat "$work/out"; fail=1; }
grep -q "Waiting" "$work/out" || { echo "held lock: no waiting message"; fail=1; }
[ "$(cat "$work/tries")" -eq 4 ] || { echo "held lock: $(cat "$work/tries") apt-get calls, expected 4"; fail=1; }

# Any other apt-get failure ends the script at once.
printf '#!/bin/sh\necho "E: Unable to locate package sdcc" >&2\nexit 100\n' >"$bin/apt-get"
if run; then echo "broken apt-get: the script should fail"; fail=1; fi
grep -q "Waiting" "$work/out" && { echo "broken apt-get: waited for no lock"; fail=1; }
exit $fail
