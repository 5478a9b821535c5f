#!/usr/bin/env bash
# The real setupTQ.exe under Wine, started as a user would start it from a download folder:
#   setupTQ.exe "/D=C:\Program Files\x" second
# It must show the extraction window, write install.dat (the packed archive, byte for byte),
# unpack instTQ.exe (the demo installer, byte for byte), start it with the first argument
# only, and end. A screenshot of the extraction window is saved for a person to look at.
#
#   bash tests/e2e/extract_run.sh LAUNCHER ARCHIVE INSTALLER SCREENSHOT
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
launcher=$1 archive=$2 installer=$3 shot=$4
caption="正在解压缩安装包..."
limit=90  # seconds; the window's own work takes two

source "$here/scripts/wine-env.sh"
source "$here/scripts/xvfb.sh"
work=$(mktemp -d)
launcher_pid=
cleanup() {
  # End what this run started: the demo installer it launched, then the launcher if stuck.
  wine taskkill /IM instTQ.exe /F >/dev/null 2>&1 || true
  if [ -n "$launcher_pid" ] && kill -0 "$launcher_pid" 2>/dev/null; then
    kill "$launcher_pid" 2>/dev/null || true
    wait "$launcher_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  stop_xvfb
}
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] || start_xvfb
fail() { echo "extract_run: FAIL: $*" >&2; exit 1; }

cp "$launcher" "$work/setupTQ.exe"
(cd "$work" && exec "$here/scripts/wine-run.sh" setupTQ.exe '/D=C:\Program Files\x' second) \
  >"$work/wine.log" 2>&1 &
launcher_pid=$!

# The verification window comes first: clear its check box and press the install button.
vwin=
for _ in $(seq $((limit * 5))); do
  vwin=$(xdotool search --onlyvisible --name "Parvalo 安装程序 2011.04.25" 2>/dev/null | head -1 || true)
  [ -n "$vwin" ] && break
  kill -0 "$launcher_pid" 2>/dev/null || break
  sleep 0.2
done
[ -n "$vwin" ] || fail "the verification window never appeared"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$vwin")"
xdotool mousemove $((X + 345)) $((Y + 45)) click 1
sleep 0.5
xdotool mousemove $((X + 520)) $((Y + 37)) click 1

# The window appears, ramps, and the launcher ends by itself after starting the installer.
win=
for _ in $(seq $((limit * 5))); do
  win=$(xdotool search --name "$caption" 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  kill -0 "$launcher_pid" 2>/dev/null || break
  sleep 0.2
done
[ -n "$win" ] || fail "the extraction window never appeared"
sleep 0.5
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
eval "$(xdotool getwindowgeometry --shell "$win")"
echo "extract_run: extraction window client $WIDTH x $HEIGHT at ($X, $Y); screenshot $shot"
# Without a window manager the X window is the client area. The outer window is 662 x 101 at
# (197, 284): its side frames are equal, and its bottom frame is as wide as a side frame.
frame=$(( (662 - WIDTH) / 2 ))
[ $((WIDTH + 2 * frame)) -eq 662 ] && [ "$X" -eq $((197 + frame)) ] && [ $((Y + HEIGHT + frame)) -eq 385 ] \
  || fail "the window's outer bounds are not 662 x 101 at (197, 284)"

for _ in $(seq $((limit * 5))); do
  kill -0 "$launcher_pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$launcher_pid" 2>/dev/null && fail "the launcher did not end after extracting"
wait "$launcher_pid" || true
launcher_pid=
for _ in $(seq $((limit * 5))); do
  [ -s "$work/instTQ.cmdline.txt" ] && break
  sleep 0.2
done

[ -f "$work/install.dat" ] || fail "install.dat was not written"
cmp -s "$work/install.dat" "$archive" || fail "install.dat differs from the packed archive"
[ -f "$work/instTQ.exe" ] || fail "instTQ.exe was not unpacked"
cmp -s "$work/instTQ.exe" "$installer" || fail "instTQ.exe differs from the demo installer"
[ -f "$work/instTQ.cmdline.txt" ] || fail "the installer was not started"
got=$(cat "$work/instTQ.cmdline.txt")
[ "$got" = '/D=C:\Program Files\x' ] || fail "the installer got the arguments [$got]"
echo "extract_run: PASS (install.dat and instTQ.exe as packed; installer started with [$got])"
