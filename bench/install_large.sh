#!/usr/bin/env bash
# A launcher carrying a 1 GiB installer installs under Wine: the time from the press of the
# install button (the check box cleared) to the installer started, the launcher process's peak
# memory (resident and virtual, from /proc) against the size of its file, and the slowest
# answer of the extraction window to a sent message while it saves and unpacks (hungcheck.exe
# asks every 250 ms; Windows calls a window "Not Responding" after 5 s).
#   bash bench/install_large.sh [MIB]      (default 1024)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
mib=${1:-1024}

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target setupTQ instTQ hungcheck setupkit_host >/dev/null
kit=build/win32/host/bin/setupkit
out=build/bench
big=$out/install-large
mkdir -p "$big"
size=$((mib << 20))
# A Windows program (attach takes nothing else) grown with bytes that do not compress.
if [ "$(stat -c %s "$big/instTQ.exe" 2>/dev/null || echo 0)" != $size ]; then
  { cat build/win32/demo/instTQ.exe; head -c $size /dev/urandom; } | head -c $size >"$big/instTQ.exe" || true
fi
work=$(mktemp -d)
"$kit" attach build/win32/bin/stub/setupTQ.exe "$big/instTQ.exe" -o "$work/setupTQ.exe" >/dev/null
launcher_bytes=$(stat -c %s "$work/setupTQ.exe")
echo "launcher $launcher_bytes bytes, installer $size bytes"

source scripts/wine-env.sh
source scripts/xvfb.sh
trap 'rm -rf "$work"; stop_xvfb' EXIT
start_xvfb
[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1 || true; wineserver -w; }
source tests/e2e/clicks.sh

(cd "$work" && exec wine ./setupTQ.exe) >/dev/null 2>&1 &
caption="Parvalo 安装程序 2011.04.25"
for _ in $(seq 600); do
  win=$(xdotool search --onlyvisible --name "$caption" 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.2
done
[ -n "$win" ] || { echo "no verification window" >&2; exit 1; }
pid=$(pgrep -f 'setupTQ\.exe' | while read -r p; do [ -r "/proc/$p/status" ] && grep -q '^VmHWM' "/proc/$p/status" && echo "$p"; done | tail -1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + ${CHECK_BOX% *})) $((Y + ${CHECK_BOX#* })) click 1
sleep 1
(cd "$work" && exec wine "$root/build/win32/tests/e2e/verify/hungcheck.exe" "正在解压缩安装包..." 600) >"$out/install_large_hung.txt" 2>&1 &
hung=$!
start=$(date +%s.%N)
xdotool mousemove $((X + ${INSTALL_BUTTON% *})) $((Y + ${INSTALL_BUTTON#* })) click 1
hwm=0
vmpeak=0
while kill -0 "$pid" 2>/dev/null; do
  read -r h v < <(awk '/^VmHWM/ {h=$2} /^VmPeak/ {v=$2} END {print h+0, v+0}' "/proc/$pid/status" 2>/dev/null || echo "0 0")
  [ "$h" -gt "$hwm" ] && hwm=$h
  [ "$v" -gt "$vmpeak" ] && vmpeak=$v
  [ -s "$work/instTQ.cmdline.txt" ] && break
  sleep 0.1
done
for _ in $(seq 600); do
  [ -e "$work/instTQ.cmdline.txt" ] && break
  sleep 0.1
done
end=$(date +%s.%N)
wait "$hung" || true
installed=no
cmp -s "$work/instTQ.exe" "$big/instTQ.exe" && [ -e "$work/instTQ.cmdline.txt" ] && installed=yes
wineserver -k >/dev/null 2>&1 || true
python3 - "$launcher_bytes" "$hwm" "$vmpeak" "$start" "$end" "$installed" "$out/install_large_hung.txt" <<'PY'
import re, sys
launcher, hwm, vmpeak, start, end, installed, hung = sys.argv[1:8]
launcher, hwm, vmpeak = int(launcher), int(hwm) * 1024, int(vmpeak) * 1024
text = open(hung, encoding="utf-8", errors="replace").read()
m = re.search(r"answers (\d+) slowest (\d+) late (\d+)", text)
print("installed               %s, %.1f s from the press to the installer started" % (installed, float(end) - float(start)))
print("peak resident           %.0f MiB (launcher file %.0f MiB: %.0f MiB beyond it)"
      % (hwm / 2**20, launcher / 2**20, (hwm - launcher) / 2**20))
print("peak virtual            %.0f MiB" % (vmpeak / 2**20))
if m:
    print("extraction window       %s answers to a sent message, slowest %s ms, %s later than 1 s" % m.groups())
else:
    print("extraction window       hungcheck said: %s" % text.strip())
PY
