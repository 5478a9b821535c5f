#!/usr/bin/env bash
# The main job: builds the demo launcher (its mirrors on 127.0.0.11-20:8080), publishes its
# verification reply into a mirror folder, serves that folder with python3's http.server on
# some of the mirror addresses while the others stay down, and runs the launcher under Wine:
# on the user's display when there is one (press the buttons yourself), else on a private
# Xvfb display where this script presses them. A screenshot of each window it shows is saved
# in build/demo-run/. Everything started here is stopped when the launcher ends.
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

source scripts/wine-env.sh
source scripts/xvfb.sh
source tests/e2e/clicks.sh
servers=()
launcher_pid=
auto=0
cleanup() {
  if [ -n "$launcher_pid" ] && kill -0 "$launcher_pid" 2>/dev/null; then
    kill "$launcher_pid" 2>/dev/null || true
    wait "$launcher_pid" 2>/dev/null || true
  fi
  for p in "${servers[@]}"; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  [ "$auto" = 1 ] && stop_xvfb
  return 0
}
trap cleanup EXIT

# Mirrors M3 and M6..M10 answer; M1, M2, M4 and M5 are down, so that depending on the order
# drawn at start the walk may meet a dead mirror or two before one answers.
hosts=(127.0.0.13 127.0.0.16 127.0.0.17 127.0.0.18 127.0.0.19 127.0.0.20)
for host in "${hosts[@]}"; do
  python3 -u -m http.server 8080 --bind "$host" --directory "$run/mirror" >"$run/http-$host.log" 2>&1 &
  servers+=($!)
done
# A server says so once it listens; one that cannot (its address taken, say) ends instead.
for i in "${!hosts[@]}"; do
  host=${hosts[$i]}
  for _ in $(seq 100); do  # about ten seconds
    grep -q "^Serving HTTP on $host port 8080" "$run/http-$host.log" && continue 2
    kill -0 "${servers[$i]}" 2>/dev/null || break
    sleep 0.1
  done
  echo "demo: the mirror on $host:8080 did not come up; its server said:" >&2
  sed 's/^/  /' "$run/http-$host.log" >&2
  exit 1
done
echo "demo: mirrors up on 127.0.0.13, .16-.20 (port 8080); .11, .12, .14, .15 down"

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb
  auto=1
  echo "demo: no display; running on Xvfb $DISPLAY and pressing the buttons"
else
  echo "demo: on your display $DISPLAY: press 开始安装 in the launcher's window"
fi

(cd "$run" && exec "$root/scripts/wine-run.sh" setupTQ.exe '/D=C:\Program Files\Parvalo') >"$run/wine.log" 2>&1 &
launcher_pid=$!

# One screenshot per window, once it is on the screen; on Xvfb the buttons are pressed too.
click() {  # WINDOW "X Y": a click at that point of the window's client area
  local dx dy
  read -r dx dy <<<"$2"
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove $((X + dx)) $((Y + dy)) click 1
}
shoot() {  # NAME WINDOW
  sleep 0.7
  eval "$(xdotool getwindowgeometry --shell "$2")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$run/$1.png" 2>/dev/null || true
  echo "demo: $1 window on the screen; $run/$1.png"
}
find_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true; }
seen=" "
for _ in $(seq 3000); do  # at most about ten minutes
  kill -0 "$launcher_pid" 2>/dev/null || break
  for pair in "verification:Parvalo 安装程序 2011.04.25" "certification:绿色认证" "extraction:正在解压缩安装包"; do
    name=${pair%%:*} caption=${pair#*:}
    case "$seen" in *" $name "*) continue ;; esac
    w=$(find_window "$caption")
    [ -n "$w" ] || continue
    seen="$seen$name "
    shoot "$name" "$w"
    if [ "$auto" = 1 ]; then
      case $name in
        verification) click "$w" "$INSTALL_BUTTON" ;;
        certification) click "$w" "$CERT_BUTTON" ;;
      esac
    fi
  done
  sleep 0.2
done
wait "$launcher_pid" || true
launcher_pid=

# The installer the launcher started: shown, and on Xvfb closed again.
for _ in $(seq 150); do
  w=$(xdotool search --onlyvisible --name '^Parvalo 安装程序$' 2>/dev/null | head -1 || true)
  [ -n "$w" ] && break
  sleep 0.2
done
if [ -n "$w" ]; then
  shoot installer "$w"
  if [ "$auto" = 1 ]; then
    python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); from desktop import Desktop; Desktop(sys.argv[2]).close(int(sys.argv[3]))' \
      "$root/tests/e2e/verify" "$DISPLAY" "$w"
    timeout 60 wineserver -w || true
  fi
fi

echo "demo: the installer was started with: $(cat "$run/instTQ.cmdline.txt" 2>/dev/null || echo '(not started)')"
echo "demo: the launcher has ended. Requests the mirrors served:"
grep -ah 'GET /brenlow' "$run"/http-*.log || echo "  (none: the check box was cleared)"
echo "demo: files in $run:"
LC_ALL=C ls -l "$run"
