#!/usr/bin/env bash
# Whole-process `setupkit attach` of an installer into the built launcher against what it
# replaces by hand: `setupkit pack` of the same file plus a copy of the stub. Medians of
# repeated runs (hyperfine) as a ratio, CPU time too, and peak memory (/usr/bin/time -v) for a
# 4 MiB and a 64 MiB installer, which must not grow with the installer's size.
# Optimised build (linux-release); the stub is the win32 build's stub (STUB= to choose
# another). Results in bench/out/attach/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
runs=${RUNS:-5}
stub=${STUB:-build/win32/bin/stub/setupTQ.exe}
[ -f "$stub" ] || { echo "attach.sh: no stub at $stub (cmake --build --preset win32 --target setupTQ_stub)" >&2; exit 1; }

cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target setupkit >/dev/null
bin=build/linux-release/bin
out=bench/out/attach
rm -rf "$out"
mkdir -p "$out"

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

printf '%-6s %10s %9s %12s %7s %10s %9s %11s %9s\n' size output attach_s pack_cp_s ratio cpu_att_s cpu_ratio attach_KiB pack_KiB
for mib in 4 64; do
  dir="$out/$mib"
  mkdir -p "$dir"
  # A Windows program (attach refuses anything else as the installer) followed by library bytes.
  { cat "$stub"; libs 2>/dev/null; } | head -c $((mib << 20)) > "$dir/instTQ.exe" || true
  hyperfine --warmup 1 --runs "$runs" --export-json "$out/h$mib.json" \
    "$bin/setupkit attach $stub $dir/instTQ.exe -o $dir/setupTQ.exe" \
    "$bin/setupkit pack $dir/payload.dat $dir/instTQ.exe && cp $stub $dir/stub.exe" >/dev/null
  a=$(median "$out/h$mib.json" 0); p=$(median "$out/h$mib.json" 1)
  ca=$(cpu "$out/h$mib.json" 0); cp_=$(cpu "$out/h$mib.json" 1)
  ma=$(peak_kib "$bin/setupkit" attach "$stub" "$dir/instTQ.exe" -o "$dir/setupTQ.exe")
  mp=$(peak_kib "$bin/setupkit" pack "$dir/payload.dat" "$dir/instTQ.exe")
  printf '%-6s %10s %9s %12s %7s %10s %9s %11s %9s\n' "${mib}MiB" "$(stat -c %s "$dir/setupTQ.exe")" "$a" "$p" \
    "$(ratio "$a" "$p")" "$ca" "$(ratio "$ca" "$cp_")" "$ma" "$mp"
done
