#!/usr/bin/env bash
# Runs the benchmark program in corvamat-run and in s51 (sdcc-ucsim) on the same HEX file and
# prints both simulation rates in machine cycles per host second, and their ratio.
# Each simulator runs RUNS times (default 3) and its best rate counts, since a shared or virtual
# machine slows single runs down at random.
# Usage: bench/compare.sh [CORVAMAT_RUN] [HEX] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
runner=${1:-$here/../build/tools/corvamat-run/corvamat-run}
hex=${2:-$here/bench.hex}
runs=${3:-3}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

best() { sort -n | tail -1; }

ours_rate=$(for _ in $(seq "$runs"); do
  "$runner" --cpu 8052 --serial-out "$tmp/ours.txt" --dump "$tmp/dump.json" --stats "$hex" 2>"$tmp/stats"
  sed -n 's/^cycles per second: //p' "$tmp/stats"
done | best)
ours_cycles=$(sed -n 's/^machine cycles: //p' "$tmp/stats")
# The program ends in a jump to itself; s51 is stopped there by a breakpoint.
halt=$(sed -n 's/^  "pc": \([0-9]*\),$/\1/p' "$tmp/dump.json")

s51_once() {
  local ticks="" host="" line
  coproc S51 { s51 -t 52 -S out="$tmp/s51.txt" "$hex" 2>&1; }
  printf 'break 0x%X\nrun\n' "$halt" >&"${S51[1]}"
  while IFS= read -r -t 600 line <&"${S51[0]}"; do
    case $line in
      *"Simulated "*" ticks"*) ticks=$(sed 's/.*Simulated \([0-9]*\) ticks.*/\1/' <<<"$line") ;;
      *"Host usage: "*)
        host=$(sed 's/.*Host usage: \([0-9.e+-]*\) sec.*/\1/' <<<"$line")
        break ;;
    esac
  done
  echo quit >&"${S51[1]}" 2>/dev/null || true
  wait "$S51_PID" 2>/dev/null || true
  # s51 counts oscillator periods: 12 to a machine cycle.
  awk -v t="$ticks" -v h="$host" 'BEGIN { printf "%.0f\n", t / 12 / h }'
}
s51_rate=$(for _ in $(seq "$runs"); do s51_once; done | best)

same=$(cmp -s "$tmp/ours.txt" "$tmp/s51.txt" && echo "identical" || echo "DIFFERENT")
echo "program:            $hex ($ours_cycles machine cycles, serial output $same)"
echo "corvamat-run:       $ours_rate machine cycles per host second"
echo "s51:                $s51_rate machine cycles per host second"
awk -v a="$ours_rate" -v b="$s51_rate" 'BEGIN { printf "ratio:              %.1f\n", a / b }'
