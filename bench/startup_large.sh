#!/usr/bin/env bash
# What a large installer adds to the launcher's start under Wine: the time from start to the
# verification window of a launcher carrying a 200 MiB installer, less that of the launcher
# carrying the demo installer. Against the floor that no launcher of that size goes under:
# what a 200 MiB resource adds to a minimal window program's start (its image loaded), plus
# md5sum of the 200 MiB launcher (the fingerprint needs every byte of it once). Medians over
# alternating runs.
#   bash bench/startup_large.sh [RUNS]      (default 7 runs of each)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
runs=${1:-7}
source bench/lib.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target setupTQ instTQ >/dev/null
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target setupkit >/dev/null
kit=build/linux-release/bin/setupkit
out=build/bench
big=$out/large
mkdir -p "$big"

# The installer: a Windows program (attach takes nothing else) grown to 200 MiB with bytes that
# do not compress, so that the launcher is as large.
if [ "$(stat -c %s "$big/instTQ.exe" 2>/dev/null || echo 0)" != $((200 << 20)) ] ||
   [ "$(head -c 2 "$big/instTQ.exe")" != MZ ]; then
  { cat build/win32/demo/instTQ.exe; head -c $((200 << 20)) /dev/urandom; } | head -c $((200 << 20)) >"$big/instTQ.exe" || true
fi
work=$(mktemp -d)
mkdir "$work/small" "$work/large"
cp build/win32/bin/setupTQ.exe "$work/small/setupTQ.exe"
"$kit" attach build/win32/bin/stub/setupTQ.exe "$big/instTQ.exe" -o "$work/large/setupTQ.exe" >/dev/null
# The yardstick with the same bytes as a resource of its image.
printf '1 RCDATA "%s"\n' "$root/$big/instTQ.exe" >"$big/minwin_large.rc"
i686-w64-mingw32-windres "$big/minwin_large.rc" -O coff -o "$big/minwin_large.res"
i686-w64-mingw32-gcc -O2 -s -mwindows bench/minwin.c -o "$work/small/minwin.exe"
i686-w64-mingw32-gcc -O2 -s -mwindows bench/minwin.c "$big/minwin_large.res" -o "$work/large/minwin.exe"
gcc -O2 bench/mapwatch.c -o "$out/mapwatch" -lX11
MAPWATCH=$root/$out/mapwatch
echo "launcher $(stat -c %s "$work/large/setupTQ.exe") bytes (demo: $(stat -c %s "$work/small/setupTQ.exe")); " \
  "minimal window $(stat -c %s "$work/large/minwin.exe") bytes (plain: $(stat -c %s "$work/small/minwin.exe"))"

wine_bench_session "$work"

caption="Parvalo 安装程序 2011.04.25"
echo "== start to first window under Wine ($runs runs each, alternating)"
: >"$out/startup_large.txt"
for size in small large; do  # warm the caches once
  time_to_window "$work/$size" setupTQ.exe "$caption" >/dev/null
  time_to_window "$work/$size" minwin.exe "minwin bench window" >/dev/null
done
for i in $(seq "$runs"); do
  for size in small large; do
    echo "setupTQ-$size $(time_to_window "$work/$size" setupTQ.exe "$caption")" >>"$out/startup_large.txt"
    echo "minwin-$size $(time_to_window "$work/$size" minwin.exe "minwin bench window")" >>"$out/startup_large.txt"
  done
done

echo "== md5sum of the large launcher"
hyperfine --warmup 2 --runs 10 --export-json "$out/startup_large_md5.json" "md5sum $work/large/setupTQ.exe" \
  >/dev/null
md5=$(median "$out/startup_large_md5.json" 0)

python3 - "$out/startup_large.txt" "$md5" <<'PY'
import statistics, sys
t = {}
for line in open(sys.argv[1]):
    name, v = line.split()
    t.setdefault(name, []).append(float(v))
m = {k: statistics.median(v) for k, v in t.items()}
for k in ("setupTQ-small", "setupTQ-large", "minwin-small", "minwin-large"):
    print("%-14s median %.3f s (min %.3f, max %.3f)" % (k, m[k], min(t[k]), max(t[k])))
md5 = float(sys.argv[2])
ours = m["setupTQ-large"] - m["setupTQ-small"]
image = m["minwin-large"] - m["minwin-small"]
floor = image + md5
print("added by the installer  %.3f s" % ours)
print("floor                   %.3f s (image %.3f + md5sum %.3f)" % (floor, image, md5))
print("ratio                   %.2f (target at most 1.5)" % (ours / floor))
# The line bench/all.sh collects.
print("RESULT startup-large %.1f %.1f ms <=1.5 what a 200 MiB installer adds to the start vs loading that image + md5sum, Wine"
      % (ours * 1e3, floor * 1e3))
PY
