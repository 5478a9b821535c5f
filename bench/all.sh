#!/usr/bin/env bash
# Every side-by-side figure of bench/ in one table: each benchmark, its anchor, the ratio, the
# target and whether it is met. Installs the benchmarks' packages, builds what they need, runs
# each bench script (its whole output goes to build/bench/all/SCRIPT.txt) and collects the lines
#   RESULT KEY OURS ANCHOR UNIT TARGET LABEL...
# that the scripts print. TARGET is "<=X" or ">=X" on the ratio OURS / ANCHOR, or on OURS
# itself when ANCHOR is "-". Exit status 0 when every expected figure is there and meets its
# target.
#   bash bench/all.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
out=build/bench/all
rm -rf "$out"
mkdir -p "$out"

bash bench/setup.sh
load_start=$(cut -d' ' -f1-3 /proc/loadavg)

echo "== building (linux-release; win32 launcher)"
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target setupkit zinflate md5_bench bench_transport >/dev/null
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target setupTQ setupkit trustca >/dev/null

# Start-up is timed under Wine; the lock keeps it from running beside another Wine run of this
# project on the machine (a test run under Wine in another checkout would distort the timing).
absent=() failures=()
for script in payload md5 transport http https mirrors startup startup_large size attach; do
  path=bench/$script.sh
  if [ ! -f "$path" ]; then
    echo "== $script.sh: not present"
    absent+=("$script.sh")
    continue
  fi
  echo "== $script.sh"
  run=(bash "$path")
  case $script in startup*) run=(flock /tmp/setuptq-wine.lock bash "$path") ;; esac
  rc=0
  "${run[@]}" >"$out/$script.txt" 2>&1 || rc=$?
  grep '^RESULT ' "$out/$script.txt" >>"$out/results.txt" || true
  [ $rc -eq 0 ] || failures+=("$script.sh ended with exit code $rc: see $out/$script.txt")
done
touch "$out/results.txt"

echo
python3 - "$out/results.txt" "$load_start" "$(cut -d' ' -f1-3 /proc/loadavg)" "$(nproc)" "${absent[*]}" \
  "${failures[@]}" <<'PY'
import sys

path, load_start, load_end, cores, absent, *failures = sys.argv[1:]
absent = [f"{name}: not present" for name in absent.split()]
# The figures the table must have; a script may add others.
expected = ["extract-4MiB", "extract-64MiB", "fingerprint-64MiB", "fingerprint-launcher", "md5-core",
            "transport", "http-small", "http-large", "https-small", "https-large", "https-first", "check-mirrors", "size", "startup", "startup-large"]
results = {}
for line in open(path):
    key, ours, anchor, unit, target, *label = line.split()[1:]
    results[key] = (float(ours), None if anchor == "-" else float(anchor), unit, target, " ".join(label))

def number(x):
    return f"{x:.0f}" if x >= 1000 else f"{x:.1f}" if x >= 100 else f"{x:.2f}" if x >= 10 else f"{x:.3f}"

rows, all_met = [], not failures
for key in expected + [k for k in results if k not in expected]:
    if key not in results:
        rows.append((key, "no figure", "", "", "", "NO"))
        all_met = False
        continue
    ours, anchor, unit, target, label = results[key]
    value = ours if anchor is None else ours / anchor
    limit = float(target[2:])
    met = value <= limit if target.startswith("<=") else value >= limit
    all_met &= met
    rows.append((label or key, f"{number(ours)} {unit}", "-" if anchor is None else f"{number(anchor)} {unit}",
                 "-" if anchor is None else f"{value:.2f}", target if anchor is not None else f"{target} {unit}",
                 "yes" if met else "NO"))

head = ("benchmark", "ours", "anchor", "ratio", "target", "met")
widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
for r in [head, tuple("-" * w for w in widths)] + rows:
    print("| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |")
print(f"\nload average (1, 5, 15 min): {load_start} at the start, {load_end} at the end; {cores} cores")
for note in absent + failures:
    print(note)
print("every target met" if all_met else "NOT every target met")
sys.exit(0 if all_met else 1)
PY
