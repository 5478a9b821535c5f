#!/usr/bin/env bash
# check-mirrors asks every mirror at once: ten mirrors on loopback, seven serving the reply and
# three silent (they take the request and send nothing for 30 s), against the same launcher
# checked against one silent mirror alone. The whole check should take no longer than its
# slowest mirror (target: at most 1.1x). Each side is run three times; the medians are compared.
# Usage: bench/mirrors.sh [path/to/setupkit] [path/to/launcher]
#   (defaults: the linux-release setupkit, the win32 build's release launcher)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
SETUPKIT=${1:-build/linux-release/bin/setupkit}
LAUNCHER=${2:-build/win32/bin/setupTQ.exe}
if [ ! -x "$SETUPKIT" ]; then
  cmake --preset linux-release >/dev/null
  cmake --build --preset linux-release --target setupkit
fi
if [ ! -f "$LAUNCHER" ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target setupTQ
fi

source bench/lib.sh
bench_work_with_server

"$SETUPKIT" publish --unsigned --offline --create "$LAUNCHER" "$work/www" >/dev/null
reply=$(find "$work/www" -name '*ins.htm')
path=${reply#"$work/www"}

# Ten listening sockets on free loopback ports: the first seven answer every request with the
# reply, the last three read the request and stay silent for 30 s. The ports go to ports.txt.
timeout 1800 python3 - "$reply" "$work/ports.txt" <<'PY' &
import asyncio, sys
body = open(sys.argv[1], "rb").read()
head = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % len(body)

async def serve(reader, writer, silent):
    await reader.readuntil(b"\r\n\r\n")
    if silent:
        await asyncio.sleep(30)
    else:
        writer.write(head + body)
        await writer.drain()
    writer.close()

async def main():
    servers = []
    for i in range(10):
        silent = i >= 7
        servers.append(await asyncio.start_server(lambda r, w, s=silent: serve(r, w, s), "127.0.0.1", 0))
    with open(sys.argv[2] + ".tmp", "w") as f:
        f.write(" ".join(str(s.sockets[0].getsockname()[1]) for s in servers) + "\n")
    import os
    os.rename(sys.argv[2] + ".tmp", sys.argv[2])
    await asyncio.Event().wait()

asyncio.run(main())
PY
server_pid=$!
for _ in $(seq 100); do
  [ -f "$work/ports.txt" ] && break
  sleep 0.1
done
read -ra ports <"$work/ports.txt"

all=()
for p in "${ports[@]}"; do all+=(--mirror "http://127.0.0.1:$p/"); done
one=(--mirror "http://127.0.0.1:${ports[9]}/")

# Wall seconds of one check-mirrors run (exit 1 is expected: silent mirrors do not match).
seconds() {
  local start end
  start=$(date +%s.%N)
  "$SETUPKIT" check-mirrors "$LAUNCHER" "$@" >"$work/last.txt" 2>&1 || true
  end=$(date +%s.%N)
  python3 -c "print('%.3f' % ($end - $start))"
}
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

single=() ten=()
for round in 1 2 3; do
  single+=("$(seconds "${one[@]}")")
  ten+=("$(seconds "${all[@]}")")
  echo "round $round: one silent mirror ${single[-1]} s, ten mirrors (three silent) ${ten[-1]} s"
done
echo "the last run of the ten:"
cat "$work/last.txt"
s=$(median "${single[@]}")
t=$(median "${ten[@]}")
echo "median: one silent mirror $s s, ten mirrors $t s, ratio $(python3 -c "print('%.3f' % ($t / $s))")"
echo "RESULT check-mirrors $t $s s <=1.1 check-mirrors: 10 mirrors (3 silent) vs 1 silent mirror"
