#!/usr/bin/env bash
# Runs a launcher under Wine as a user would, in the Windows language of your choice:
#
#   scripts/try-launcher.sh LAUNCHER [--locale LOCALE] [--mirror-root DIR] [--down N,N...]
#                           [--out DIR] [--argument ARG] [--limit SECONDS]
#
#   --locale LOCALE    the Windows language: zh_CN.UTF-8 (code page 936, the default),
#                      en_US.UTF-8 (1252), ja_JP.UTF-8 (932), zh_TW.UTF-8 (950)
#   --mirror-root DIR  serves DIR (a web root `setupkit publish` wrote) on each of the
#                      launcher's mirrors that is a loopback address (127.x.x.x), with python3's
#                      http.server; without it the launcher asks the mirrors it names as they are
#   --down N,N...      mirrors (numbered 1 to 10 as `setupkit info` lists them) left down
#   --out DIR          the folder the launcher runs from, where it writes install.dat and the
#                      installer, and where the screenshots and the run's log land
#                      (build/try-run by default). LAUNCHER is copied there, unless it is there
#                      already; a folder of an earlier try is emptied first, any other must be
#                      empty
#   --argument ARG     the launcher's first argument, handed to the installer
#                      (default: /D=C:\Program Files\Parvalo)
#   --limit SECONDS    the longest the whole run (launcher and installer) may take, 180 by
#                      default; what still runs then is ended and the run counts as failed
#
# On your display when DISPLAY is set (press 开始安装 yourself); otherwise on a private Xvfb
# display where this script presses the buttons. A screenshot of each window lands in the out
# folder (the balloon's too), and so does the log the launcher left in %TEMP% (run.log), which
# is printed at the end. A failed check (the failure balloon) ends the run there. The installer
# the launcher starts, the demo's or the vendor's own, is followed by its process: on Xvfb its
# window is shot and closed. Exit 0 when the check passed (or was not asked for) and the
# installer ran and ended; 1 when the check failed, the installer did not start, or the limit
# was reached. Everything started here is stopped before it exits.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() {
  sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}
[ $# -ge 1 ] || usage
launcher=$(realpath "$1")
shift
locale=zh_CN.UTF-8 mirror_root= down= out=$root/build/try-run argument='/D=C:\Program Files\Parvalo' limit=180
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case $1 in
    --locale) locale=$2 ;;
    --mirror-root) mirror_root=$(realpath "$2") ;;
    --down) down=$2 ;;
    --out) out=$(realpath -m "$2") ;;
    --argument) argument=$2 ;;
    --limit) limit=$2 ;;
    *) usage ;;
  esac
  shift 2
done
[ -f "$launcher" ] || { echo "try-launcher: no file $launcher" >&2; exit 2; }
[[ $limit =~ ^[1-9][0-9]*$ ]] || { echo "try-launcher: --limit takes whole seconds, not $limit" >&2; exit 2; }
if ! locale -a 2>/dev/null | grep -qix "${locale/UTF-8/utf8}"; then
  echo "try-launcher: the locale $locale is not generated here (bash scripts/setup.sh makes the four)" >&2
  exit 2
fi

# The vendor's tool reads the mirrors from the launcher itself.
setupkit=${SETUPKIT:-}
for s in "$root/build/win32/host/bin/setupkit" "$root/build/linux-release/bin/setupkit" "$(command -v setupkit || true)"; do
  [ -z "$setupkit" ] && [ -n "$s" ] && [ -x "$s" ] && setupkit=$s
done
[ -n "$setupkit" ] || { echo "try-launcher: no setupkit (build it: cmake --build --preset win32 --target setupkit_host)" >&2; exit 2; }

if [ "$(dirname "$launcher")" != "$out" ]; then
  # Only a folder this script made is emptied: --out may name any folder by mistake.
  if [ -f "$out/.try-launcher" ]; then
    find "$out" -mindepth 1 -delete
  elif [ -n "$(ls -A "$out" 2>/dev/null)" ]; then
    echo "try-launcher: $out is not empty; name a new folder with --out" >&2
    exit 2
  fi
  mkdir -p "$out"
  touch "$out/.try-launcher"
  cp "$launcher" "$out/setupTQ.exe"
  launcher=$out/setupTQ.exe
