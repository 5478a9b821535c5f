#!/usr/bin/env bash
# Installs what the builds, tests and the demo need on a fresh Debian 12 machine, and the
# packages named as arguments (bench/setup.sh names the benchmarks' own); generates the
# locales of the Wine runs (scripts/wine-env.sh and the end-to-end tests). Idempotent and quiet: does
# nothing when everything is there already. Runs before anything else in test.sh and demo.sh,
# so that no shell is started under a locale that does not exist yet.
#   bash scripts/setup.sh [PACKAGE ...]
set -euo pipefail

packages=(wine wine32:i386 wine64 xvfb xdotool xclip imagemagick fonts-wqy-microhei locales
          g++-mingw-w64-i686 libz-mingw-w64-dev cmake googletest zlib1g-dev g++ make
          python3 clang clang-format-14 libclang-rt-14-dev nginx osslsigncode openssl libssl-dev rsync squid)
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

# The locales of the Wine runs: zh_CN (code page 936) for every run, and the ones the
# end-to-end tests start Wine under to meet the launcher as users of Windows in English (1252),
# Japanese (932) and traditional Chinese (950) do.
# (grep reads the whole list: with -q it could stop early and fail `locale -a` under pipefail.)
wanted=()
for loc in zh_CN en_US ja_JP zh_TW; do
  locale -a 2>/dev/null | grep -ix "$loc.utf8" >/dev/null || wanted+=("$loc")
done
if [ ${#wanted[@]} -gt 0 ]; then
  echo "setup: generating the locales ${wanted[*]/%/.UTF-8}"
  for loc in "${wanted[@]}"; do
    sudo_ sed -i "s/^# *\($loc.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" | sudo_ tee -a /etc/locale.gen >/dev/null
  done
  sudo_ locale-gen >/dev/null
fi
