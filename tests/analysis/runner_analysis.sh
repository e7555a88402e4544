#!/usr/bin/env bash
# End-to-end: corvamat-run --coverage and --profile on an SDCC program, read with the real tools
# (lcov --summary, genhtml, callgrind_annotate); the listing's count column; without a .cdb; the
# files written after a cycle limit and after SIGTERM.
# Usage: runner_analysis.sh CORVAMAT_RUN SOURCE_DIR EXAMPLES_DIR
set -u
run=$1
src=$2
examples=$3
. "$(dirname "$0")/../checks.sh"
for tool in sdcc lcov genhtml callgrind_annotate; do
  command -v $tool >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps.sh)"; echo "analysis: 0 passed, 1 failed"; exit 1; }
done
cp "$src/profile.c" "$tmp/"
(cd "$tmp" && sdcc -mmcs51 --debug --stack-auto -o profile.ihx profile.c) || { echo "FAIL: sdcc"; exit 1; }
line() { grep -n "$1" "$src/profile.c" | head -1 | cut -d: -f1; }
# The cycles of the stop line: "... after N machine cycles".
cycles() { sed -n 's/.* after \([0-9]*\) machine cycles$/\1/p' "$1"; }
# PROGRAM TOTALS of callgrind_annotate, first event, without the thousands separators.
totals() { grep 'PROGRAM TOTALS' "$1" | head -1 | awk '{print $1}' | tr -d ','; }

"$run" --coverage "$tmp/cov.info" --profile "$tmp/prof.out" --serial-out /dev/null "$tmp/profile.ihx" 2>"$tmp/err"
check "run with --coverage and --profile exits 0" $?
n=$(cycles "$tmp/err")

lcov --summary "$tmp/cov.info" --rc lcov_branch_coverage=1 >"$tmp/summary" 2>&1
check "lcov --summary reads the tracefile" $?
grep -q "lines\.*: [0-9.]*% " "$tmp/summary" && grep -q "functions\.*: 100.0% (4 of 4" "$tmp/summary" && grep -q "branches\.*: " "$tmp/summary"
check "summary has lines, all four functions and branches" $?
grep -qx "DA:$(line 'odd++'),5" "$tmp/cov.info"; check "the odd branch ran 5 times" $?
grep -qx "FNDA:5,fact" "$tmp/cov.info"; check "fact was called 5 times" $?
brda=$(grep "^BRDA:$(line 'if (i & 1)')," "$tmp/cov.info")
echo "$brda" | grep -q ',0,5$' && echo "$brda" | grep -q ',1,5$'
check "the branch on i & 1 went each way 5 times ($brda)" $?
genhtml --branch-coverage -q -o "$tmp/html" "$tmp/cov.info" >/dev/null 2>&1 && [ -f "$tmp/html/index.html" ]
check "genhtml writes a report" $?

callgrind_annotate "$tmp/prof.out" >"$tmp/annotate" 2>&1
check "callgrind_annotate reads the profile" $?
check "profile total ($(totals "$tmp/annotate")) equals the run's machine cycles ($n)" "$([ -n "$n" ] && [ "$(totals "$tmp/annotate")" = "$n" ] && echo 0 || echo 1)"
grep -A2 '^cfn=fact$' "$tmp/prof.out" | grep -q '^calls=4 '; check "fact calls itself 4 times" $?
callgrind_annotate --inclusive=yes "$tmp/prof.out" | grep -q 'profile.c:main'; check "main by file and name" $?

# The listing's last column counts executions: fact's first instruction ran 5 times.
"$run" --listing --profile "$tmp/l.out" --serial-out /dev/null "$tmp/profile.ihx" >"$tmp/listing" 2>/dev/null
grep -P "\t_fact\t5$" "$tmp/listing" >/dev/null; check "listing count column" $?

# Two modules with a static function "tick" each: the profile tells them apart.
symbols=$(cd "$src/../../symbols/c" && pwd)
(cd "$tmp" && sdcc -mmcs51 --debug -c "$symbols/ma.c" && sdcc -mmcs51 --debug -c "$symbols/mb.c" &&
  sdcc -mmcs51 --debug -o multi.ihx ma.rel mb.rel) >/dev/null 2>&1 || { echo "FAIL: sdcc multi"; exit 1; }
"$run" --max-cycles 5000 --coverage "$tmp/multi.info" --profile "$tmp/multi.out" "$tmp/multi.ihx" 2>/dev/null
grep -qx 'fn=ma.c:tick' "$tmp/multi.out" && grep -qx 'fn=mb.c:tick' "$tmp/multi.out" &&
  grep -qx 'FNDA:2,ma.c:tick' "$tmp/multi.info" && grep -qx 'FNDA:1,mb.c:tick' "$tmp/multi.info"
check "static functions of one name by their unique names" $?

# Without the .cdb: no coverage (a message says why), a profile by address with sub_XXXX names.
mkdir "$tmp/bare" && cp "$tmp/profile.ihx" "$tmp/bare/"
"$run" --coverage "$tmp/bare/cov.info" --profile "$tmp/bare/prof.out" "$tmp/bare/profile.ihx" 2>"$tmp/berr"
check "without symbols the run still exits 0" $?
grep -q "needs the program's .cdb" "$tmp/berr" && [ ! -e "$tmp/bare/cov.info" ]; check "no coverage without a .cdb" $?
grep -q '^positions: instr$' "$tmp/bare/prof.out" && grep -q '^fn=sub_' "$tmp/bare/prof.out" && grep -q '^fn=int_000B$' "$tmp/bare/prof.out"
check "profile by address with sub_ and int_ names" $?
callgrind_annotate "$tmp/bare/prof.out" >"$tmp/bann" 2>&1
check "bare profile total equals the run's cycles" "$([ "$(totals "$tmp/bann")" = "$(cycles "$tmp/berr")" ] && echo 0 || echo 1)"

# A cycle limit and SIGTERM still write both files.
"$run" --max-cycles 300 --coverage "$tmp/m.info" --profile "$tmp/m.out" "$tmp/profile.ihx" 2>"$tmp/merr"
check "cycle limit exits 1" $(($? == 1 ? 0 : 1))
[ -s "$tmp/m.info" ] && grep -q "^summary: $(cycles "$tmp/merr") " "$tmp/m.out"; check "files after a cycle limit" $?
"$run" --profile "$tmp/t.out" "$examples/counter.hex" 2>"$tmp/terr" &
pid=$!
sleep 0.5
kill -TERM $pid
wait $pid
check "SIGTERM exits 130" $(($? == 130 ? 0 : 1))
grep -q "^summary: $(cycles "$tmp/terr") " "$tmp/t.out"; check "profile after SIGTERM" $?

finish "analysis"
