#!/usr/bin/env bash
# Installs what the benchmarks need beyond the builds' own packages: OpenSSL's headers (the
# MD5 core's yardstick), hyperfine, zlib-flate (qpdf), GNU time (peak memory), curl, and
# Xlib's headers for the start-up watcher (bench/mapwatch.c).
# Idempotent: installs only what is missing (through scripts/setup.sh, as root or with sudo).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
exec bash scripts/setup.sh libssl-dev hyperfine qpdf time curl libx11-dev
