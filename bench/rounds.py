#!/usr/bin/env python3
"""Times commands as whole processes with hyperfine (no shell), in several rounds whose order
alternates, so that a load that comes and goes on a shared machine falls on each command alike.
Prints one line per command: its median and minimum over all runs, in milliseconds.

    rounds.py ROUNDS RUNS_PER_ROUND COMMAND [COMMAND ...]
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile


def main():
    rounds, runs, commands = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3:]
    times = {c: [] for c in commands}
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "round.json")
        for r in range(rounds):
            order = commands if r % 2 == 0 else commands[::-1]
            subprocess.run(["hyperfine", "-N", "--warmup", "3", "--runs", str(runs), "--export-json", path, *order],
                           check=True, stdout=subprocess.DEVNULL)
            for result in json.load(open(path))["results"]:
                times[result["command"]] += result["times"]
    for c in commands:
        print(f"{statistics.median(times[c]) * 1e3:.3f} {min(times[c]) * 1e3:.3f} {c}")


main()
