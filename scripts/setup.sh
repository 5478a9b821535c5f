#!/usr/bin/env bash
# Installs what the builds, tests and the demo need on a fresh Debian 12 machine, and the
# packages named as arguments (bench/setup.sh names the benchmarks' own).
# Idempotent and quiet: does nothing when everything is there already.
#   bash scripts/setup.sh [PACKAGE ...]
set -euo pipefail

packages=(wine wine32:i386 wine64 xvfb xdotool xclip imagemagick fonts-wqy-microhei locales
          g++-mingw-w64-i686 libz-mingw-w64-dev cmake googletest zlib1g-dev g++ make
          python3 clang libclang-rt-14-dev)
packages+=("$@")

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_ dpkg --add-architecture i386
  fi
  sudo_ apt-get update -qq
  sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  sudo_ sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | sudo_ tee -a /etc/locale.gen >/dev/null
  sudo_ locale-gen >/dev/null
fi
