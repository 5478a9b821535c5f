#!/usr/bin/env bash
# setupkit fetch over TLS against curl, both on one nginx serving TLS on loopback with a
# certificate of a test CA made here (trusted by naming it: SSL_CERT_FILE for setupkit, --cacert
# for curl), whole process each:
#   1. 1,000 URLs of a small body, fetched by one process over one kept-alive connection;
#   2. one 64 MiB body;
# and what the first https answer costs the launcher's client over the first http one:
# setupkit.exe (the launcher's HTTP client and Schannel) under Wine, one fetch a process, of the
# same small file over https:// and over http:// from the same nginx. That difference (loading
# secur32 and crypt32, the handshake, the chain engine reading the system's roots) should stay
# within half a second, a small part of what a user waits for the check.
# Prints the median times over alternating rounds and their ratios.
# Usage: bench/https.sh [path/to/setupkit] [path/to/setupkit.exe] [path/to/trustca.exe]
#   (defaults: the linux-release build's, the win32 build's)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
SETUPKIT=${1:-build/linux-release/bin/setupkit}
SETUPKIT_EXE=${2:-build/win32/bin/setupkit.exe}
TRUSTCA=${3:-build/win32/tests/e2e/tls/trustca.exe}
if [ ! -x "$SETUPKIT" ]; then
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release --target setupkit
fi
if [ ! -f "$SETUPKIT_EXE" ] || [ ! -f "$TRUSTCA" ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target setupkit trustca
fi
command -v hyperfine >/dev/null || { echo "hyperfine is needed (bench/setup.sh)"; exit 1; }

source bench/lib.sh
bench_work_with_server
fetch_bodies
chmod 755 "$work"  # nginx's workers read the bodies as another user

# nginx with a certificate of a test CA for 127.0.0.1, TLS on a free port and plain HTTP on
# another (tests/e2e/tls/tls_mirrors.py); it ends when its standard input closes.
read -r tls_port http_port < <(python3 -c '
import socket
a, b = socket.socket(), socket.socket()
a.bind(("127.0.0.1", 0)); b.bind(("127.0.0.1", 0))
print(a.getsockname()[1], b.getsockname()[1])')
exec 3> >(exec timeout 1800 python3 tests/e2e/tls/tls_mirrors.py "$work/nginx" "$work/www" \
  "127.0.0.1:$tls_port=good" "127.0.0.1:$http_port=plain" >"$work/nginx.out" 2>&1)
server_pid=$!
for _ in $(seq 300); do
  grep -q ready "$work/nginx.out" 2>/dev/null && break
  sleep 0.1
done
grep -q ready "$work/nginx.out" || { cat "$work/nginx.out"; exit 1; }
ca=$work/nginx/certs/ca.pem
export SSL_CERT_FILE=$ca

base="https://127.0.0.1:$tls_port"
small_url_lists "$base"

# Sanity: both clients get the same bytes, over TLS with the chain checked.
"$SETUPKIT" fetch "$base/large.bin" --max-body 0 | cmp - "$work/www/large.bin"
curl -s --cacert "$ca" "$base/large.bin" | cmp - "$work/www/large.bin"

#   compare KEY NAME SETUPKIT_ARGUMENTS CURL_ARGUMENTS
compare() {
  echo "== $2"
  python3 bench/rounds.py 8 2 "$SETUPKIT fetch $3" "curl --cacert $ca $4" | python3 -c '
import sys
key, name = sys.argv[1:]
(s, s_min), (c, c_min) = [map(float, line.split()[:2]) for line in sys.stdin]
print(f"{name:18s} setupkit {s:8.1f} ms median (min {s_min:.1f})   curl {c:8.1f} ms (min {c_min:.1f})   ratio {s / c:.2f}")
print(f"RESULT {key} {s:.1f} {c:.1f} ms <=1.2 setupkit fetch of {name} over https vs curl")' "$1" "$2"
}
compare https-small "1,000 small URLs" "$(tr '\n' ' ' <"$work/urls.txt")" "-s -K $work/curl.cfg"
compare https-large "one 64 MiB body" "--max-body 0 $base/large.bin" "-s -o /dev/null $base/large.bin"

# The launcher's client under Wine: the test CA trusted in a prefix of this benchmark's own.
echo "== the first answer over https vs http, setupkit.exe under Wine"
source scripts/wine-env.sh
export WINEPREFIX=$work/prefix
source scripts/xvfb.sh
start_xvfb
trap '{ [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; } || true; stop_xvfb; rm -rf "$work"' EXIT
wineboot -i >/dev/null 2>&1 || true
wineserver -w
wineserver -p30
wine "$TRUSTCA" "Z:${ca//\//\\}"
wine "$SETUPKIT_EXE" fetch "$base/small.htm" | cmp - "$work/www/small.htm"
python3 bench/rounds.py 4 5 "wine $SETUPKIT_EXE fetch $base/small.htm" \
  "wine $SETUPKIT_EXE fetch http://127.0.0.1:$http_port/small.htm" | python3 -c '
import sys
(s, s_min), (p, p_min) = [map(float, line.split()[:2]) for line in sys.stdin]
print(f"first answer       https {s:8.1f} ms median (min {s_min:.1f})   http {p:8.1f} ms (min {p_min:.1f})   "
      f"difference {s - p:.1f} ms")
print(f"RESULT https-first {s - p:.1f} - ms <=500 what the first https answer adds to the first http one (setupkit.exe under Wine)")'
