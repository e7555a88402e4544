#!/usr/bin/env bash
# End-to-end tests of corvamat-run: outputs, dumps, stop reasons, exit codes and messages.
# Usage: runner_test.sh CORVAMAT_RUN EXAMPLES_DIR
set -u
run=$1
examples=$2
. "$(dirname "$0")/../checks.sh"
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

# Serial input is delivered byte by byte, each once the program has read the one before.
printf 'abc\004' >"$tmp/in"
out=$("$run" "$examples/echo.hex" --serial-in "$tmp/in" --dump "$tmp/echo.json")
check "echo" "$([ "$out" = abc ] && echo 0 || echo 1)"
check "dump has the receive buffer" "$([ "$(field "$tmp/echo.json" sbuf_rx)" = 4 ] && echo 0 || echo 1)"
out=$("$run" "$examples/cecho.hex" --serial-in "$tmp/in")
check "echo in C (got $out)" "$([ "$out" = ABC ] && echo 0 || echo 1)"
out=$("$run" -q "$examples/xdata.hex" | tr -d '\r')
check "large model with initialised xdata" "$([ "$out" = "$(printf 'Large model\ninitd=12345678\n0 1 4 9 16 25 36 49 ')" ] && echo 0 || echo 1)"
"$run" "$examples/hello.hex" --serial-out "$tmp/s.out" >/dev/null
check "serial-out file" "$(cmp -s "$tmp/s.out" <(printf 'Hello\r\n') && echo 0 || echo 1)"

# One line on standard error says why, where and when the run stopped; -q leaves it out.
stopline() {  # expected line, exit status wanted, runner arguments...
  local want=$1 code=$2
  shift 2
  "$run" "$@" >/dev/null 2>"$tmp/err"
  local rc=$?
  [ $rc -eq "$code" ] && [ "$(cat "$tmp/err")" = "corvamat-run: $want" ]
}
: >"$tmp/empty.bin"
stopline "end of program at 0000h after 0 machine cycles" 0 "$tmp/empty.bin"; check "empty program" $?
stopline "end of program at 0000h after 3 machine cycles" 0 "$tmp/end.hex"; check "runs off its end" $?
stopline "breakpoint at 0007h after 103 machine cycles" 0 --break 7 "$examples/counter.hex"; check "breakpoint line" $?
stopline "idle jump at 001Ch after 107 machine cycles" 0 "$examples/hello.hex"; check "idle line" $?
"$run" --max-cycles 1000 "$examples/counter.hex" 2>"$tmp/err"; check "cycle limit exits 1" $(($? == 1 ? 0 : 1))
grep -qx "corvamat-run: cycle limit at [0-9A-F]\{4\}h after 10[0-9][0-9] machine cycles" "$tmp/err"; check "cycle limit line" $?
"$run" -q --max-cycles 1000 "$examples/counter.hex" --break 7 2>"$tmp/err"; check "quiet keeps the exit status" $?
[ ! -s "$tmp/err" ]; check "quiet prints nothing" $?

