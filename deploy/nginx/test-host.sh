#!/usr/bin/env bash
# Mirrors on one test host: deploy/nginx/mirror.conf's server block once per address, in an nginx
# of its own (its configuration, pid file, logs and temporary files in DIR), so that it starts
# and reloads beside any other nginx on the machine, Debian's included.
#
#   deploy/nginx/test-host.sh DIR WEBROOT ADDRESS:PORT...   start it, or reload it when it runs
#   deploy/nginx/test-host.sh DIR --stop                    stop it
#
# Every address serves WEBROOT (what `setupkit publish` wrote) as a mirror does. Give the
# addresses the launcher's mirrors name (`setupkit info setupTQ.exe` lists them), e.g. ten
# loopback addresses for a test release: 127.0.0.81:8080 ... 127.0.0.89:8080 127.0.0.89:8081.
set -euo pipefail
[ $# -ge 2 ] || { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
dir=$(realpath -m "$1")
pid=$dir/nginx.pid
running() { [ -s "$pid" ] && kill -0 "$(cat "$pid")" 2>/dev/null; }
if [ "$2" = --stop ]; then
  if running; then nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" -s quit; fi
  exit 0
fi
[ $# -ge 3 ] || { echo "test-host: give the mirrors' ADDRESS:PORT after WEBROOT" >&2; exit 2; }
webroot=$(realpath "$2")
shift 2
mkdir -p "$dir"
block=$(cat "$(dirname "$0")/mirror.conf")
listen=$(printf '    listen %s;\n' "$@")
# The three lines marked "this mirror": every address listens in one block; no host name.
block=$(awk -v listen="$listen" -v root="    root $webroot;" '
  /^ *listen .*;/ { print listen; next }
  /^ *server_name .*;/ { print "    server_name _;"; next }
  /^ *root .*;/ { print root; next }
  { print }' <<<"$block")
{
  echo "worker_processes 1;"
  echo "pid $pid;"
  echo "error_log $dir/error.log;"
  echo "events { worker_connections 64; }"
  echo "http {"
  echo "    access_log $dir/access.log;"
  for t in client_body proxy fastcgi uwsgi scgi; do echo "    ${t}_temp_path $dir/$t;"; done
  echo "$block"
  echo "}"
} >"$dir/nginx.conf"
nginx -t -q -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf"
if running; then
  nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" -s reload
  echo "test-host: reloaded the nginx of $dir (pid $(cat "$pid")): $* serve $webroot"
else
  nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf"
  echo "test-host: started an nginx in $dir (pid $(cat "$pid")): $* serve $webroot"
fi
