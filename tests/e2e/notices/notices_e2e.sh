#!/usr/bin/env bash
# Shows a balloon of each pointer kind and the certification window on real windows under
# Wine, takes a screenshot of each from the X display, and checks size, place and pixels:
#   notices_e2e.sh NOTICES_SHOW_EXE OUTPUT_DIR
# Needs DISPLAY (scripts/xvfb.sh). The screenshots stay in OUTPUT_DIR for people to look at.
set -euo pipefail
exe=$1
out=$2
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
run="$here/../../../scripts/wine-run.sh"
if [ -z "${DISPLAY:-}" ]; then
  echo "notices_e2e: no DISPLAY; start one with scripts/xvfb.sh" >&2
  exit 1
fi
mkdir -p "$out"
rm -f "$out"/*.txt "$out"/*.png "$out"/*.done

# Waits (bounded) for a file to appear while the process lives.
wait_for() {
  local file=$1 pid=$2
  for _ in $(seq 1200); do
    [ -s "$file" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

failed=0
shot() { import -window root -display "$DISPLAY" "$1"; }

# Anchors chosen so that every kind lies fully on the 1280 x 1024 screen.
anchors=("700 500" "300 500" "700 300" "500 300")
for kind in 0 1 2 3; do
  report="$out/balloon-kind$kind.txt" done="$out/balloon-kind$kind.done"
  read -r ax ay <<<"${anchors[$kind]}"
  "$run" "$exe" "$report" "$done" balloon "$kind" "$ax" "$ay" &
  pid=$!
  if wait_for "$report" "$pid"; then
    shot "$out/screen-kind$kind.png"
    python3 "$here/check_shot.py" balloon "$report" "$out/screen-kind$kind.png" "$out/balloon-kind$kind.png" || failed=1
  else
    echo "balloon kind $kind: no report" >&2
    failed=1
  fi
  touch "$done"
  wait "$pid" || { echo "balloon kind $kind: exit code $?" >&2; failed=1; }
done

report="$out/confirm.txt"
"$run" "$exe" "$report" "$out/confirm.done" confirm &
pid=$!
if wait_for "$report" "$pid"; then
  shot "$out/screen-confirm.png"
  python3 "$here/check_shot.py" confirm "$report" "$out/screen-confirm.png" "$out/confirm.png" || failed=1
  read -r _ bx by < <(grep '^button ' "$report")
  xdotool mousemove "$bx" "$by" click 1
else
  echo "confirm: no report" >&2
  failed=1
fi
if wait "$pid"; then
  grep -q '^closed [1-9][0-9]* visible 0$' "$report" || { echo "confirm: not closed by its button" >&2; failed=1; }
else
  echo "confirm: exit code $?" >&2
  failed=1
fi
rm -f "$out"/screen-*.png
[ "$failed" = 0 ] && echo "notices_e2e: all checks passed; screenshots in $out"
exit "$failed"