# A binary image built for 0000h (makebin) relocated by the default offset: the note says so.
printf '\002\000\006\000\000\000\165\220\125\200\376' >"$tmp/m.bin"  # LJMP 0006h ... MOV P1,#55h; SJMP $
"$run" "$tmp/m.bin" 2>"$tmp/err"; check "relocated image ends" $?
grep -q "m.bin: binary image relocated from 8000h to 0000h: 1 jump or call target moved down by 8000h" "$tmp/err"; check "relocation note" $?
grep -q "^corvamat-run: end of program" "$tmp/err"; check "relocated image runs off its end" $?
"$run" --bin-offset 0 "$tmp/m.bin" --dump "$tmp/m.json" 2>"$tmp/err"
check "unrelocated image halts" "$([ "$(field "$tmp/m.json" stop)" = idle ] && ! grep -q relocated "$tmp/err" && echo 0 || echo 1)"
head -c 65540 /dev/zero >"$tmp/long.bin"
"$run" --bin-offset 0 --max-cycles 10 "$tmp/long.bin" 2>"$tmp/err"
grep -q "long.bin: 4 bytes past FFFFh dropped" "$tmp/err"; check "long image note" $?
printf ':04FFFE001122334455\n' >"$tmp/wrap.hex"
"$run" --max-cycles 10 "$tmp/wrap.hex" 2>"$tmp/err"
grep -q "wrap.hex: 2 bytes past FFFFh dropped" "$tmp/err"; check "record past FFFFh note" $?
"$run" -q --max-cycles 10 "$tmp/wrap.hex" 2>"$tmp/err"; [ ! -s "$tmp/err" ]; check "quiet leaves out the notes" $?

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
: >"$tmp/notes.txt"
"$run" "$tmp/notes.txt" 2>"$tmp/err"; check "other extension exits 2" $(($? == 2 ? 0 : 1))
grep -q "notes.txt: not a .hex, .ihx or .bin file." "$tmp/err"; check "other extension says why" $?
printf ':0100000011EE\n:0100010022C\n' >"$tmp/cut.hex"
"$run" "$tmp/cut.hex" 2>"$tmp/err"; check "cut line exits 2" $(($? == 2 ? 0 : 1))
grep -q "'\$C' is not a valid integer value (line 2) (file $tmp/cut.hex)" "$tmp/err"; check "cut line names line and file" $?
mkdir "$tmp/dir.hex" "$tmp/folder"
"$run" "$tmp/dir.hex" 2>"$tmp/err"; check "directory exits 2" $(($? == 2 ? 0 : 1))
grep -q "dir.hex.*Is a directory" "$tmp/err"; check "directory named as such" $?
"$run" "$tmp/folder" 2>"$tmp/err"; grep -q "folder: Is a directory" "$tmp/err"; check "directory without extension" $?
"$run" --serial-in "$tmp/missing.txt" "$examples/hello.hex" >"$tmp/out" 2>"$tmp/err"
check "missing serial input is a usage error" $(($? == 64 ? 0 : 1))
grep -q "cannot read $tmp/missing.txt: No such file or directory" "$tmp/err"; check "missing serial input reason" $?
# Every output path is opened before the run: a bad one runs nothing.
for opt in --dump --trace --serial-out --export; do
  "$run" $opt "$tmp/no/such/x" "$examples/hello.hex" >"$tmp/out" 2>"$tmp/err"
  check "$opt to a missing folder exits 64" $(($? == 64 ? 0 : 1))
  check "$opt runs nothing" "$([ ! -s "$tmp/out" ] && grep -q "cannot write $tmp/no/such/x: No such file or directory" "$tmp/err" && echo 0 || echo 1)"
done
"$run" --dump "$tmp/folder" "$examples/hello.hex" >"$tmp/out" 2>"$tmp/err"
check "dump to a folder" "$([ $? -eq 64 ] && grep -q "Is a directory" "$tmp/err" && echo 0 || echo 1)"

# A write that fails names the file and the reason and exits 74; a device or FIFO is written
# directly, never replaced; - is standard output.
if [ -w /dev/full ]; then
  for opt in --serial-out --trace --dump --export; do
    "$run" $opt /dev/full "$examples/hello.hex" >/dev/null 2>"$tmp/err"
    check "$opt on a full device exits 74" "$([ $? -eq 74 ] && grep -q "cannot write /dev/full: No space left on device" "$tmp/err" && echo 0 || echo 1)"
  done
  for opt in --listing --quiet; do
    "$run" $opt "$examples/hello.hex" >/dev/full 2>"$tmp/err"
    check "$opt to a full standard output exits 74" "$([ $? -eq 74 ] && grep -q "cannot write standard output: No space left on device" "$tmp/err" && echo 0 || echo 1)"
  done
fi
"$run" --dump /dev/null "$examples/hello.hex" >/dev/null
check "dump into /dev/null, still a device" "$([ $? -eq 0 ] && [ -c /dev/null ] && echo 0 || echo 1)"
mkfifo "$tmp/fifo"
timeout 20 cat "$tmp/fifo" >"$tmp/fifo.json" &
reader=$!
"$run" --dump "$tmp/fifo" "$examples/hello.hex" >/dev/null 2>&1
wait $reader
check "dump into a FIFO, still a FIFO" "$([ -p "$tmp/fifo" ] && [ "$(field "$tmp/fifo.json" stop)" = idle ] && echo 0 || echo 1)"
"$run" -q --serial-out /dev/null --dump - "$examples/hello.hex" >"$tmp/stdout.json"
check "dump to standard output" "$([ "$(field "$tmp/stdout.json" stop)" = idle ] && echo 0 || echo 1)"
"$run" --watch 30= "$examples/hello.hex" >/dev/null 2>&1; check "watch without its value exits 64" $(($? == 64 ? 0 : 1))
"$run" --break main.c:4294967298 "$examples/hello.hex" >/dev/null 2>&1; check "line number out of range exits 64" $(($? == 64 ? 0 : 1))

