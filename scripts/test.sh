#!/usr/bin/env bash
# Builds everything and runs every test: the portable suite natively (g++, and clang with
# address and undefined-behaviour sanitizers), the Windows build's suites under Wine, and the
# 32-bit Windows build (built only: this machine cannot run 32-bit programs); then packages both
# Windows builds (ZIP and installer) and tries the 64-bit packages under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
status=0
run_preset() { # configure, build and (optionally) test one preset; keeps going on failure
  local preset=$1 test=$2
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null || { status=1; return; }
  cmake --build --preset "$preset" -j "$jobs" || { status=1; return; }
  if [ "$test" = test ]; then
    ctest --preset "$preset" -j "$jobs" || status=1
  fi
}
run_packages() { # the ZIP and the installer of a Windows build; the 64-bit ones are tried under Wine
  echo "=== packages: $1 ==="
  tests/package/run.sh "build/$1" || status=1
}
run_preset native test
run_preset native-clang test
run_preset mingw-x64 test
run_packages mingw-x64
run_preset mingw-x86 build
run_packages mingw-x86
exit $status