fi

export SETUPTQ_WINE_LOCALE=$locale
source "$root/scripts/wine-env.sh"
source "$root/scripts/xvfb.sh"
source "$root/tests/e2e/clicks.sh"
servers=()
launcher_pid=
auto=0
# The installer's processes: this prefix's Wine processes running instTQ.exe (the file the
# launcher writes and starts, whatever the vendor's installer was called).
installer_pids() {
  local p
  for p in $(pgrep -if 'insttq\.exe' || true); do
    { tr '\0' '\n' <"/proc/$p/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
  return 0
}
cleanup() {
  if [ -n "$launcher_pid" ] && kill -0 "$launcher_pid" 2>/dev/null; then
    kill "$launcher_pid" 2>/dev/null || true
    wait "$launcher_pid" 2>/dev/null || true
  fi
  for p in $(installer_pids); do kill "$p" 2>/dev/null || true; done
  for p in "${servers[@]}"; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  [ "$auto" = 1 ] && stop_xvfb
  return 0
}
trap cleanup EXIT

# The launcher's loopback mirrors serve the web root, but for those left down.
if [ -n "$mirror_root" ]; then
  mapfile -t mirrors < <("$setupkit" info --json "$launcher" |
    python3 -c 'import json, sys; print("\n".join(json.load(sys.stdin)["mirrors"]))')
  up=()
  for i in "${!mirrors[@]}"; do
    case ",$down," in *",$((i + 1)),"*) continue ;; esac
    if [[ ${mirrors[$i]} =~ ^http://(127\.[0-9.]+)(:([0-9]+))?/$ ]]; then
      up+=("${BASH_REMATCH[1]} ${BASH_REMATCH[3]:-80}")
    fi
  done
  [ ${#up[@]} -gt 0 ] || echo "try-launcher: none of the launcher's mirrors is a loopback address to serve" >&2
  for hp in "${up[@]}"; do
    read -r host port <<<"$hp"
    python3 -u -m http.server "$port" --bind "$host" --directory "$mirror_root" >"$out/http-$host-$port.log" 2>&1 &
    servers+=($!)
  done
  # A server says so once it listens; one that cannot (its address taken, say) ends instead.
  for i in "${!up[@]}"; do
    read -r host port <<<"${up[$i]}"
    for _ in $(seq 100); do  # about ten seconds
      grep -q "^Serving HTTP on $host port $port" "$out/http-$host-$port.log" && continue 2
      kill -0 "${servers[$i]}" 2>/dev/null || break
      sleep 0.1
    done
    echo "try-launcher: the mirror on $host:$port did not come up; its server said:" >&2
    sed 's/^/  /' "$out/http-$host-$port.log" >&2
    exit 1
  done
  echo "try-launcher: serving $mirror_root on ${#up[@]} mirror(s):$(printf ' %s' "${up[@]// /:}")"
fi

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb
  auto=1
  echo "try-launcher: no display; running on Xvfb $DISPLAY and pressing the buttons"
else
  echo "try-launcher: on your display $DISPLAY: press 开始安装 in the launcher's window"
fi

# The log the run leaves is the one newer than this mark.
mark=$out/.started
touch "$mark"
(cd "$out" && exec "$root/scripts/wine-run.sh" setupTQ.exe "$argument") >"$out/wine.log" 2>&1 &
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
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$1.png" 2>/dev/null || true
  echo "try-launcher: $1 window on the screen; $out/$1.png"
}
find_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true; }
run_log() { find "$WINEPREFIX/drive_c/users" -path '*Temp/setupTQ-*.log' -newer "$mark" 2>/dev/null | sort | tail -1; }
deadline=$((SECONDS + limit))
seen=" " failed= failed_at=0 balloon=
while [ $SECONDS -lt $deadline ]; do
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
  # A balloon: a window of the launcher without a caption.
  if [ -z "$balloon" ]; then
    for w in $(xdotool search --onlyvisible --class setuptq.exe 2>/dev/null || true); do
      [ -z "$(xdotool getwindowname "$w" 2>/dev/null)" ] || continue
      balloon=$w
      shoot balloon "$w"
      break
    done
  fi
  # A failed check leaves the launcher waiting on its window: the run ends here, its balloon shot.
  # (at most five seconds more for the balloon to show)
  [ -n "$failed" ] && { [ -n "$balloon" ] || [ $SECONDS -ge $((failed_at + 5)) ]; } && break
  log=$(run_log)
  if [ -z "$failed" ] && [ -n "$log" ] && grep -aq 'verdict: .*failure balloon' "$log" 2>/dev/null; then
    failed=$(grep -a -m1 'verdict: ' "$log" | sed 's/^.*verdict: /verdict: /; s/\r$//')
    failed_at=$SECONDS
  fi
  sleep 0.2
done
status=0
if kill -0 "$launcher_pid" 2>/dev/null; then
  [ -n "$failed" ] || { echo "try-launcher: the launcher still runs after ${limit} s; ended it" >&2; failed="the limit"; }
  kill "$launcher_pid" 2>/dev/null || true
fi
wait "$launcher_pid" 2>/dev/null || true
launcher_pid=
if [ -n "$failed" ]; then
  status=1
  if [ "$failed" != "the limit" ]; then
    echo "try-launcher: the check failed ($failed)" >&2
    [ -n "$balloon" ] || echo "try-launcher: no balloon was seen" >&2
  fi
fi

# The installer the launcher started, whatever it is, followed by its process: its first window
# shot (on Xvfb also closed, as a user would close it), and waited for until the limit.
log=$(run_log)
if [ -z "$failed" ]; then
  if [ -z "$log" ] || ! grep -aq 'the installer started' "$log"; then
    echo "try-launcher: the launcher did not start the installer (see its log below)" >&2
    status=1
  else
    pids=$(installer_pids) shot=
    while [ -n "$pids" ] && [ $SECONDS -lt $deadline ]; do
      if [ -z "$shot" ]; then
        for p in $pids; do
          w=$(xdotool search --onlyvisible --pid "$p" 2>/dev/null | head -1 || true)
          [ -n "$w" ] || w=$(xdotool search --onlyvisible --class insttq.exe 2>/dev/null | head -1 || true)
          [ -n "$w" ] || continue
          shot=$w
          shoot installer "$w"
          if [ "$auto" = 1 ]; then
            python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); from desktop import Desktop; Desktop(sys.argv[2]).close(int(sys.argv[3]))' \
              "$root/tests/e2e/verify" "$DISPLAY" "$w" || true
          fi
          break
        done
      fi
      sleep 0.2
      pids=$(installer_pids)
    done
    if [ -n "$pids" ]; then
      echo "try-launcher: the installer still runs after ${limit} s; ended it" >&2
      kill $pids 2>/dev/null || true
      status=1
    elif [ -z "$shot" ]; then
      echo "try-launcher: the installer ended without showing a window"
    fi
  fi
fi
[ "$auto" = 1 ] && { timeout 30 wineserver -w || true; }

if [ -n "$mirror_root" ]; then
  echo "try-launcher: requests the mirrors served:"
  grep -ah 'GET /' "$out"/http-*.log 2>/dev/null | sed 's/^/  /' || echo "  (none)"
fi
rm -f "$mark"
if [ -n "$log" ]; then
  cp "$log" "$out/run.log"
  echo "try-launcher: the run's log, $log (copied to $out/run.log):"
  sed '1s/^\xEF\xBB\xBF//; s/\r$//; s/^/  /' "$log"
else
  echo "try-launcher: the launcher left no log in the prefix's temporary folder"
fi
echo "try-launcher: files in $out:"
LC_ALL=C ls -l "$out"
if [ "$status" = 0 ]; then
  echo "try-launcher: the check passed and the installer ran"
else
  echo "try-launcher: FAILED (what and where: above, and the run's log)" >&2
fi
exit "$status"
