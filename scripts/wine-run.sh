#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's environment (CTest's emulator).
# Uses the display in DISPLAY; the test and demo scripts start Xvfb and set it.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
# The windows' font is 宋体 (SimSun), which Windows has in every language, and the message box
# of a prefix made under zh_CN takes SimSun too. Wine has no such face, and what it takes
# instead depends on the locale (under en_US a fallback font without Latin letters): the CJK
# font installed here stands in for it under both names, the same in every locale.
if [ ! -f "$WINEPREFIX/.simsun" ]; then
  for face in 宋体 SimSun; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
  done
  touch "$WINEPREFIX/.simsun"
fi
exec wine "$@"
