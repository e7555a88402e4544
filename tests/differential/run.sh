#!/usr/bin/env bash
# Differential tests: each program runs in corvamat-run and in s51 (sdcc-ucsim); their serial
# outputs must agree. A case with an input file gets it on the serial receiver of both. Where s51 is known to be wrong, NAME.CPU.expected holds the output that the
# published instruction set gives, and corvamat-run is compared with that instead.
# Usage: run.sh CORVAMAT_RUN [WORKDIR]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
runner=$1
work=${2:-$(mktemp -d)}
mkdir -p "$work"
passed=0
failed=0

# name  source  cpus  serial input  extra compiler flags
cases=(
  "arith     arith.asm  8051,8052 -          -"
  "banks     banks.asm  8052      -          -"
  "cmix      cmix.c     8051,8052 -          -"
  "pages     pages.asm  8051,8052 -          -"
  "timers    timers.c   8052      -          -"
  "xlarge    xpaged.c   8051,8052 -          --model-large --xram-loc 0x0100"
  "xmedium   xpaged.c   8052      -          --model-medium --xram-loc 0x0100"
  "xsmall    xpaged.c   8052      -          --xram-loc 0x0100"
  "echo      echo.c     8051,8052 echo.input -"
  "echolarge echo.c     8052      echo.input --model-large --xram-loc 0x0100"
)

build() {  # name source flags -> $work/name.ihx, echoes the halt address
  local name=$1 src=$2 flags=$3 dir=$work/$1
  mkdir -p "$dir"
  case $src in
    *.asm)
      cp "$here/$src" "$dir/$name.asm"
      sdas8051 -plosgff "$dir/$name.rel" "$dir/$name.asm" >/dev/null || return 1
      sdld -m -i "$dir/$name.ihx" "$dir/$name.rel" >/dev/null || return 1
      ;;
    *.c)
      [ "$flags" = "-" ] && flags=""
      (cd "$dir" && sdcc -mmcs51 $flags -I"$here" -o "$name.ihx" "$here/$src" >/dev/null 2>&1) || return 1
      ;;
  esac
  grep -oE '[0-9A-F]{8} +_?halt( |$)' "$dir/$name.map" | head -1 | cut -c1-8
}

run_s51() {  # ihx cpu halt out [in]
  local ihx=$1 cpu=$2 halt=$3 out=$4 in=${5:-}
  local type=51 serial="out=$out"
  [ "$cpu" = 8052 ] && type=52
  [ -n "$in" ] && serial="in=$in,$serial"
  coproc S51 { s51 -t "$type" -S "$serial" "$ihx" 2>&1; }
  echo "break 0x$halt" >&"${S51[1]}"
  echo "run" >&"${S51[1]}"
  local line ok=1
  while IFS= read -r -t 120 line <&"${S51[0]}"; do
    case $line in *"Stop at"*) ok=0; break ;; esac
  done
  echo "quit" >&"${S51[1]}" 2>/dev/null
  wait "$S51_PID" 2>/dev/null
  return $ok
}

for c in "${cases[@]}"; do
  read -r name src cpus input flags <<<"$c"
  inarg=()
  [ "$input" = "-" ] && input="" || { input=$here/$input; inarg=(--serial-in "$input"); }
  halt=$(build "$name" "$src" "$flags")
  if [ -z "$halt" ]; then
    echo "FAIL $name: could not build"
    failed=$((failed + 1))
    continue
  fi
  for cpu in ${cpus//,/ }; do
    dir=$work/$name
    ours=$dir/ours.$cpu.txt
    ref=$dir/s51.$cpu.txt
    "$runner" -q --cpu "$cpu" "${inarg[@]}" --serial-out "$ours" --max-cycles 200000000 "$dir/$name.ihx" >/dev/null
    rc=$?
    if [ -f "$here/$name.$cpu.expected" ]; then
      ref=$here/$name.$cpu.expected
    elif ! run_s51 "$dir/$name.ihx" "$cpu" "$halt" "$ref" "$input"; then
      echo "FAIL $name ($cpu): s51 did not reach the halt address $halt"
      failed=$((failed + 1))
      continue
    fi
    if [ $rc -eq 0 ] && cmp -s "$ours" "$ref"; then
      echo "ok   $name ($cpu): $(wc -c <"$ours") bytes agree"
      passed=$((passed + 1))
    else
      echo "FAIL $name ($cpu): exit $rc, outputs differ:"
      diff <(od -An -c "$ours") <(od -An -c "$ref") | head -10
      failed=$((failed + 1))
    fi
  done
done
echo "differential: $passed passed, $failed failed"
[ $failed -eq 0 ]
