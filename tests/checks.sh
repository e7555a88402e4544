# Sourced by the end-to-end test scripts: a temporary folder removed on exit, and check, which
# counts a check as passed when its status is 0 and names it when not; finish NAME prints the
# counts and gives the script's status.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0
check() {  # description, status (0 = as expected)
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi
}
finish() {  # name
  echo "$1: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
