#!/usr/bin/env python3
"""Draws the launcher's bitmaps as 24-bit .bmp files beside this script, at each scale the
windows are shown at: 100 % (Name.bmp), 125, 150 and 200 % (Name_125.bmp, ...). Every shape is
given in the 100 % picture's pixels and drawn afresh at each scale (a pixel is painted when its
centre, taken back to the design's pixels, lies inside), so a larger picture is sharp, not an
enlargement; the 100 % pictures stay as they always were.

  (sizes at 100 %)
  BClose.bmp         18 x 18  close glyph of the balloon (a complete .bmp file resource)
  Info.bmp           16 x 16  blue i in a white speech bubble
  Error.bmp          16 x 16  red disc with a white cross
  Warning.bmp        16 x 16  yellow triangle with a black exclamation mark
  CopyGlyph.bmp      21 x 20  two overlapping documents
  InstallButton.bmp  79 x 25  grey rounded button; the words are drawn on it by draw.sh

The three icons share the background RGB(255, 255, 225), which is also their bottom-left
pixel: the balloon shows that colour as see-through. Pure Python, no imaging library.
"""
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


SCALES = (100, 125, 150, 200)


def scaled(n, percent):
    """A length of the design at a scale, rounded as the launcher rounds (halves up)."""
    return (n * percent + 50) // 100


class Canvas:
    def __init__(self, w, h, bg, percent=100):
        self.s = percent / 100
        self.w, self.h = scaled(w, percent), scaled(h, percent)
        self.px = [[bg] * self.w for _ in range(self.h)]  # px[y][x], y = 0 at the top

    def set_corner(self, c):
        """The bottom-left pixel: the see-through key of a transparent picture."""
        self.px[self.h - 1][0] = c

    def fill(self, inside, c):
        """Paints every pixel whose centre, in the design's pixels, satisfies inside(cx, cy)."""
        for y in range(self.h):
            for x in range(self.w):
                if inside((x + 0.5) / self.s, (y + 0.5) / self.s):
                    self.px[y][x] = c

    def bmp(self):
        """The picture as a complete 24-bit .bmp file, rows bottom-up, padded to 4 bytes."""
        row = (self.w * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.h - 1, -1, -1):
            line = bytearray()
            for r, g, b in self.px[y]:
                line += bytes((b, g, r))
            data += line + b"\0" * (row - len(line))
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
        return head + info + bytes(data)

    def save(self, name):
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(self.bmp())


def rounded_rect(x0, y0, x1, y1, r):
    """Inside test for a rounded rectangle with corner radius r (edges inclusive)."""
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def line_band(ax, ay, bx, by, half):
    """Inside test for the segment a-b thickened to 2 * half."""
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) <= half
    return inside


def triangle(a, b, c):
    def side(p, q, x, y):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    def inside(x, y):
        s1, s2, s3 = side(a, b, x, y), side(b, c, x, y), side(c, a, x, y)
        return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)
    return inside


def grow(inside, d):
    """The shape grown by d pixels in every direction (for outlines)."""
    offsets = [(d * math.cos(a * math.pi / 8), d * math.sin(a * math.pi / 8)) for a in range(16)]
    return lambda x, y: inside(x, y) or any(inside(x + ox, y + oy) for ox, oy in offsets)


ICON_BG = (255, 255, 225)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)


def close_glyph(percent):
    c = Canvas(18, 18, (128, 128, 128), percent)                    # the one-pixel grey frame
    c.fill(lambda x, y: 1 <= x <= 17 and 1 <= y <= 17, (224, 224, 224))
    c.fill(line_band(5, 5, 13, 13, 0.75), BLACK)
    c.fill(line_band(13, 5, 5, 13, 0.75), BLACK)
    return c


