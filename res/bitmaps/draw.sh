#!/usr/bin/env bash
# Redraws the launcher's bitmaps in this folder: the shapes with draw.py, then the words on
# the install button with ImageMagick and the CJK font of fonts-wqy-microhei. The results
# are checked in; run this only to change them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
base=$(mktemp --suffix=.bmp)
trap 'rm -f "$base"' EXIT
python3 draw.py "$base"
# 24 bits per pixel, no alpha, no colour-space chunks: a plain BITMAPINFOHEADER file.
convert "$base" -font "$font" -pointsize 12 -fill '#333333' -gravity center \
  -annotate +0+0 '开始安装' -alpha off -type TrueColor BMP3:InstallButton.bmp
