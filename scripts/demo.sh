#!/usr/bin/env bash
# The main job: builds the launcher and runs it under Wine, on the user's display when there
# is one, else on a private Xvfb display.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32

source scripts/xvfb.sh
if [ -z "${DISPLAY:-}" ]; then
  start_xvfb
  trap stop_xvfb EXIT
fi
run=build/demo-run
rm -rf "$run" && mkdir -p "$run"
cp build/win32/bin/setupTQ.exe "$run/"
(cd "$run" && ../../scripts/wine-run.sh setupTQ.exe "/D=C:\\Program Files\\Parvalo")
echo "demo: finished; files in $run:"
ls -l "$run"
