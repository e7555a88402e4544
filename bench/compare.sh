#!/usr/bin/env bash
# Runs a program in corvamat-run and in s51 (sdcc-ucsim) on the same HEX file and prints both
# simulation rates in machine cycles per CPU second of the whole process (user + system time),
# and their ratio. The two simulators run alternately, RUNS times each (default 5), and the
# median rate of each counts: CPU time is far steadier than wall-clock time on a shared machine,
# and alternating spreads any slow spell over both.
# With RECORD=1 corvamat-run is also measured with the execution recorder on (--coverage and
# --profile), with SIGNALS=1 with the 32 port pins recorded (--vcd), alternating with the others,
# and the rate with each is given as a share of the rate without.
# Usage: [RECORD=1] [SIGNALS=1] bench/compare.sh [CORVAMAT_RUN] [HEX] [RUNS]
# CORVAMAT_RUN defaults to the optimised build in build-rel (link-time optimisation on), else build.
# RUNNER_ARGS adds options to corvamat-run's command, e.g. RUNNER_ARGS="--vcd /dev/null" to measure
# the recording of the 32 port pins.
# Without HEX (or with "all") it compares both benchmark programs in turn: bench.hex (sieve, CRC-16,
# insertion sort) and arith.hex (32-bit library arithmetic, a string hash, bubble sort).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
default=$here/../build-rel/tools/corvamat-run/corvamat-run
[ -x "$default" ] || default=$here/../build/tools/corvamat-run/corvamat-run
runner=${1:-$default}
hexes=${2:-all}
[ "$hexes" = all ] && hexes="$here/bench.hex $here/arith.hex"
runs=${3:-5}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
cpu_seconds() { awk '{ printf "%.3f\n", $1 + $2 }' "$1"; }

ours_once() {  # [rates file name] [extra options]
  local rates=${1:-ours}
  shift || true
  # The shell's own timer reports milliseconds (/usr/bin/time only hundredths).
  local TIMEFORMAT='%3U %3S'
  # shellcheck disable=SC2086
  { time "$runner" ${RUNNER_ARGS-} --cpu 8052 --serial-out "$tmp/ours.txt" --dump "$tmp/dump.json" --stats "$@" "$hex" \
      2>"$tmp/stats"; } 2>"$tmp/ours.time"
  local cycles cpu
  cycles=$(sed -n 's/^machine cycles: //p' "$tmp/stats")
  cpu=$(cpu_seconds "$tmp/ours.time")
  awk -v c="$cycles" -v s="$cpu" 'BEGIN { printf "%.0f\n", c / (s > 0 ? s : 0.001) }' >>"$tmp/$rates.rates"
}

# The measured additions: name and options.
additions=()
[ "${RECORD:-0}" = 1 ] && additions+=(recording)
[ "${SIGNALS:-0}" = 1 ] && additions+=(signals)
addition_once() {
  case $1 in
    recording) ours_once recording --coverage "$tmp/cov.info" --profile "$tmp/prof.out" ;;
    signals) ours_once signals --vcd "$tmp/pins.vcd" ;;
  esac
}
additions_once() { local a; for a in ${additions[@]+"${additions[@]}"}; do addition_once "$a"; done; }

s51_once() {
  local ticks="" line
  coproc S51 { /usr/bin/time -f '%U %S' -o "$tmp/s51.time" s51 -t 52 -S out="$tmp/s51.txt" "$hex" 2>&1; }
  printf 'break 0x%X\nrun\n' "$halt" >&"${S51[1]}"
  while IFS= read -r -t 600 line <&"${S51[0]}"; do
    case $line in
      *"Simulated "*" ticks"*) ticks=$(sed 's/.*Simulated \([0-9]*\) ticks.*/\1/' <<<"$line") ;;
      *"Host usage: "*) break ;;
    esac
  done
  echo quit >&"${S51[1]}" 2>/dev/null || true
  wait "$S51_PID" 2>/dev/null || true
  # s51 counts oscillator periods: 12 to a machine cycle.
  awk -v t="$ticks" -v s="$(cpu_seconds "$tmp/s51.time")" \
    'BEGIN { printf "%.0f\n", t / 12 / (s > 0 ? s : 0.001) }' >>"$tmp/s51.rates"
}

compare() {
  local hex=$1
  rm -f "$tmp"/*.rates
  # The first run of corvamat-run also finds where the program ends: in a jump to itself, where
  # s51 is stopped by a breakpoint.
  ours_once
  ours_cycles=$(sed -n 's/^machine cycles: //p' "$tmp/stats")
  halt=$(sed -n 's/^  "pc": \([0-9]*\),$/\1/p' "$tmp/dump.json")
  s51_once
  additions_once
  for _ in $(seq 2 "$runs"); do
    ours_once
    s51_once
    additions_once
  done
  ours_rate=$(median <"$tmp/ours.rates")
  s51_rate=$(median <"$tmp/s51.rates")

  same=$(cmp -s "$tmp/ours.txt" "$tmp/s51.txt" && echo "identical" || echo "DIFFERENT")
  echo "program:            $hex ($ours_cycles machine cycles, serial output $same)"
  echo "corvamat-run:       $ours_rate machine cycles per CPU second (median of $runs: $(sort -g "$tmp/ours.rates" | tr '\n' ' '))"
  echo "s51:                $s51_rate machine cycles per CPU second (median of $runs: $(sort -g "$tmp/s51.rates" | tr '\n' ' '))"
  awk -v a="$ours_rate" -v b="$s51_rate" 'BEGIN { printf "ratio:              %.1f\n", a / b }'
  local a rate
  for a in ${additions[@]+"${additions[@]}"}; do
    rate=$(median <"$tmp/$a.rates")
    printf '%-20s%s machine cycles per CPU second (median of %s: %s)\n' "$a:" "$rate" "$runs" \
      "$(sort -g "$tmp/$a.rates" | tr '\n' ' ')"
    awk -v n="$a share:" -v a="$rate" -v b="$ours_rate" 'BEGIN { printf "%-20s%.0f%% of the rate without\n", n, 100 * a / b }'
  done
}

for hex in $hexes; do compare "$hex"; done
