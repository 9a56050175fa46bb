# Sourced by the package scripts: counted PASS/FAIL lines under the caller's $label, a verdict
# at the end, and the stopping of this run's wineserver and Xvfb on every way out.
passed=0 failed=0
pass() { echo "$label: PASS $1"; passed=$((passed + 1)); }
fail() { echo "$label: FAIL $1${2:+: $2}"; failed=$((failed + 1)); }
check() { # check NAME COMMAND... : PASS when the command succeeds
  local name=$1; shift
  if out=$("$@" 2>&1); then pass "$name"; else fail "$name" "$(printf '%s' "$out" | tail -3 | tr '\n' ' ')"; fi
}
finish() {
  echo "$label: $passed passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
  exit $?
}

xvfb_pid=""
cleanup() {
  [ -d "$WINEPREFIX" ] && timeout 20 wineserver -k >/dev/null 2>&1
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
}
trap cleanup EXIT
trap 'exit 143' TERM INT
