#!/usr/bin/env bash
# The main job: builds the demo launcher (its mirrors on 127.0.0.11-20:8080), publishes its
# verification reply into a mirror folder, and runs it with scripts/try-launcher.sh, which
# serves that folder with python3's http.server on some of the mirror addresses while the
# others stay down, and runs the launcher under Wine: on the user's display when there is one
# (press the buttons yourself), else on a private Xvfb display where it presses them. A
# screenshot of each window it shows, and the run's log, are saved in build/demo-run/.
# Everything started is stopped when the launcher ends.
#
#   bash scripts/demo.sh [--locale LOCALE]     (zh_CN.UTF-8 by default; en_US.UTF-8, ...)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target setupTQ_demo

run=$root/build/demo-run
rm -rf "$run" && mkdir -p "$run/mirror"
cp build/win32/bin/demo/setupTQ.exe "$run/"
build/win32/host/bin/setupkit publish --unsigned --offline "$run/setupTQ.exe" "$run/mirror"

# Mirrors M3 and M6..M10 answer; M1, M2, M4 and M5 are down, so that depending on the order
# drawn at start the walk may meet a dead mirror or two before one answers. Further arguments
# (--locale LOCALE) go to the script that runs it.
bash scripts/try-launcher.sh "$run/setupTQ.exe" --mirror-root "$run/mirror" --down 1,2,4,5 --out "$run" "$@"
echo "demo: the installer was started with: $(cat "$run/instTQ.cmdline.txt" 2>/dev/null || echo '(not started)')"