def info_icon(percent):
    c = Canvas(16, 16, ICON_BG, percent)
    bubble = rounded_rect(1, 1, 15, 12, 4)
    tail = triangle((4, 11), (9, 11), (3.5, 15))
    shape = lambda x, y: bubble(x, y) or tail(x, y)
    c.fill(grow(shape, 0.9), (70, 100, 160))                 # blue-grey outline
    c.fill(shape, WHITE)
    c.fill(rounded_rect(7, 3, 9, 5, 1), (0, 64, 224))        # the dot of the i
    c.fill(lambda x, y: 7 <= x <= 9 and 6 <= y <= 11, (0, 64, 224))
    c.set_corner(ICON_BG)                                    # keep the see-through key
    return c


def error_icon(percent):
    c = Canvas(16, 16, ICON_BG, percent)
    disc = lambda x, y: (x - 8) ** 2 + (y - 8) ** 2 <= 7.4 ** 2
    c.fill(disc, (160, 0, 0))
    c.fill(lambda x, y: (x - 8) ** 2 + (y - 8) ** 2 <= 6.4 ** 2, (224, 32, 32))
    c.fill(line_band(5, 5, 11, 11, 0.9), WHITE)
    c.fill(line_band(11, 5, 5, 11, 0.9), WHITE)
    c.set_corner(ICON_BG)
    return c


def warning_icon(percent):
    c = Canvas(16, 16, ICON_BG, percent)
    outer = triangle((8, 0.5), (15.5, 15), (0.5, 15))
    inner = triangle((8, 2.6), (14, 14), (2, 14))
    c.fill(outer, (96, 72, 0))
    c.fill(inner, (255, 208, 0))
    c.fill(lambda x, y: 7 <= x <= 9 and 5 <= y <= 10, BLACK)
    c.fill(lambda x, y: 7 <= x <= 9 and 11.6 <= y <= 13, BLACK)
    c.set_corner(ICON_BG)
    return c


def copy_glyph(percent):
    c = Canvas(21, 20, (192, 192, 192), percent)
    for x0, y0 in ((2, 1), (8, 6)):                          # back page, then front page
        page = lambda x, y, x0=x0, y0=y0: x0 <= x <= x0 + 11 and y0 <= y <= y0 + 13
        c.fill(page, (64, 64, 64))
        c.fill(lambda x, y, x0=x0, y0=y0: x0 + 1 <= x <= x0 + 10 and y0 + 1 <= y <= y0 + 12, WHITE)
        for k in range(4):                                   # lines of text
            yk = y0 + 3 + 2.5 * k
            c.fill(lambda x, y, x0=x0, yk=yk: x0 + 2.5 <= x <= x0 + 9 and yk <= y <= yk + 1, (0, 0, 160))
    return c


def install_button_base(percent):
    c = Canvas(79, 25, (245, 250, 254), percent)                    # the windows' background colour
    c.fill(rounded_rect(0, 0, 79, 25, 4), (150, 150, 150))   # border
    body = rounded_rect(1, 1, 78, 24, 3)
    for y in range(c.h):                                     # light to darker grey, top to bottom
        g = round(250 - 30 * y / (c.h - 1))
        for x in range(c.w):
            if body((x + 0.5) / c.s, (y + 0.5) / c.s):
                c.px[y][x] = (g, g, g)
    return c


def name(base, percent):
    return base + ("" if percent == 100 else "_%d" % percent) + ".bmp"


def main():
    """Draws every picture at every scale; the install button's base goes to the paths given
    (one a scale, as draw.sh passes them), for the words to be written on it."""
    bases = sys.argv[1:] or [name("InstallButtonBase", p) for p in SCALES]
    for percent, base in zip(SCALES, bases):
        close_glyph(percent).save(name("BClose", percent))
        info_icon(percent).save(name("Info", percent))
        error_icon(percent).save(name("Error", percent))
        warning_icon(percent).save(name("Warning", percent))
        copy_glyph(percent).save(name("CopyGlyph", percent))
        install_button_base(percent).save(base)


if __name__ == "__main__":
    main()
