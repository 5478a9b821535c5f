#!/usr/bin/env bash
# Installs what the builds, tests and the demo need on a fresh Debian 12 machine, and the
# packages named as arguments (bench/setup.sh names the benchmarks' own); generates the
# zh_CN.UTF-8 locale that every Wine run uses (scripts/wine-env.sh). Idempotent and quiet: does
# nothing when everything is there already. Runs before anything else in test.sh and demo.sh,
# so that no shell is started under a locale that does not exist yet.
#   bash scripts/setup.sh [PACKAGE ...]
set -euo pipefail

packages=(wine wine32:i386 wine64 xvfb xdotool xclip imagemagick fonts-wqy-microhei locales
          g++-mingw-w64-i686 libz-mingw-w64-dev cmake googletest zlib1g-dev g++ make
          python3 clang libclang-rt-14-dev nginx osslsigncode openssl rsync)
packages+=("$@")

# The caller's own locale may not be generated on a fresh machine either: the installers'
# scripts (perl) would warn about it at every step, so they run under C.UTF-8, which is always there.
sudo_() { if [ "$(id -u)" -eq 0 ]; then env LC_ALL=C.UTF-8 "$@"; else sudo env LC_ALL=C.UTF-8 "$@"; fi; }

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

# (grep reads the whole list: with -q it could stop early and fail `locale -a` under pipefail.)
if ! locale -a 2>/dev/null | grep -ix 'zh_CN.utf8' >/dev/null; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  sudo_ sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | sudo_ tee -a /etc/locale.gen >/dev/null
  sudo_ locale-gen >/dev/null
fi
