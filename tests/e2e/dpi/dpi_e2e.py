#!/usr/bin/env python3
"""The windows at 96, 120, 144 and 192 pixels per inch under Wine.

  dpi_e2e.py DPI_SHOW_EXE BITMAP_DIR OUTPUT_DIR WINEPREFIX

For each resolution the script sets LogPixels in a Wine prefix of its own (so that the other
tests' prefix stays at 96), runs dpi_show.exe on a private Xvfb display large enough for the
window at 200 %, and checks what the program reports and what the screen shows:

  - every window's client area (outer area for the extraction window, whose design gives that)
    within 2 pixels of scale x design, at the design's screen position scaled;
  - the label fonts' character heights scaled (rounded once);
  - the install button showing, pixel for pixel, the picture drawn for that scale;
  - at 96, a move to a monitor of 192 (WM_DPICHANGED) laying the window out for 192.

The verification window's client area of each run is cut from the screen, and the four are put side by
side in OUTPUT_DIR/scales.png.
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pixels import Image  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "..", "scripts", "wine-run.sh")
SCALES = {96: "", 120: "_125", 144: "_150", 192: "_200"}


def scaled(n, ppi):
    return (n * ppi + 48) // 96


def start_xvfb():
    for n in range(160, 200):
        if os.path.exists("/tmp/.X%d-lock" % n):
            continue
        proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "2560x1600x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(50):
            if os.path.exists("/tmp/.X11-unix/X%d" % n):
                return proc, ":%d" % n
            time.sleep(0.1)
        proc.kill()
    raise SystemExit("dpi_e2e: could not start a display")


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read_report(path, proc, what):
    for _ in range(600):
        if os.path.exists(path) and open(path).read().endswith("end\n"):
            values = {}
            for line in open(path).read().splitlines():
                key, *rest = line.split()
                values[key] = [int(v) for v in rest]
            return values
        if proc.poll() is not None:
            break
        time.sleep(0.1)
    raise RuntimeError("%s: no report" % what)


class Checks:
    def __init__(self):
        self.failed = 0

    def near(self, seen, want, what, slack=2):
        ok = all(abs(s - w) <= slack for s, w in zip(seen, want))
        print("%s %s: %s, want %s" % ("ok  " if ok else "FAIL", what, seen, want))
        self.failed += 0 if ok else 1

    def check(self, ok, what):
        print("%s %s" % ("ok  " if ok else "FAIL", what))
        self.failed += 0 if ok else 1


def picture(bitmaps, name):
    path = os.path.join(bitmaps, name)
    return Image(path)


def main():
    exe, bitmaps, out, prefix = sys.argv[1:5]
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, WINEPREFIX=os.path.abspath(prefix))
    xvfb, display = start_xvfb()
    env["DISPLAY"] = display
    c = Checks()
    crops = []
    try:
        for ppi, suffix in SCALES.items():
            subprocess.run(["bash", WINE_RUN, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                            "/t", "REG_DWORD", "/d", str(ppi), "/f"], env=env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
            report, done = os.path.join(out, "report-%d.txt" % ppi), os.path.join(out, "done-%d" % ppi)
            for f in (report, report + ".moved", done):
                if os.path.exists(f):
                    os.remove(f)
            args = ["bash", WINE_RUN, exe, wine_path(report), wine_path(done)] + (["192"] if ppi == 96 else [])
            proc = subprocess.Popen(args, env=env)
            try:
                r = read_report(report, proc, "%d dpi" % ppi)
                time.sleep(0.3)  # painted
                shot = os.path.join(out, "screen-%d.png" % ppi)
                subprocess.run(["import", "-display", display, "-window", "root", shot], check=True, timeout=60)
            finally:
                open(done, "w").close()
            proc.wait(timeout=120)
            c.check(proc.returncode == 0, "%d dpi: dpi_show ended with %s" % (ppi, proc.returncode))
            S = lambda n: scaled(n, ppi)  # noqa: E731
            c.check(r["verify.ppi"] == [ppi], "%d dpi: the window's resolution is %s" % (ppi, r["verify.ppi"]))
            c.near(r["verify.client"][2:], [S(668), S(121)], "%d dpi: verification client size" % ppi)
            c.near(r["verify.window"][:2], [S(49), S(176)], "%d dpi: verification window position" % ppi)
            c.near(r["confirm.client"][2:], [S(410), S(174)], "%d dpi: certification client size" % ppi)
            c.near(r["unzip.window"][2:], [S(662), S(101)], "%d dpi: extraction window outer size" % ppi)
            c.near(r["unzip.progress"][2:], [r["unzip.client"][2], S(17)], "%d dpi: extraction progress bar" % ppi)
            c.near(r["progress"][2:], [S(668), S(6)], "%d dpi: verification progress bar" % ppi)
            c.near(r["install"][2:], [S(79), S(26)], "%d dpi: install button" % ppi)
            for key, px in (("label3.font", 12), ("hint.font", 12), ("checkbox.font", 13), ("confirm.label4.font", 13)):
                c.check(r[key] == [S(px)], "%d dpi: %s %s, want %d" % (ppi, key, r[key], S(px)))
            print("     %d dpi: verification window outer %s (design x scale %d x %d; the frame is the system's)"
                  % (ppi, r["verify.window"][2:], S(676), S(155)))

            # The install button's face on the screen is the picture drawn for this scale.
            screen = Image(shot)
            face = picture(bitmaps, "InstallButton%s.bmp" % suffix)
            c.check(r["install.glyph"] == [face.w, face.h], "%d dpi: install face %s is the %s picture %dx%d"
                    % (ppi, r["install.glyph"], suffix or "100 %", face.w, face.h))
            bx, by, bw, bh = r["install"]
            ox, oy = bx + (bw - face.w) // 2, by + (bh - face.h) // 2
            differ = sum(1 for y in range(face.h) for x in range(face.w) if screen.px(ox + x, oy + y) != face.px(x, y))
            c.check(differ == 0, "%d dpi: install button on screen equals InstallButton%s.bmp (%d pixels differ)"
                    % (ppi, suffix, differ))

            # The client area: without a window manager nobody draws the frame.
            wx, wy, ww, wh = r["verify.client"]
            crop = os.path.join(out, "verify-%d.png" % ppi)
            subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (ww, wh, wx, wy), "+repage", crop], check=True)
            crops.append((ppi, crop))
            os.remove(shot)

            if ppi == 96:
                m = read_report(report + ".moved", proc, "move to 192 dpi")
                c.check(m["moved.verify.ppi"] == [192], "moved to 192 dpi: resolution %s" % m["moved.verify.ppi"])
                c.check(m["moved.verify.window"] == m["proposed"], "moved: takes the proposed bounds %s"
                        % m["proposed"])
                c.near(m["moved.install"][2:], [scaled(79, 192), scaled(26, 192)], "moved: install button")
                c.check(m["moved.label3.font"] == [24], "moved: Label3's font %s, want 24" % m["moved.label3.font"])
                c.check(m["moved.install.glyph"] == [158, 50], "moved: the 200 %% face %s" % m["moved.install.glyph"])
                # Within 2 pixels: the toolkit takes the frame from the system's rule for the new
                # resolution, and Wine's frame without a window manager differs from it.
                c.near([m["moved.progress"][1] + m["moved.progress"][3]],
                       [m["moved.verify.client"][1] + m["moved.verify.client"][3]],
                       "moved: the progress bar's bottom on the new bottom edge")
    finally:
        xvfb.kill()
        xvfb.wait()

    # The sheet: the four windows side by side, top-aligned, each captioned with its resolution.
    sheet = os.path.join(out, "scales.png")
    cmd = ["convert", "-background", "white"]
    for ppi, crop in crops:
        cmd += ["(", crop, "-gravity", "north", "-splice", "0x24", "-pointsize", "16", "-annotate", "+0+4",
                "%d dpi (%d %%%%)" % (ppi, scaled(100, ppi)), ")"]  # ImageMagick's %% is a %
    cmd += ["-gravity", "north", "+append", sheet]
    subprocess.run(cmd, check=True)
    print("dpi_e2e: %s; sheet %s" % ("all checks passed" if not c.failed else "%d checks failed" % c.failed, sheet))
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
