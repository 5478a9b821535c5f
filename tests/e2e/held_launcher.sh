#!/usr/bin/env bash
# A launcher whose own file another process holds open for writing cannot fingerprint itself:
# it says so in an error box (no verification window), writes nothing, and ends after OK.
#
# Control run first: the same copy, not held, must show its verification window (closed
# again by this script), so that "no window" below means something.
#
#   bash tests/e2e/held_launcher.sh LAUNCHER HOLDFILE     (win32 builds of setupTQ and holdfile)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
launcher=$(realpath "$1") holder=$(realpath "$2")
caption="Parvalo 安装程序 2011.04.25"
limit=60  # seconds; only a launcher that waits in a window gets near it

source scripts/wine-env.sh
source scripts/xvfb.sh
work=$(mktemp -d)
started_xvfb=0
holder_pid=
hold_in=
release() {  # the holder lets go once its standard input ends
  if [ -n "$hold_in" ]; then exec {hold_in}>&-; hold_in=; fi
  if [ -n "$holder_pid" ]; then wait "$holder_pid" 2>/dev/null || true; holder_pid=; fi
}
cleanup() {
  release
  [ "$started_xvfb" = 1 ] && stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then start_xvfb; started_xvfb=1; fi
[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1 || true; wineserver -w; }

cp "$launcher" "$work/setupTQ.exe"

# Polls (bounded) until a window with the caption exists; 0 when seen.
window_seen() {
  local i
  for i in $(seq 1 $((limit * 5))); do
    xdotool search --name "$caption" >/dev/null 2>&1 && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

echo "== control: the launcher, not held, shows its window"
(cd "$work" && exec wine ./setupTQ.exe) &
pid=$!
if window_seen "$pid"; then
  kill "$pid" 2>/dev/null || true  # the control run is done once its window is seen
  wait "$pid" 2>/dev/null || true
  rm -f "$work/install.dat" "$work/instTQ.exe"
else
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "held_launcher: FAIL: the launcher showed no window even when its file was free"
  exit 1
fi

echo "== held: another process holds the launcher's file open for writing"
mkfifo "$work/hold.in"
held=$(winepath -w "$work/setupTQ.exe" | tr -d '\r\n')
(cd "$work" && exec wine "$holder" "$held") <"$work/hold.in" >"$work/hold.out" 2>&1 &
holder_pid=$!
exec {hold_in}>"$work/hold.in"
for _ in $(seq 1 $((limit * 5))); do
  grep -q '^ready' "$work/hold.out" && break
  kill -0 "$holder_pid" 2>/dev/null || break
  sleep 0.2
done
grep -q '^ready' "$work/hold.out" || { echo "held_launcher: the holder did not take the file: $(cat "$work/hold.out")"; exit 2; }

# Our end of the holder's input stays here: were the launcher (or a wineserver it starts) to
# inherit it, the holder would never see its input end.
(cd "$work" && exec timeout "$limit" wine ./setupTQ.exe >"$work/stderr.txt" 2>&1) {hold_in}>&- &
pid=$!
# The error box, captioned with the application's title, is answered with Enter (OK).
box_seen=0
for _ in $(seq 1 $((limit * 5))); do
  kill -0 "$pid" 2>/dev/null || break
  for w in $(xdotool search --name "^Parvalo安装程序\$" 2>/dev/null); do
    width=$(xdotool getwindowgeometry "$w" 2>/dev/null | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
    if [ "${width:-0}" -gt 40 ]; then
      box_seen=1
      mkdir -p build/win32/screenshots && import -window "$w" build/win32/screenshots/held-launcher-box.png 2>/dev/null || true
      xdotool windowactivate --sync "$w" key Return 2>/dev/null || xdotool key Return
    fi
  done
  [ "$box_seen" = 1 ] && break
  sleep 0.2
done
if window_seen "$pid"; then
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "held_launcher: FAIL: a window appeared although the launcher's file was held"
  exit 1
fi
set +e
wait "$pid"
rc=$?
set -e
if [ "$rc" = 124 ]; then
  echo "held_launcher: FAIL: the launcher did not end by itself"
  exit 1
fi
if [ -e "$work/install.dat" ] || [ -e "$work/instTQ.exe" ]; then
  echo "held_launcher: FAIL: the launcher wrote files although it could not fingerprint itself"
  exit 1
fi
# Wine (like Windows) may refuse to load an image that someone holds open for writing; then
# the launcher never ran, which is also an end without a window.
if grep -aq ShellExecuteEx "$work/stderr.txt"; then
  :
elif [ "$box_seen" != 1 ]; then
  echo "held_launcher: FAIL: the launcher ended without saying why"
  exit 1
fi
if grep -aq ShellExecuteEx "$work/stderr.txt"; then
  echo "held_launcher: ok (the system refused to start the held launcher; no window, nothing written)"
else
  echo "held_launcher: ok (launcher ended by itself, exit $rc, no window, nothing written)"
fi
