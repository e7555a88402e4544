#!/usr/bin/env bash
# End-to-end tests of corvamat-run: outputs, dumps, stop reasons, exit codes and messages.
# Usage: runner_test.sh CORVAMAT_RUN EXAMPLES_DIR
set -u
run=$1
examples=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0

check() {  # description, command status (0 = as expected)
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi
}
field() { sed -n "s/^  \"$2\": \"\{0,1\}\([^\",]*\)\"\{0,1\},\{0,1\}$/\1/p" "$1"; }

# The serial "Hello" example halts in a jump to itself.
out=$("$run" "$examples/hello.hex" --dump "$tmp/d.json" | od -An -c | tr -s ' ')
check "hello prints Hello CR LF" "$([ "$out" = " H e l l o \r \n" ] && echo 0 || echo 1)"
check "hello stops idle" "$([ "$(field "$tmp/d.json" stop)" = idle ] && echo 0 || echo 1)"
check "iram has 768 digits" "$([ "$(field "$tmp/d.json" iram | tr -d '\n' | wc -c)" -eq 768 ] && echo 0 || echo 1)"
check "xram has 131072 digits" "$([ "$(field "$tmp/d.json" xram | tr -d '\n' | wc -c)" -eq 131072 ] && echo 0 || echo 1)"

# A counter that never ends: --max-cycles stops it with exit status 1.
"$run" "$examples/counter.hex" --max-cycles 100000 --dump "$tmp/c.json" --stats 2>"$tmp/stats"
check "max-cycles exits 1" $(($? == 1 ? 0 : 1))
check "max-cycles stop" "$([ "$(field "$tmp/c.json" stop)" = max-cycles ] && echo 0 || echo 1)"
check "cycles reach the limit" "$([ "$(field "$tmp/c.json" cycles)" -ge 100000 ] && echo 0 || echo 1)"
grep -q "^machine cycles: " "$tmp/stats"; check "stats on stderr" $?
# P1 (90h) holds the count: 100001 cycles / 104 per step = 961 steps, 961 mod 256 = C1h.
p1=$(field "$tmp/c.json" iram | cut -c $((0x90 * 2 + 1))-$((0x90 * 2 + 2)))
check "counter on P1 (got $p1)" "$([ "$p1" = C1 ] && echo 0 || echo 1)"

# The real-time pace: 200000 machine cycles at 12 MHz (a million a second) take at least 0.2 s,
# and the same cycles and state as without the pace.
"$run" "$examples/counter.hex" --frequency 12000000 --real-time --max-cycles 200000 \
  --dump "$tmp/r.json" --stats 2>"$tmp/rstats"
secs=$(sed -n 's/^host seconds: //p' "$tmp/rstats")
check "real time takes the controller's time (got $secs s)" \
  "$(awk -v s="$secs" 'BEGIN { exit !(s >= 0.199) }' && echo 0 || echo 1)"
"$run" "$examples/counter.hex" --frequency 12000000 --max-cycles 200000 --dump "$tmp/f.json"
check "real time changes no result" "$(cmp -s "$tmp/r.json" "$tmp/f.json" && echo 0 || echo 1)"

# A breakpoint stops before its instruction.
"$run" "$examples/counter.hex" --break 7 --dump "$tmp/b.json"
check "breakpoint exits 0" $?
check "breakpoint stop" "$([ "$(field "$tmp/b.json" stop)" = breakpoint ] && [ "$(field "$tmp/b.json" pc)" = 7 ] && echo 0 || echo 1)"

# A program that runs past its end: the program counter goes back to 0000h.
printf ':03000000040404F1\n:00000001FF\n' >"$tmp/end.hex"
"$run" "$tmp/end.hex" --dump "$tmp/e.json" >/dev/null
check "end exits 0" $?
check "end stop and pc" "$([ "$(field "$tmp/e.json" stop)" = end ] && [ "$(field "$tmp/e.json" pc)" = 0 ] && [ "$(field "$tmp/e.json" cycles)" = 3 ] && echo 0 || echo 1)"

# Serial input is delivered byte by byte.
printf 'abc\004' >"$tmp/in"
out=$("$run" "$examples/echo.hex" --serial-in "$tmp/in")
check "echo" "$([ "$out" = abc ] && echo 0 || echo 1)"
"$run" "$examples/hello.hex" --serial-out "$tmp/s.out" >/dev/null
check "serial-out file" "$(cmp -s "$tmp/s.out" <(printf 'Hello\r\n') && echo 0 || echo 1)"

# Usage errors exit 64, load failures 2 with a message.
"$run" >/dev/null 2>&1; check "no program is a usage error" $(($? == 64 ? 0 : 1))
"$run" --cpu 8053 x.hex >/dev/null 2>&1; check "bad cpu" $(($? == 64 ? 0 : 1))
"$run" --frequency 999999 x.hex >/dev/null 2>&1; check "bad frequency" $(($? == 64 ? 0 : 1))
"$run" --bogus x.hex >/dev/null 2>&1; check "unknown option" $(($? == 64 ? 0 : 1))
"$run" --help | grep -q -- "--serial-in"; check "help" $?
"$run" "$tmp/missing.hex" 2>"$tmp/err"; check "missing file exits 2" $(($? == 2 ? 0 : 1))
grep -q "missing.hex" "$tmp/err"; check "missing file is named" $?
printf ':0100000011AA\n' >"$tmp/bad.hex"
"$run" "$tmp/bad.hex" 2>"$tmp/err"; check "checksum refused" $(($? == 2 ? 0 : 1))
grep -q 'Checksum error in line 1 (\$AA / \$EE). Continue?' "$tmp/err"; check "checksum question" $?
"$run" --ignore-checksum --max-cycles 10 "$tmp/bad.hex" >/dev/null; check "ignore-checksum loads" $(($? == 1 ? 0 : 1))
printf 'hello\n' >"$tmp/text.hex"
"$run" "$tmp/text.hex" 2>"$tmp/err"; check "format error exits 2" $(($? == 2 ? 0 : 1))
grep -q "Invalid file format (line 1)." "$tmp/err"; check "format message" $?
"$run" "$tmp/notes.txt" 2>/dev/null; check "other extension exits 2" $(($? == 2 ? 0 : 1))

# Listing and export follow the settings file.
"$run" --listing "$examples/hello.hex" | head -1 | grep -q "$(printf '0000\tMOV TMOD,#32\t75 89 20')"
check "listing" $?
printf '[Disassembler]\nNumbers=2\nOptn0=0\n' >"$tmp/s.ini"
"$run" --ini "$tmp/s.ini" --export "$tmp/h.asm" "$examples/hello.hex"
check "export exits 0" $?
head -1 "$tmp/h.asm" | cmp -s - <(printf '\tmov\tTMOD,#20h\r\n'); check "export uses the settings" $?
printf '[Options]\nProcessor=0\n' >"$tmp/p.ini"
"$run" --ini "$tmp/p.ini" "$examples/hello.hex" --dump "$tmp/p.json" >/dev/null; check "ini run" $?

# SIGTERM ends the run at an instruction boundary, still writing the dump.
"$run" "$examples/counter.hex" --dump "$tmp/i.json" &
pid=$!
sleep 0.5
kill -TERM $pid
wait $pid
check "SIGTERM exits 130" $(($? == 130 ? 0 : 1))
check "interrupted stop" "$([ "$(field "$tmp/i.json" stop)" = interrupted ] && echo 0 || echo 1)"

echo "runner: $passed passed, $failed failed"
[ $failed -eq 0 ]
