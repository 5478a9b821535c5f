#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's environment (CTest's emulator).
# Uses the display in DISPLAY; the test and demo scripts start Xvfb and set it.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
exec wine "$@"
