#!/usr/bin/env python3
"""Draws the launcher's icon: a green shield bearing a white tick, 16x16 and 32x32.

Its three colours and its clear background need no more than a 16-colour image with a
transparency mask: the same pixels as a 32-bit one, at a sixth of its size.

    python3 res/make_icon.py res/setupTQ.ico
"""
import struct
import sys


def shield(size):
    """Rows of (b, g, r, a) pixels, top row first."""
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    s = size / 32.0
    for y in range(size):
        for x in range(size):
            fx, fy = (x + 0.5) / s, (y + 0.5) / s
            # The shield: straight sides down to y=18, then a point at the bottom centre.
            half = 13 if fy < 18 else 13 * (30 - fy) / 12
            inside = 2 <= fy <= 30 and abs(fx - 16) <= half
            if not inside:
                continue
            edge = abs(fx - 16) > half - 1.6 / s * s or fy < 3.6
            px[y][x] = (40, 110, 20, 255) if edge else (60, 170, 40, 255)
    # The tick: two strokes.
    def stroke(x0, y0, x1, y1, w):
        steps = int(size * 4)
        for i in range(steps + 1):
            t = i / steps
            cx, cy = (x0 + (x1 - x0) * t) * s, (y0 + (y1 - y0) * t) * s
            for y in range(size):
                for x in range(size):
                    if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= (w * s / 2) ** 2:
                        px[y][x] = (255, 255, 255, 255)
    stroke(9, 16, 14, 21, 3.2)
    stroke(14, 21, 23, 10, 3.2)
    return px


def icon_image(size):
    px = shield(size)
    colours = sorted({p[:3] for row in px for p in row if p[3]})
    # Index 0, black, under the clear pixels; the shield's colours after it.
    palette = [(0, 0, 0)] + [c for c in colours if c != (0, 0, 0)]
    assert len(palette) <= 16, 'more colours than a 16-colour icon holds'
    palette += [(0, 0, 0)] * (16 - len(palette))
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    stride = ((size * 4 + 31) // 32) * 4
    xor = bytearray()
    for row in reversed(px):
        line = bytearray(stride)
        for x, p in enumerate(row):
            index = palette.index(p[:3]) if p[3] else 0
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += line
    mask_stride = ((size + 31) // 32) * 4
    and_mask = bytearray()
    for row in reversed(px):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bits
    return header + b''.join(bytes(c) + b'\0' for c in palette) + bytes(xor) + bytes(and_mask)


def main(out):
    sizes = [16, 32]
    images = [icon_image(s) for s in sizes]
    data = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack('<BBBBHHII', s, s, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    with open(out, 'wb') as f:
        f.write(data + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'setupTQ.ico')
