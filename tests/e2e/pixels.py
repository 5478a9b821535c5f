"""Reading the pixels of a screenshot, for the end-to-end checks."""
import subprocess


class Image:
    """The pixels of a PNG, read through ImageMagick."""

    def __init__(self, path):
        self.path = path
        ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True,
                             stdout=subprocess.PIPE, timeout=60).stdout
        fields, pos = [], 0
        while len(fields) < 4:  # P6, width, height, maxval
            while ppm[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not ppm[pos:pos + 1].isspace():
                pos += 1
            fields.append(ppm[start:pos])
        self.w, self.h = int(fields[1]), int(fields[2])
        self.data = ppm[pos + 1:]

    def px(self, x, y):
        if not (0 <= x < self.w and 0 <= y < self.h):
            return None
        i = 3 * (y * self.w + x)
        return tuple(self.data[i:i + 3])

    def count(self, rect, pred):
        """How many pixels of (x, y, w, h) satisfy pred(rgb)."""
        x0, y0, w, h = rect
        return sum(1 for y in range(y0, y0 + h) for x in range(x0, x0 + w)
                   if self.px(x, y) is not None and pred(self.px(x, y)))
