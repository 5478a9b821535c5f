#!/usr/bin/env python3
"""Checks a screenshot of a notice against the geometry its program reported.

  check_shot.py balloon REPORT SCREEN.png OUT.png
  check_shot.py confirm REPORT SCREEN.png OUT.png

Size and place are checked from the report (the window's own rectangle), the shape and
the colours from the screen's pixels. OUT.png is the notice cut out of the screen.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pixels import Image  # noqa: E402

BACKDROP = (40, 90, 140)
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def read_report(path):
    values = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if parts:
                values[parts[0]] = [int(p) if p.lstrip("-").isdigit() else p for p in parts[1:]]
    return values


def box_count(screen, x0, y0, x1, y1, pred):
    """How many pixels of the box from (x0, y0) to (x1, y1), ends excluded, satisfy pred(rgb)."""
    return screen.count((x0, y0, x1 - x0, y1 - y0), pred)


def is_black(p):
    return max(p) < 60


def is_dark(p):
    """Text pixels: the fonts are smoothed, so strokes are dark grey as often as black."""
    return max(p) < 110


def crop(png, out, left, top, right, bottom, margin=12):
    left, top = max(0, left - margin), max(0, top - margin)
    w, h = right + margin - left, bottom + margin - top
    subprocess.run(["convert", png, "-crop", f"{w}x{h}+{left}+{top}", "+repage", out], check=True)


def balloon(r, screen):
    x, y = r["anchor"]
    kind = r["kind"][0]
    L, T, R, B = r["window"]
    W, H = R - L, B - T
    title_right, text_right, text_top, text_height = r["labels"]
    infobk = tuple(r["infobk"])
    print(f"balloon kind {kind}: anchor ({x}, {y}), window ({L}, {T}) {W} x {H}")

    check(W == max(title_right, text_right) + 40, f"width {W}, labels end at {title_right}/{text_right}")
    check(H == text_top + text_height + 10 + (20 if kind < 2 else 0), f"height {H}")
    want_left = x - (W - 20) if kind in (0, 2) else x - 20
    want_top = y - H if kind < 2 else y - 2
    check((L, T) == (want_left, want_top), f"corner ({L}, {T}), wanted ({want_left}, {want_top})")
    check(r["foreground"] == ["witness"], f"focus moved: foreground {r['foreground']}")
    check(r["topmost"] == [1], "not topmost")

    on_top = kind >= 2
    body_top, body_bottom = (22, H) if on_top else (0, H - 18)
    # Inside the body, clear of text and glyph: the tooltip colour.
    p = screen.px(L + W - 8, T + body_bottom - 6)
    check(p == infobk, f"body colour {p}, wanted {infobk}")
    # The rectangle's corner beside the pointer lies outside the shape: the backdrop shows.
    outside = {0: (5, H - 5), 1: (W - 5, H - 5), 2: (5, 5), 3: (W - 5, 5)}[kind]
    p = screen.px(L + outside[0], T + outside[1])
    check(p == BACKDROP, f"outside the shape at {outside}: {p}")
    # Beyond the tip, away from the balloon, the backdrop shows; at the tip, the black outline.
    beyond = (x, y + 3) if kind < 2 else (x, y - 3)
    check(screen.px(*beyond) == BACKDROP, f"beyond the tip: {screen.px(*beyond)}")
    near = box_count(screen, x - 2, y - 2, x + 3, y + 3, is_black)
    check(near > 0, "no outline at the anchor")
    # The pointer's straight edge, half-way along, is outlined.
    edge_x = 20 if kind in (1, 3) else W - 20
    edge_y = 12 if on_top else H - 10
    check(box_count(screen, L + edge_x - 2, T + edge_y, L + edge_x + 2, T + edge_y + 1, is_black) > 0,
          "pointer edge not outlined")
    # Bold title and text are drawn.
    check(box_count(screen, L + 34, T + body_top + 8, L + title_right, T + text_top, is_dark) > 40, "no title")
    check(box_count(screen, L + 10, T + text_top, L + text_right, T + text_top + text_height, is_dark) > 40,
          "no text")
    return L, T, R, B


def confirm(r, screen):
    L, T, R, B = r["window"]
    cx, cy, cw, ch = r["client"]
    fw, fh = r["framed"]
    print(f"certification: window ({L}, {T}) {R - L} x {B - T}, client {cw} x {ch} at ({cx}, {cy})")
    check((L, T) == (217, 209), f"position ({L}, {T})")
    check((cw, ch) == (410, 174), f"client {cw} x {ch}")
    check((R - L, B - T) == (fw, fh), f"outer {R - L} x {B - T}, the frame gives {fw} x {fh}")

    def at(x, y):
        return screen.px(cx + x, cy + y)

    grey, white, face = (223, 223, 223), (255, 255, 255), (245, 250, 254)
    for (x, y, want, what) in [(5, 50, face, "text block"), (5, 91, grey, "upper line"),
                               (5, 100, white, "result band"), (5, 132, grey, "lower line"),
                               (5, 150, face, "button band")]:
        check(at(x, y) == want, f"{what} at {y}: {at(x, y)}")
    green = box_count(screen, cx + 26, cy + 92 + 15, cx + 361, cy + 92 + 28,
                         lambda p: p[1] > 90 and p[1] > p[0] + 40 and p[1] > p[2] + 40)
    check(green > 40, f"verdict not green ({green} pixels)")
    check(box_count(screen, cx + 30, cy + 16, cx + 188, cy + 29, is_dark) > 60, "no origin text")
    check(box_count(screen, cx + 237, cy + 42, cx + 372, cy + 55, is_dark) > 60, "no date text")
    button = box_count(screen, cx + 200, cy + 133 + 9, cx + 280, cy + 133 + 33,
                          lambda p: abs(p[0] - p[1]) < 8 and abs(p[1] - p[2]) < 8 and 150 <= p[0] <= 252)
    check(button > 300, f"no button face ({button} grey pixels)")
    return L, T, R, B


def main():
    what, report, png, out = sys.argv[1:5]
    r = read_report(report)
    screen = Image(png)
    rect = balloon(r, screen) if what == "balloon" else confirm(r, screen)
    crop(png, out, *rect)
    for f in failures:
        print(f"  FAILED: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
