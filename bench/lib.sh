# Sourced by the benchmarks: data and the figures they read from hyperfine and /usr/bin/time.

# Data like an installer's: real executable code and data, not a synthetic pattern.
libs() { find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' -size +100k | LC_ALL=C sort | xargs cat; }

# The median wall time of result N of a hyperfine JSON export.
median() { python3 -c 'import json,sys; print("%.4f" % json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]["median"])' "$@"; }
# User plus system CPU time: steadier than wall time on a busy machine.
cpu() { python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]; print("%.4f" % (r["user"]+r["system"]))' "$@"; }
# A over B, to three places.
ratio() { python3 -c "print('%.3f' % ($1 / $2))"; }
# Peak resident memory of a command, in KiB.
peak_kib() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print $2}'; }

# Seconds from starting PROGRAM in folder DIR under Wine until a window with CAPTION is mapped
# (bench/mapwatch.c, built as MAPWATCH, hears it from the X server); then the program is ended.
#   time_to_window DIR PROGRAM CAPTION
time_to_window() {
  local dir=$1 exe=$2 caption=$3 ms
  ms=$(cd "$dir" && "$MAPWATCH" "$caption" 60 wine "./$exe") || {
    echo "no window for $exe" >&2
    return 1
  }
  wine taskkill /F /IM "$exe" >/dev/null 2>&1 || true
  awk "BEGIN { print $ms / 1000 }"
}

# For the benchmarks that time windows under Wine: the project's Wine environment, a private
# display, and one Wine server for all runs (ending by itself a few seconds after the last);
# the display and the folder WORK go when the script exits.
#   wine_bench_session WORK
wine_bench_session() {
  wine_bench_work=$1
  source scripts/wine-env.sh
  source scripts/xvfb.sh
  trap 'rm -rf "$wine_bench_work"; stop_xvfb' EXIT
  start_xvfb
  [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1 || true; wineserver -w; }
  wineserver -p5
}

# A scratch folder $work for a benchmark that starts a local server, whose process id goes in
# $server_pid: the server and the folder go when the script exits.
#   bench_work_with_server
bench_work_with_server() {
  work=$(mktemp -d)
  server_pid=
  trap '{ [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; } || true; rm -rf "$work"' EXIT
}

# The two bodies the fetch benchmarks serve from $work/www: a small reply and 64 MiB of noise.
fetch_bodies() {
  mkdir -p "$work/www"
  printf 'c8a2d1f0e4b7a9c3d5e6f7a8b9c0d1e2\n' >"$work/www/small.htm"
  head -c $((64 * 1024 * 1024)) /dev/urandom >"$work/www/large.bin"
}

# The 1,000 URLs of the small body under BASE: one a line in $work/urls.txt (setupkit's
# arguments) and as curl's configuration in $work/curl.cfg (bodies dropped).
#   small_url_lists BASE
small_url_lists() {
  : >"$work/urls.txt"
  : >"$work/curl.cfg"
  for i in $(seq 1000); do
    echo "$1/small.htm?n=$i" >>"$work/urls.txt"
    printf 'url = "%s/small.htm?n=%d"\noutput = "/dev/null"\n' "$1" "$i" >>"$work/curl.cfg"
  done
}
