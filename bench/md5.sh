#!/usr/bin/env bash
# MD5 figures: our core against OpenSSL's in memory, and the whole `setupkit md5` process
# against coreutils' md5sum on the built launcher (or on FILE when given).
#   bash bench/md5.sh [FILE]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target setupkit md5_bench >/dev/null \
  || { echo "md5.sh: md5_bench needs libssl-dev"; exit 1; }

echo "== MD5 core in memory"
build/linux-release/bin/md5_bench 64 7

target=${1:-build/win32/bin/setupTQ.exe}
if [ ! -f "$target" ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target setupTQ >/dev/null
fi
kit=build/linux-release/bin/setupkit
[ "$($kit md5 "$target")" = "$(md5sum < "$target" | cut -d' ' -f1)" ] \
  || { echo "md5.sh: setupkit md5 and md5sum disagree on $target"; exit 1; }

echo "== whole process on $target ($(stat -c %s "$target") bytes)"
json=$(mktemp)
trap 'rm -f "$json"' EXIT
hyperfine -N --warmup 5 --runs 200 --export-json "$json" \
  "$kit md5 $target" "md5sum $target" >/dev/null
python3 - "$json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
kit, md5sum = r[0]["mean"], r[1]["mean"]
print(f"  setupkit md5  {kit*1e3:8.3f} ms")
print(f"  md5sum        {md5sum*1e3:8.3f} ms")
print(f"  time ratio setupkit/md5sum {kit/md5sum:.2f}  (throughput ratio {md5sum/kit:.2f})")
PY
