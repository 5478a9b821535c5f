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
# Everything but the end-to-end runs, once: a unit test that fails is a fault to find.
ctest --preset win32 -LE e2e
# An end-to-end run under Wine that fails is run once more before it counts as failed (one
# intermittent, unexplained failure under Wine has been seen on a loaded machine); each such
# rerun is named after the run.
log=build/win32/e2e-ctest.log
set +e
ctest --preset win32 -L e2e --repeat until-pass:2 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
set -e
awk '
  /^ *Start +[0-9]+: / { starts[$3]++ }
  / Test +#[0-9]+: / {
    for (i = 1; i < NF; i++) if ($i ~ /^#[0-9]+:$/) { last[$(i + 1)] = ($0 ~ / Passed /) ? "passed" : "failed"; break }
  }
  END { for (n in starts) if (starts[n] > 1) printf "== RERUN: %s failed under Wine and was run again; %s on the rerun\n", n, last[n] }
' "$log"
[ "$rc" -eq 0 ] || exit "$rc"

echo "== all tests passed in $(( $(date +%s) - start )) s"
