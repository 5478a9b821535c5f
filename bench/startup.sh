#!/usr/bin/env bash
# The launcher's start-up under Wine: the time from start to the verification window on the
# screen, against a minimal Win32 program that opens one window, as medians over repeated runs
# and their ratio. (Its size is bench/size.sh's.)
#   bash bench/startup.sh [RUNS]      (default 15 runs of each, alternating)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
runs=${1:-15}

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target setupTQ >/dev/null
launcher=build/win32/bin/setupTQ.exe
out=build/bench
mkdir -p "$out"
i686-w64-mingw32-gcc -O2 -s -mwindows bench/minwin.c -o "$out/minwin.exe"


source scripts/wine-env.sh
source scripts/xvfb.sh
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
  stop_xvfb
}
trap cleanup EXIT
start_xvfb
[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1 || true; wineserver -w; }
# One wine server for all runs, ending by itself a few seconds after the last one.
wineserver -p5
cp "$launcher" "$work/setupTQ.exe"
cp "$out/minwin.exe" "$work/minwin.exe"

# Seconds from starting PROGRAM until a window with CAPTION is on the screen; then the
# program is ended.
time_to_window() {
  local exe=$1 caption=$2 t0 t1 w
  t0=$(date +%s.%N)
  (cd "$work" && exec wine "./$exe") >/dev/null 2>&1 &
  pid=$!
  w=
  for _ in $(seq 3000); do  # at most about a minute
    w=$(xdotool search --onlyvisible --name "$caption" 2>/dev/null | head -1 || true)
    [ -n "$w" ] && break
    sleep 0.02
  done
  t1=$(date +%s.%N)
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
  wine taskkill /F /IM "$exe" >/dev/null 2>&1 || true
  [ -n "$w" ] || { echo "no window for $exe" >&2; return 1; }
  awk "BEGIN { print $t1 - $t0 }"
}

echo "== start to first window under Wine ($runs runs each, alternating)"
: >"$out/startup.txt"
time_to_window minwin.exe "minwin bench window" >/dev/null  # warm the caches once
time_to_window setupTQ.exe "Parvalo 安装程序 2011.04.25" >/dev/null
for i in $(seq "$runs"); do
  echo "minwin $(time_to_window minwin.exe "minwin bench window")" >>"$out/startup.txt"
  echo "setupTQ $(time_to_window setupTQ.exe "Parvalo 安装程序 2011.04.25")" >>"$out/startup.txt"
done
rm -f "$work/install.dat" "$work/instTQ.exe"
python3 - "$out/startup.txt" <<'PY'
import statistics, sys
t = {}
for line in open(sys.argv[1]):
    name, v = line.split()
    t.setdefault(name, []).append(float(v))
m, s = statistics.median(t["minwin"]), statistics.median(t["setupTQ"])
print("minimal window  median %.3f s (min %.3f, max %.3f)" % (m, min(t["minwin"]), max(t["minwin"])))
print("setupTQ         median %.3f s (min %.3f, max %.3f)" % (s, min(t["setupTQ"]), max(t["setupTQ"])))
print("ratio           %.2f (target at most 1.15)" % (s / m))
# The line bench/all.sh collects.
print("RESULT startup %.1f %.1f ms <=1.15 start to the verification window vs a minimal window, Wine" % (s * 1e3, m * 1e3))
PY
