#!/usr/bin/env bash
# Counted read of 64 MiB over loopback: ReadIntoStream against a plain recv loop, as a ratio.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target bench_transport >/dev/null
build/linux-release/bin/bench_transport
