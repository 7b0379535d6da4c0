# shellcheck shell=bash
# Shared by the end-to-end scripts (sourced, not run): counts and prints the outcome of
# each check.
#
#   check DESCRIPTION EXPECTED ACTUAL     "ok: ..." or "FAILED: ..." with both values
#
# $passed and $failed hold the counts; the script ends with [[ $failed -eq 0 ]].

passed=0
failed=0
check() {
  if [[ "$2" == "$3" ]]; then
    passed=$((passed + 1))
    echo "ok: $1"
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
    echo "  expected: $2"
    echo "  actual:   $3"
  fi
}
