#!/usr/bin/env python3
"""Draws the launcher's icon: a green shield bearing a white tick, 16x16 and 32x32, 32-bit.

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
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes(p) for row in reversed(px) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    and_mask = bytearray()
    for row in reversed(px):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bits
    return header + xor + bytes(and_mask)


def main(out):
    sizes = [16, 32]
    images = [icon_image(s) for s in sizes]
    data = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(out, 'wb') as f:
        f.write(data + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'setupTQ.ico')
