#!/usr/bin/env bash
# Builds everything once and runs every test: the native build (ASan/UBSan), the fuzz
# targets over their kept inputs, and the win32 build under Wine on a private Xvfb display.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
start=$(date +%s)

bash scripts/setup.sh

echo "== linux build and tests"
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux

if [ -f tests/fuzz/CMakeLists.txt ]; then
  echo "== fuzz targets over their kept inputs"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
  ctest --test-dir build/fuzz --output-on-failure
fi

echo "== win32 build and tests under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32
source scripts/xvfb.sh
start_xvfb
trap stop_xvfb EXIT
# A Wine test that fails is run once more before it counts as failed: one intermittent,
# unexplained failure under Wine has been seen on a loaded machine.
ctest --preset win32 --repeat until-pass:2

echo "== all tests passed in $(( $(date +%s) - start )) s"
