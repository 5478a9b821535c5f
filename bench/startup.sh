#!/usr/bin/env bash
# The launcher's start-up under Wine: the time from start to the verification window on the
# screen, against a minimal Win32 program that opens one window, as medians over repeated runs
# and their ratio. The same minimal program with the launcher's visual styles (its manifest and
# the common controls, version 6) is timed beside them: under Wine, starting the common controls
# is a large share of the launcher's extra time. (Its size is bench/size.sh's.)
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
i686-w64-mingw32-windres -I build/win32/res bench/minwin.rc -O coff -o "$out/minwin.res"
i686-w64-mingw32-gcc -O2 -s -mwindows -DVISUAL_STYLES bench/minwin.c "$out/minwin.res" -lcomctl32 \
  -o "$out/minwin_styles.exe"
gcc -O2 bench/mapwatch.c -o "$out/mapwatch" -lX11
MAPWATCH=$root/$out/mapwatch

source bench/lib.sh
work=$(mktemp -d)
wine_bench_session "$work"
cp "$launcher" "$work/setupTQ.exe"
cp "$out/minwin.exe" "$out/minwin_styles.exe" "$work/"

echo "== start to first window under Wine ($runs runs each, alternating)"
: >"$out/startup.txt"
time_to_window "$work" minwin.exe "minwin bench window" >/dev/null  # warm the caches once
time_to_window "$work" setupTQ.exe "Parvalo 安装程序 2011.04.25" >/dev/null
time_to_window "$work" minwin_styles.exe "minwin styles window" >/dev/null
for i in $(seq "$runs"); do
  echo "minwin $(time_to_window "$work" minwin.exe "minwin bench window")" >>"$out/startup.txt"
  echo "styles $(time_to_window "$work" minwin_styles.exe "minwin styles window")" >>"$out/startup.txt"
  echo "setupTQ $(time_to_window "$work" setupTQ.exe "Parvalo 安装程序 2011.04.25")" >>"$out/startup.txt"
done
rm -f "$work/install.dat" "$work/instTQ.exe"
python3 - "$out/startup.txt" <<'PY'
import statistics, sys
t = {}
for line in open(sys.argv[1]):
    name, v = line.split()
    t.setdefault(name, []).append(float(v))
m, v, s = (statistics.median(t[k]) for k in ("minwin", "styles", "setupTQ"))
for name, key in (("minimal window", "minwin"), ("with styles", "styles"), ("setupTQ", "setupTQ")):
    x = t[key]
    print("%-15s median %.3f s (min %.3f, max %.3f)" % (name, statistics.median(x), min(x), max(x)))
print("ratio           %.2f against the minimal window, %.2f against it with styles (target at most 1.15)"
      % (s / m, s / v))
# The lines bench/all.sh collects.
print("RESULT startup %.1f %.1f ms <=1.15 start to the verification window vs a minimal window, Wine" % (s * 1e3, m * 1e3))
print("RESULT startup-styles %.1f %.1f ms <=1.15 the same vs a minimal window with visual styles, Wine" % (s * 1e3, v * 1e3))
PY
