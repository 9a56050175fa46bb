#!/usr/bin/env bash
# Builds everything and runs every test: the portable suite natively (g++, and clang with
# address and undefined-behaviour sanitizers), the Windows build's suites under Wine, and the
# 32-bit Windows build (built only: this machine cannot run 32-bit programs); then packages both
# Windows builds (ZIP and installer), tries the 64-bit packages under Wine and checks both
# executables' import tables.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
status=0
summary=()
note() { summary+=("$1: $2"); [ "$2" = ok ] || status=1; }
# Configures, builds and (optionally) tests one preset. A preset that does not build is not
# tested or packaged, so its first error is the last thing it prints.
run_preset() {
  local preset=$1 test=$2
  echo "=== $preset ==="
  if ! cmake --preset "$preset" >/dev/null; then note "$preset configure" FAILED; return 1; fi
  if ! cmake --build --preset "$preset" -j "$jobs"; then note "$preset build" FAILED; return 1; fi
  note "$preset build" ok
  if [ "$test" = test ]; then
    if ctest --preset "$preset" -j "$jobs"; then note "$preset tests" ok; else note "$preset tests" FAILED; fi
  fi
}
run_packages() { # the ZIP and the installer of a Windows build; the 64-bit ones are tried under Wine
  echo "=== packages: $1 ==="
  if tests/package/run.sh "build/$1"; then note "$1 packages" ok; else note "$1 packages" FAILED; fi
}
run_preset native test || true
run_preset native-clang test || true
run_preset mingw-x64 test && run_packages mingw-x64
run_preset mingw-x86 build && run_packages mingw-x86
echo "=== summary ==="
printf '  %s\n' "${summary[@]}"
exit $status