# Listing and export follow the settings file.
"$run" --listing "$examples/hello.hex" | head -1 | grep -q "$(printf '0000\tMOV TMOD,#32\t75 89 20')"
check "listing" $?
printf '[Disassembler]\nNumbers=2\nOptn0=0\n' >"$tmp/s.ini"
"$run" --ini "$tmp/s.ini" --export "$tmp/h.asm" "$examples/hello.hex"
check "export exits 0" $?
head -1 "$tmp/h.asm" | cmp -s - <(printf '\tmov\tTMOD,#20h\r\n'); check "export uses the settings" $?
printf '[Options]\nProcessor=0\n' >"$tmp/p.ini"
"$run" --ini "$tmp/p.ini" "$examples/hello.hex" --dump "$tmp/p.json" >/dev/null; check "ini run" $?

# A data breakpoint stops after the writing instruction; the dump names it and the call stack.
"$run" "$examples/counter.hex" --watch 90:sfr=02 --dump "$tmp/w.json"
check "watch exits 0" $?
check "watch stop, pc and writer" "$([ "$(field "$tmp/w.json" stop)" = watch ] && [ "$(field "$tmp/w.json" pc)" = 9 ] && [ "$(field "$tmp/w.json" watch_pc)" = 7 ] && echo 0 || echo 1)"
"$run" "$examples/counter.hex" --watch 90:port >/dev/null 2>&1; check "bad watch space" $(($? == 64 ? 0 : 1))
printf ':07000000120005000080FE64\n:00000001FF\n' >"$tmp/call.hex"
"$run" "$tmp/call.hex" --dump "$tmp/k.json" --trace "$tmp/k.trace"
grep -q '"call_stack": \[$' "$tmp/k.json" && grep -q '{"site": 0, "target": 5, "return": 3, "sp": 9, "interrupt": false}' "$tmp/k.json"
check "call stack in the dump" $?
head -1 "$tmp/k.trace" | grep -q 'CYCLES=2$'; check "trace counts cycles" $?

# --vcd: the PWM example's P1.0 is high 300 of every 1000 machine cycles, written in ns at
# 11.0592 MHz; GTKWave's converter reads the file, and its own VCD has the same edges.
# edges VCD NAME: "time value" for each change of the 1-bit variable NAME (repeats left out).
edges() {
  awk -v want="$2" '
    $1 == "$var" && $5 == want { id = $4 }
    /^#/ { t = substr($1, 2) }
    /^[01]/ && substr($1, 2) == id { v = substr($1, 1, 1); if (v != last) print t, v; last = v }' "$1"
}
"$run" "$examples/pwm.hex" --max-cycles 20000 --vcd "$tmp/p.vcd" --signals P1.0,TL0,30:iram
check "vcd exits 1 at the cycle limit" $(($? == 1 ? 0 : 1))
grep -qx '\$timescale 1 ns \$end' "$tmp/p.vcd" && grep -q '^\$var wire 8 [^ ]* TL0 \$end$' "$tmp/p.vcd" &&
  grep -q '^\$var wire 8 [^ ]* 30:iram \$end$' "$tmp/p.vcd"; check "vcd header" $?
edges "$tmp/p.vcd" P1.0 >"$tmp/p.edges"
check "vcd high time and period" "$(awk '
  NR > 1 && $2 == 0 && rise { high = $1 - rise; if (high < 325520 || high > 325522) bad = 1 }
  NR > 1 && $2 == 1 { if (rise && ($1 - rise < 1085069 || $1 - rise > 1085071)) bad = 1; rise = $1; n++ }
  END { exit bad || n < 10 }' "$tmp/p.edges" && echo 0 || echo 1)"
