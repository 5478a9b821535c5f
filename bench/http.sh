#!/usr/bin/env bash
# setupkit fetch against curl on one local web server (loopback only), whole process each:
#   1. 1,000 URLs of a small body, fetched by one process over one kept-alive connection;
#   2. one 64 MiB body;
# each also with a plain blocking connect (--read-timeout 0), to show what the timed connect costs.
# Prints the median times over alternating rounds and their ratios, and the peak memory of
# each client for the large body (hyperfine drops the clients' output).
# Usage: bench/http.sh [path/to/setupkit]   (default: the linux-release build)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
SETUPKIT=${1:-build/linux-release/bin/setupkit}
if [ ! -x "$SETUPKIT" ]; then
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release --target setupkit
fi
command -v hyperfine >/dev/null || { echo "hyperfine is needed (bench/setup.sh)"; exit 1; }

source bench/lib.sh
bench_work_with_server
fetch_bodies

# An HTTP/1.1 server with keep-alive on a free loopback port; it stops itself after 30 minutes.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
(cd "$work/www" && exec timeout 1800 python3 -c '
import functools, http.server, sys
class H(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True  # headers and body go in two writes
    def log_message(self, *a): pass
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), H).serve_forever()
' "$port") &
server_pid=$!
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$port/small.htm" && break
  sleep 0.1
done

base="http://127.0.0.1:$port"
small_url_lists "$base"

# Sanity: both clients get the same bytes.
"$SETUPKIT" fetch "$base/large.bin" --max-body 0 | cmp - "$work/www/large.bin"
curl -s "$base/large.bin" | cmp - "$work/www/large.bin"

# Medians over alternating rounds (bench/rounds.py) of setupkit, setupkit with a plain blocking
# connect and curl, and the RESULT line for bench/all.sh (at most 1.2 times curl's time).
#   compare KEY NAME SETUPKIT_ARGUMENTS CURL_ARGUMENTS
compare() {
  echo "== $2"
  python3 bench/rounds.py 8 2 "$SETUPKIT fetch $3" "$SETUPKIT fetch --read-timeout 0 $3" "curl $4" | python3 -c '
import sys
key, name = sys.argv[1:]
(s, s_min), (b, b_min), (c, c_min) = [map(float, line.split()[:2]) for line in sys.stdin]
print(f"{name:18s} setupkit {s:8.1f} ms median (min {s_min:.1f})   curl {c:8.1f} ms (min {c_min:.1f})   ratio {s / c:.2f}")
pad = " " * 18
print(f"{pad} (setupkit with a plain blocking connect, --read-timeout 0: {b:.1f} ms, ratio {b / c:.2f};"
      " the difference is the timed connect\x27s thread)")
print(f"RESULT {key} {s:.1f} {c:.1f} ms <=1.2 setupkit fetch of {name} vs curl")' "$1" "$2"
}
compare http-small "1,000 small URLs" "$(tr '\n' ' ' <"$work/urls.txt")" "-s -K $work/curl.cfg"
compare http-large "one 64 MiB body" "--max-body 0 $base/large.bin" "-s -o /dev/null $base/large.bin"

rss() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }
echo "peak memory, 64 MiB body: setupkit $(rss "$SETUPKIT" fetch --max-body 0 "$base/large.bin") KiB," \
     "curl $(rss curl -s -o /dev/null "$base/large.bin") KiB"
