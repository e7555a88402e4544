#!/usr/bin/env bash
# End-to-end: corvamat-run with the symbols SDCC wrote beside a program. A breakpoint on a C line
# gives the values the program prints through printf; names in the listing and the export; a
# broken or foreign debug file.
# Usage: runner_symbols.sh CORVAMAT_RUN SDCC_OUTPUT_DIR SOURCE_DIR
set -u
run=$1
dir=$2
src=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0
check() {  # description, status (0 = as expected)
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi
}
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

# A broken debug file beside the program: one message naming the file and line, the run goes on.
cp "$dir/main.cdb" "$tmp/bare.cdb"
sed -i '5s/.*/S:G$broken(/' "$tmp/bare.cdb"
"$run" --dump "$tmp/broken.json" --serial-out "$tmp/none.txt" "$tmp/bare.ihx" 2>"$tmp/err"
check "broken cdb: the run goes on" $?
check "broken cdb: message names file and line ($(cat "$tmp/err"))" "$(grep -q 'bare.cdb:5: ' "$tmp/err"; echo $?)"
check "broken cdb: no variables" "$(! grep -q variables "$tmp/broken.json"; echo $?)"
# Another program's symbols given by hand are refused.
"$run" --symbols "$dir/main.cdb" --listing "$dir/stack.ihx" >/dev/null 2>"$tmp/err"
check "foreign --symbols exits 2" $(($? == 2 ? 0 : 1))
check "foreign --symbols message ($(cat "$tmp/err"))" "$(grep -q 'main.cdb' "$tmp/err"; echo $?)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
