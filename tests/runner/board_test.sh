#!/usr/bin/env bash
# End-to-end tests of corvamat-run with the course hardware: an SDCC program that drives a 16x2 LCD
# in the 4-bit interface (the dump's "lcd"), a keypad scanner fed with --press that sends the keys
# it reads, the two board demos, and board files that cannot be used.
# Usage: board_test.sh CORVAMAT_RUN EXAMPLES_DIR TEST_DIR
set -u
run=$1
examples=$2
here=$3
. "$(dirname "$0")/../checks.sh"
same() {  # description, got, expected
  if [ "$2" = "$3" ]; then check "$1" 0; else echo "  got:      $2"; echo "  expected: $3"; check "$1" 1; fi
}
# The JSON array of a dump's key, on one line without blanks.
array() { tr -d '\n ' <"$1" | sed -n "s/.*\"$2\":\(\[[^]]*\]\).*/\1/p"; }

for program in lcd4 keys; do
  (cd "$tmp" && sdcc -mmcs51 -o "$program.ihx" "$here/$program.c") >/dev/null || { echo "sdcc failed on $program.c"; exit 1; }
done

# The LCD in the 4-bit interface: two lines, user-defined character 1 after "Up ".
"$run" --board "$here/lcd4.board" "$tmp/lcd4.ihx" --dump "$tmp/l.json" 2>"$tmp/lerr"
check "lcd4 ends in its idle jump" $?
same "lcd4 lines" "$(array "$tmp/l.json" lcd)" '["Up\u0001","4-bitLCD"]'
grep -q '"lcd": \[$' "$tmp/l.json" && grep -q '^    "Up \\u0001            ",$' "$tmp/l.json"
check "lcd4 keeps the blanks of its lines" $?

# Keys held by --press reach a scanning program, which sends them: 20 ms each at 11.0592 MHz.
"$run" --board "$examples/boards/digits.board" "$tmp/keys.ihx" --max-cycles 2000000 \
  --press 1@20000,A@80000,F@140000,0@200000 --press 5@260000,C@320000,7@380000,E@440000 >"$tmp/k.out" 2>/dev/null
check "keys ends in its idle jump" $?
same "keys sent" "$(cat "$tmp/k.out")" "1AF05C7E"
# Without a keypad on the board, --press wires the settings' keypad (P1).
"$run" "$tmp/keys.ihx" --max-cycles 200000 --press 9@1000 >"$tmp/k9.out" 2>/dev/null
same "keys without a board" "$(cat "$tmp/k9.out")" "9"

# The board demos: the LCD greets and shows a key pressed; the digits board shows 8051 and its
# LED bar lights one LED.
"$run" --board "$examples/boards/lcd.board" "$examples/boards/lcd.hex" --press 7@100000 \
  --max-cycles 300000 --dump "$tmp/d.json" 2>/dev/null
same "lcd demo" "$(array "$tmp/d.json" lcd)" '["Corvamat8051\u0000","Keys:7"]'
"$run" --board "$examples/boards/digits.board" "$examples/boards/digits.hex" --max-cycles 300000 \
  --dump "$tmp/g.json" 2>/dev/null
leds=$(array "$tmp/g.json" leds)
same "one LED of the bar lit" "$(echo "$leds" | tr -cd 1 | wc -c)" 1

# Board files that cannot be used: a usage error naming the value, before anything runs.
printf '[LCD]\nRS=P2.9\n' >"$tmp/bad.board"
"$run" --board "$tmp/bad.board" "$examples/hello.hex" >/dev/null 2>"$tmp/berr"
check "bad board exits 64" $(($? == 64 ? 0 : 1))
grep -q 'RS=P2.9: not a port pin' "$tmp/berr"; check "bad board names the value" $?
"$run" --board "$tmp/none.board" "$examples/hello.hex" >/dev/null 2>&1
check "missing board exits 64" $(($? == 64 ? 0 : 1))
"$run" --press G@5 "$examples/hello.hex" >/dev/null 2>&1
check "bad key exits 64" $(($? == 64 ? 0 : 1))

finish "runner board"
