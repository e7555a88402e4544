#!/usr/bin/env bash
# End-to-end: corvamat-run with the symbols SDCC wrote beside a program. A breakpoint on a C line
# gives the values the program prints through printf; names in the listing and the export; a
# broken or foreign debug file; a program of two modules by its names; an assembler program.
# Usage: runner_symbols.sh CORVAMAT_RUN SDCC_OUTPUT_DIR SOURCE_DIR
set -u
run=$1
dir=$2
src=$3
. "$(dirname "$0")/../checks.sh"
# The value of a variable of the dump's "variables" (scalars and one-line objects).
var() { grep -o "^    \"$2\": .*" "$1" | sed 's/^[^:]*: //; s/,$//'; }

# The printf line of main.c: stopped there, the variables hold what the program then prints.
line=$(grep -n 'printf("result=' "$src/main.c" | cut -d: -f1)
"$run" --break "main.c:$line" --dump "$tmp/d.json" --serial-out "$tmp/none.txt" "$dir/main.ihx"
check "break on main.c:$line exits 0" $?
check "stops at the breakpoint" "$(grep -q '"stop": "breakpoint"' "$tmp/d.json"; echo $?)"
"$run" --serial-out "$tmp/out.txt" "$dir/main.ihx"
printed=$(cat "$tmp/out.txt")
dumped="result=$(var "$tmp/d.json" result) counter=$(var "$tmp/d.json" counter) sum=$(var "$tmp/d.json" main.sum) origin.z=$(var "$tmp/d.json" origin | sed 's/.*"z": \([-0-9]*\).*/\1/') negative=$(var "$tmp/d.json" negative)"
check "dump ($dumped) matches printf ($printed)" "$([ "$printed" = "$dumped" ] && echo 0 || echo 1)"
check "a float" "$([ "$(var "$tmp/d.json" ratio)" = 4.5 ] && echo 0 || echo 1)"
check "an external array" "$([ "$(var "$tmp/d.json" table)" = "[0, 1, 4, 9]" ] && echo 0 || echo 1)"
check "a string in code memory" "$([ "$(var "$tmp/d.json" greeting)" = '"hi"' ] && echo 0 || echo 1)"
check "a static of another module" "$([ "$(var "$tmp/d.json" hidden)" = 49 ] && echo 0 || echo 1)"

# A function name as breakpoint: the run stops at its first instruction, before any call ran.
"$run" --break square --dump "$tmp/f.json" --serial-out "$tmp/none.txt" "$dir/main.ihx"
check "break on a function" "$([ "$(var "$tmp/f.json" square.calls)" = 0 ] && grep -q '"stop": "breakpoint"' "$tmp/f.json" && echo 0 || echo 1)"
"$run" --break nosuch "$dir/main.ihx" 2>"$tmp/err"
check "an unknown function is a usage error" $(($? == 64 ? 0 : 1))
"$run" --break main.c:9999 "$dir/main.ihx" 2>"$tmp/err"
check "a line past the code is a usage error" $(($? == 64 ? 0 : 1))

# A data breakpoint by name: the run stops after the instruction that stores 42 into result.
"$run" --watch result=2A --dump "$tmp/w.json" --serial-out "$tmp/none.txt" "$dir/main.ihx"
check "watch by name" "$(grep -q '"stop": "watch"' "$tmp/w.json" && [ "$(var "$tmp/w.json" result)" = 42 ] && echo 0 || echo 1)"
"$run" --watch greeting "$dir/main.ihx" 2>/dev/null
check "a constant in code memory cannot be watched" $(($? == 64 ? 0 : 1))

# Names in the listing and the export.
"$run" --listing "$dir/main.ihx" >"$tmp/l.txt"
check "listing calls by name" "$(grep -q $'\tLCALL _square\t' "$tmp/l.txt"; echo $?)"
check "listing labels the row of main" "$(grep -qP '^[0-9A-F]{4}\t[^\t]*\t[^\t]*\t_main$' "$tmp/l.txt"; echo $?)"
check "listing names a direct address" "$(grep -q 'MOV _main_sum,A' "$tmp/l.txt"; echo $?)"
"$run" --export "$tmp/e.a51" "$dir/main.ihx"
check "export labels" "$(grep -q $'^_main:\r$' "$tmp/e.a51" && grep -q $'\tLCALL\t_square' "$tmp/e.a51"; echo $?)"
check "export defines data names" "$(grep -qP '^_result\tDATA\t[0-9A-F]{2}h\r$' "$tmp/e.a51"; echo $?)"

# Without symbols beside it, the same program lists as before: three columns, numbers only.
cp "$dir/main.ihx" "$tmp/bare.ihx"
"$run" --listing "$tmp/bare.ihx" >"$tmp/bare.txt"
check "no names without symbols" "$(! grep -q '_' "$tmp/bare.txt" && [ "$(awk -F'\t' 'NF != 3' "$tmp/bare.txt" | wc -l)" -eq 0 ]; echo $?)"
"$run" --dump "$tmp/bare.json" --serial-out "$tmp/none.txt" "$tmp/bare.ihx"
check "no variables without symbols" "$(! grep -q variables "$tmp/bare.json"; echo $?)"

