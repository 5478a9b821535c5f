#!/usr/bin/env bash
# Whole-process `setupkit extract` of a 4 MiB and a 64 MiB entry against zlib's own inflate of
# the same zlib stream (bench/zinflate.c, and zlib-flate from qpdf): medians of repeated runs
# (hyperfine) as ratios, CPU time as a ratio too, and peak memory (/usr/bin/time -v), which must not grow with the size.
# Optimised build (linux-release). Results in bench/out/payload/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
runs=${RUNS:-15}

cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target setupkit zinflate >/dev/null
bin=build/linux-release/bin
out=bench/out/payload
rm -rf "$out"
mkdir -p "$out"

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

results=()
printf '%-6s %9s %10s %10s %11s %8s %9s %9s %9s %11s %12s\n' size packed extract_s zinflate_s zlibflate_s ratio_z ratio_zf cpu_ext_s cpu_ratio extract_KiB zinflate_KiB
for mib in 4 64; do
  name="entry${mib}.bin"
  libs 2>/dev/null | head -c $((mib << 20)) > "$out/$name" || true
  "$bin/setupkit" pack "$out/a$mib.dat" "$out/$name"
  # The entry's zlib stream alone: after count (4), name length (4), the name and the size (4).
  tail -c +$((4 + 4 + ${#name} + 4 + 1)) "$out/a$mib.dat" > "$out/s$mib.z"
  # hyperfine runs each through a shell and subtracts the shell's own start-up time.
  hyperfine --warmup 2 --runs "$runs" --export-json "$out/h$mib.json" \
    "$bin/setupkit extract $out/a$mib.dat $out/x$mib" \
    "$bin/zinflate < $out/s$mib.z > $out/z$mib.bin" \
    "zlib-flate -uncompress < $out/s$mib.z > $out/f$mib.bin" >/dev/null
  cmp "$out/$name" "$out/x$mib/$name"
  cmp "$out/$name" "$out/z$mib.bin"
  e=$(median "$out/h$mib.json" 0); z=$(median "$out/h$mib.json" 1); f=$(median "$out/h$mib.json" 2)
  me=$(peak_kib "$bin/setupkit" extract "$out/a$mib.dat" "$out/x$mib")
  mz=$(peak_kib sh -c "exec $bin/zinflate < $out/s$mib.z > $out/z$mib.bin")
  ce=$(cpu "$out/h$mib.json" 0); cz=$(cpu "$out/h$mib.json" 1)
  printf '%-6s %9s %10s %10s %11s %8s %9s %9s %9s %11s %12s\n' "${mib}MiB" "$(stat -c %s "$out/a$mib.dat")" "$e" "$z" "$f" \
    "$(ratio "$e" "$z")" "$(ratio "$e" "$f")" "$ce" "$(ratio "$ce" "$cz")" "$me" "$mz"
  results+=("RESULT extract-${mib}MiB $(python3 -c "print('%.1f %.1f' % ($e * 1e3, $z * 1e3))") ms <=1.2 setupkit extract of a $mib MiB entry vs zlib's inflate")
done
# The lines bench/all.sh collects: median times, at most 1.2 times zlib's.
printf '%s\n' "${results[@]}"