if command -v vcd2fst >/dev/null && command -v fst2vcd >/dev/null; then
  vcd2fst "$tmp/p.vcd" "$tmp/p.fst" >/dev/null 2>&1; check "vcd2fst reads the file" $?
  fst2vcd "$tmp/p.fst" >"$tmp/back.vcd" 2>/dev/null
  check "GTKWave keeps the edges" "$(edges "$tmp/back.vcd" P1.0 | cmp -s - "$tmp/p.edges" && echo 0 || echo 1)"
fi
"$run" "$examples/ledcount.hex" --max-cycles 100 --vcd "$tmp/pins.vcd" 2>/dev/null
check "vcd has the 32 pins by default" "$([ "$(grep -c '^\$var wire 1 ' "$tmp/pins.vcd")" -eq 32 ] && echo 0 || echo 1)"
"$run" "$examples/pwm.hex" --vcd "$tmp/x.vcd" --signals P1.0,P9.9 >/dev/null 2>&1; check "bad signal name" $(($? == 64 ? 0 : 1))
# History: going back K instructions rebuilds the machine a run of M-K instructions leaves, also
# while serial bytes arrive; the last write of a byte agrees with a forward watch on it.
"$run" "$examples/counter.hex" --max-instructions 5000 --back 1234 --dump "$tmp/hb.json" 2>"$tmp/herr"
check "max-instructions exits 1" $(($? == 1 ? 0 : 1))
"$run" "$examples/counter.hex" --max-instructions 3766 --dump "$tmp/hf.json" 2>/dev/null
check "back equals the shorter run" "$(cmp -s "$tmp/hb.json" "$tmp/hf.json" && [ "$(field "$tmp/hf.json" stop)" = max-instructions ] && echo 0 || echo 1)"
grep -qx "corvamat-run: instruction limit at [0-9A-F]\{4\}h after [0-9]* machine cycles, then back 1234 instructions to [0-9A-F]\{4\}h" "$tmp/herr"
check "back in the stop line" $?
"$run" "$examples/echo.hex" --serial-in "$tmp/in" --dump "$tmp/se.json" >/dev/null 2>&1
n=$(field "$tmp/se.json" instructions)
"$run" "$examples/echo.hex" --serial-in "$tmp/in" --back $((n / 2)) --dump "$tmp/sb.json" >/dev/null 2>&1
"$run" "$examples/echo.hex" --serial-in "$tmp/in" --max-instructions $((n - n / 2)) --dump "$tmp/sf.json" >/dev/null 2>&1
check "back across received bytes" "$([ "$n" -gt 20 ] && cmp -s <(grep -v '"stop"' "$tmp/sb.json") <(grep -v '"stop"' "$tmp/sf.json") && echo 0 || echo 1)"
"$run" "$examples/counter.hex" --watch 90:sfr=05 --dump "$tmp/lw.json" >/dev/null 2>&1
i=$(field "$tmp/lw.json" instructions)
"$run" "$examples/counter.hex" --max-instructions "$i" --last-write 90:sfr --dump "$tmp/lb.json" >/dev/null 2>&1
tr -d ' \n' <"$tmp/lb.json" | grep -q "\"last_write\":{\"pc\":$(field "$tmp/lw.json" watch_pc),\"instructions\":$i,\"cycles\":$(field "$tmp/lw.json" cycles),\"value\":5}"
check "last write agrees with the watch" $?
"$run" "$examples/counter.hex" --max-instructions 100 --last-write 7F --dump "$tmp/ln.json" >/dev/null 2>&1
grep -q '"last_write": null' "$tmp/ln.json"; check "no last write is null" $?
"$run" "$examples/counter.hex" --last-write 30=1 >/dev/null 2>&1; check "last write takes no condition" $(($? == 64 ? 0 : 1))

# SIGTERM ends the run at an instruction boundary, still writing the dump.
"$run" "$examples/counter.hex" --dump "$tmp/i.json" 2>"$tmp/ierr" &
pid=$!
sleep 0.5
kill -TERM $pid
wait $pid
check "SIGTERM exits 130" $(($? == 130 ? 0 : 1))
check "interrupted stop" "$([ "$(field "$tmp/i.json" stop)" = interrupted ] && echo 0 || echo 1)"
grep -qx "corvamat-run: interrupted at [0-9A-F]\{4\}h after [0-9]* machine cycles" "$tmp/ierr"; check "interrupted line" $?

finish "runner"
