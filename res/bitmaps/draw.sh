#!/usr/bin/env bash
# Redraws the launcher's bitmaps in this folder at 100, 125, 150 and 200 %: the shapes with
# draw.py, then the words on the install button with ImageMagick and the CJK font of
# fonts-wqy-microhei, at the point size of each scale. The results are checked in; run this
# only to change them. The program carries every picture compressed (Name.bmp.z,
# Name_125.bmp.z: the .bmp file in a zlib stream); the .bmp files beside them are for people
# and the tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 draw.py "$work/100.bmp" "$work/125.bmp" "$work/150.bmp" "$work/200.bmp"
for percent in 100 125 150 200; do
  out=InstallButton.bmp
  [ "$percent" = 100 ] || out="InstallButton_$percent.bmp"
  # 24 bits per pixel, no alpha, no colour-space chunks: a plain BITMAPINFOHEADER file.
  convert "$work/$percent.bmp" -font "$font" -pointsize "$((12 * percent / 100))" -fill '#333333' -gravity center \
    -annotate +0+0 '开始安装' -alpha off -type TrueColor "BMP3:$out"
done
for picture in *.bmp; do
  python3 -c 'import sys, zlib; sys.stdout.buffer.write(zlib.compress(open(sys.argv[1], "rb").read(), 9))' \
    "$picture" >"$picture.z"
done
