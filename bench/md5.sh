#!/usr/bin/env bash
# MD5 figures: our core against OpenSSL's in memory, and the whole `setupkit md5` process
# against coreutils' md5sum on a 64 MiB file and on the built launcher (medians).
#   bash bench/md5.sh [LAUNCHER]     (default build/win32/bin/setupTQ.exe, if built)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target setupkit md5_bench >/dev/null \
  || { echo "md5.sh: md5_bench needs libssl-dev (bench/setup.sh)"; exit 1; }
kit=build/linux-release/bin/setupkit
out=build/bench
mkdir -p "$out"

echo "== MD5 core in memory"
build/linux-release/bin/md5_bench

# Prints the medians of `setupkit md5 FILE` and `md5sum FILE` over alternating rounds
# (bench/rounds.py) and the RESULT line.
#   compare KEY ROUNDS RUNS FILE LABEL
compare() {
  local key=$1 rounds=$2 runs=$3 file=$4 label=$5
  [ "$($kit md5 "$file")" = "$(md5sum <"$file" | cut -d' ' -f1)" ] \
    || { echo "md5.sh: setupkit md5 and md5sum disagree on $file"; exit 1; }
  echo "== whole process on $file ($(stat -c %s "$file") bytes), $rounds rounds of $runs runs"
  python3 bench/rounds.py "$rounds" "$runs" "$kit md5 $file" "md5sum $file" | python3 -c '
import sys
key, label = sys.argv[1:]
(kit, kit_min), (md5sum, md5sum_min) = [map(float, line.split()[:2]) for line in sys.stdin]
print(f"  setupkit md5  {kit:9.3f} ms median, {kit_min:.3f} min")
print(f"  md5sum        {md5sum:9.3f} ms median, {md5sum_min:.3f} min")
print(f"  ratio         {kit / md5sum:9.2f}")
print(f"RESULT {key} {kit:.3f} {md5sum:.3f} ms <=1.2 {label}")' "$key" "$label"
}

big=$out/md5-64MiB.bin
[ "$(stat -c %s "$big" 2>/dev/null || echo 0)" = $((64 << 20)) ] || head -c $((64 << 20)) /dev/urandom >"$big"
compare fingerprint-64MiB 6 5 "$big" "setupkit md5 of 64 MiB vs md5sum"

launcher=${1:-build/win32/bin/setupTQ.exe}
if [ -f "$launcher" ]; then
  compare fingerprint-launcher 10 30 "$launcher" "setupkit md5 of the launcher vs md5sum"
else
  echo "md5.sh: no launcher at $launcher (cmake --build --preset win32 --target setupTQ): not measured"
fi