# Only the linker map beside: global labels still name the listing.
cp "$dir/main.map" "$tmp/bare.map"
"$run" --listing "$tmp/bare.ihx" >"$tmp/map.txt"
check "map labels" "$(grep -q $'\tLCALL _square\t' "$tmp/map.txt" || grep -q 'LJMP _main' "$tmp/map.txt"; echo $?)"
rm "$tmp/bare.map"

# A record the reader does not understand: one note naming the file and line, the rest is used.
cp "$dir/main.cdb" "$tmp/bare.cdb"
sed -i '5s/.*/S:G$broken(/' "$tmp/bare.cdb"
"$run" --dump "$tmp/broken.json" --serial-out "$tmp/none.txt" "$tmp/bare.ihx" 2>"$tmp/err"
check "broken cdb: the run goes on" $?
check "broken cdb: note names file and line ($(cat "$tmp/err"))" "$(grep -q 'bare.cdb:5: ' "$tmp/err"; echo $?)"
check "broken cdb: the rest is used" "$([ "$(var "$tmp/broken.json" result)" = 42 ] && echo 0 || echo 1)"
rm "$tmp/bare.cdb"
# Another program's symbols given by hand are refused.
"$run" --symbols "$dir/main.cdb" --listing "$dir/stack.ihx" >/dev/null 2>"$tmp/err"
check "foreign --symbols exits 2" $(($? == 2 ? 0 : 1))
check "foreign --symbols message ($(cat "$tmp/err"))" "$(grep -q 'main.cdb' "$tmp/err"; echo $?)"

# Two modules: a bool, bits in both modules, an extern, statics of same-named static functions
# and files (each under a name of its own), a variable named like a hexadecimal number.
"$run" -q --dump "$tmp/m.json" "$dir/multi.ihx"
got=$(jq -c '.variables | [.ready, .conf, .led_on, .tx_ready, .b_flag, .b_other, .shared, .ab,
  ."ma.c:fs", ."mb.c:fs", ."ma.c:tick.n", ."mb.c:tick.n", (keys | length)]' "$tmp/m.json")
check "two modules by name ($got)" "$([ "$got" = '[true,{"on":true,"level":2},0,1,1,1,6,66,4,10,2,5,13]' ] && echo 0 || echo 1)"
# Names come before addresses: ab is the variable, not IRAM ABh; add the function, not ADDh.
"$run" -q --watch ab=42 --dump "$tmp/ab.json" "$dir/multi.ihx"
check "--watch ab=42 stops at the variable's write" "$(jq -e '.stop == "watch" and .variables.ab == 66' "$tmp/ab.json" >/dev/null; echo $?)"
"$run" -q --break add --dump "$tmp/add.json" "$dir/multi.ihx"
check "--break add takes the function" "$(jq -e '.stop == "breakpoint" and .variables.ab == 0' "$tmp/add.json" >/dev/null; echo $?)"
"$run" -q --watch mb.c:tick.n:changed --dump "$tmp/n.json" "$dir/multi.ihx"
check "--watch NAME:changed passes the start-up's clearing" "$(jq -e '.variables."mb.c:tick.n" == 5' "$tmp/n.json" >/dev/null; echo $?)"
"$run" -q --break tick "$dir/multi.ihx" 2>"$tmp/err"
rc=$?
check "an ambiguous name is a usage error ($(cat "$tmp/err"))" "$([ $rc -eq 64 ] && grep -q 'ma.c:tick, mb.c:tick' "$tmp/err"; echo $?)"
"$run" -q --break nosuch.c:3 "$dir/multi.ihx" 2>"$tmp/err"
check "an unknown file names the files there are" "$(grep -q 'no file nosuch.c (they have ma.c, mb.c)' "$tmp/err"; echo $?)"
for bad in "--watch 30=" "--break ma.c:4294967298"; do
  "$run" -q $bad "$dir/multi.ihx" 2>/dev/null
  check "$bad is a usage error" $(($? == 64 ? 0 : 1))
done

# An assembler program with its debug file and map: labels in the listing, a break on a line.
"$run" --listing "$dir/runlight.ihx" >"$tmp/asm.txt"
check "assembler labels in the listing" "$(grep -q $'\tLJMP start\t' "$tmp/asm.txt" && grep -q $'\tMOV 30h,#0\t' "$tmp/asm.txt"; echo $?)"
line=$(grep -n 'lcall wait_a_while' "$src/runlight.a51" | cut -d: -f1)
"$run" -q --break "runlight.a51:$line" --dump "$tmp/asm.json" "$dir/runlight.ihx"
check "break on an assembler line" "$(jq -e '.stop == "breakpoint" and .pc == 60' "$tmp/asm.json" >/dev/null; echo $?)"

finish symbols
