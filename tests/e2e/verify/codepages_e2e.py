#!/usr/bin/env python3
"""The launcher as users of Windows in other languages meet it, under Wine on a private Xvfb
display against scripted mirrors. One prefix serves every code page (Wine takes it from each
process's LC_ALL), so each run below is one start of the launcher:

    codepages_e2e.py LAUNCHER SETUPKIT OUTDIR --mirrors URL,... --archive FILE --installer FILE [RUN...]

Each run copies the fingerprint (pop-up menu, message box, clipboard), then installs: the
certification window, the extraction window and the installer started with the launcher's first
argument. Every window is found by its Chinese caption, and every window shown (verification,
the message box, certification, extraction) must look as it does under code page 936, pixel for
pixel, but for what differs by right (the certification's time, the extraction's bar, the
system's own caption of the message box's button).
Runs:

    zh_CN   code page 936, the reference picture
    en_US   1252, the launcher in a folder named 张伟 (no character of that code page)
    ja_JP   932, in テストソ张伟 (ソ is 0x83 0x5C there; 张伟 has no character of that code page)
    zh_TW   950, in 功能 (功 is 0xA5 0x5C there)
    light   936 under Wine's "Light" visual style: the check box's text stays green

No run may leave a folder beside the launcher's own. The verification windows of the four code
pages are put side by side in OUTDIR/../codepages.png.
"""
import os
import subprocess
import sys

from verify_e2e import ARGUMENT, ROOT, UNZIP_CAPTION, VERIFY_CAPTION, WINE_RUN, CaseFailed, Run, Suite, run_suite

# The locale of each run, the folder the launcher is started from and its first argument.
RUNS = {
    "zh_CN": ("zh_CN.UTF-8", None, ARGUMENT),
    "en_US": ("en_US.UTF-8", "张伟", "/D=C:\\张伟\\Parvalo"),
    "ja_JP": ("ja_JP.UTF-8", "テストソ张伟", "/D=C:\\テストソ张伟\\Parvalo"),
    "zh_TW": ("zh_TW.UTF-8", "功能", "/D=C:\\功能\\Parvalo"),
    "light": ("zh_CN.UTF-8", None, ARGUMENT),
}
LIGHT = r"C:\windows\resources\themes\light\light.msstyles"


def green(p):
    return p[1] > 90 and p[0] < 60 and p[2] < 60


class CodePages(Suite):
    def __init__(self, args):
        super().__init__(args)
        self.reference = None  # the verification window under code page 936
        self.references = {}  # every window's picture under code page 936
        self.pictures = {}

    def install_run(self, name, env=None):
        """The run of that name; `env` (the visual style's prefix) leaves the picture uncompared."""
        locale, folder, argument = RUNS[name]
        r = Run(self, name, {a: "reply:" + self.good for a in self.front + self.back}, folder=folder,
                env=dict(env or {}, SETUPTQ_WINE_LOCALE=locale), argument=argument)
        try:
            w = r.window(VERIFY_CAPTION)
            img = r.shot("verification", w)
            self.pictures[name] = img.path
            r.check(img.count((356, 37, 90, 17), green) > 20, "the check box's text is not green")
            shots = {"verification": img}
            shots["message box"] = self.copy_fingerprint(r, w)
            shots["certification"], shots["extraction"] = self.certify(r, w, "certification")
            if name == "zh_CN":
                self.reference = img
                self.references = shots
            elif not env:
                for window, shot in shots.items():
                    if window not in self.references:
                        continue
                    differ = differing_pixels(shot, self.references[window], VARYING.get(window, ()))
                    r.check(differ == 0, "the %s window differs from code page 936's in %d pixels" % (window, differ))
            r.check(self.desk.find(UNZIP_CAPTION) == [], "the extraction window stayed")
            if folder:
                beside = os.listdir(r.case_dir)
                r.check(beside == [folder], "beside the launcher's folder: %s" % beside)
            return img
        finally:
            r.stop()

    def case_zh_CN(self):
        self.install_run("zh_CN")

    def case_en_US(self):
        self.install_run("en_US")

    def case_ja_JP(self):
        self.install_run("ja_JP")

    def case_zh_TW(self):
        self.install_run("zh_TW")

    def case_light(self):
        """In a prefix of its own: applying a visual style rewrites the user's system colours
        and sizes, which stay after the style is turned off and would change every other run.
        Its Wine starts on the suite's display (the first start of a prefix starts its desktop)."""
        prefix = os.environ.get("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix")).rstrip("/") + "-light"
        env = {"WINEPREFIX": prefix}
        theme = os.path.join(self.out, "light.reg")
        with open(theme, "w") as f:
            f.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager]\n"
                    '"ThemeActive"="1"\n"DllName"="%s"\n"ColorName"="NormalColor"\n"SizeName"="NormalSize"\n'
                    % LIGHT.replace("\\", "\\\\"))
        try:
            subprocess.run([WINE_RUN, "regedit", "/S", os.path.basename(theme)], cwd=self.out, check=True,
                           env=dict(self.desk.env, **env), timeout=300, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            img = self.install_run("light", env)
        finally:
            subprocess.run(["wineserver", "-w"], env=dict(self.desk.env, **env), timeout=60)
        # The style was in force: it draws the check box's tick otherwise than the classic look.
        if self.reference is not None and differing_pixels(img, self.reference) == 0:
            raise CaseFailed("the window looks as without the visual style: it was not in force")

    def finish(self):
        """The verification windows of the four code pages side by side."""
        shots = []
        for name, page in (("zh_CN", "936"), ("en_US", "1252"), ("ja_JP", "932"), ("zh_TW", "950")):
            if name in self.pictures:
                shots += ["-label", "code page %s (%s)" % (page, RUNS[name][0]), self.pictures[name]]
        if len(shots) < 6:
            return
        target = os.path.join(os.path.dirname(self.out.rstrip("/")), "codepages.png")
        subprocess.run(["montage"] + shots + ["-tile", "1x", "-geometry", "+4+4", "-pointsize", "14", target],
                       check=True, timeout=60)
        print("code pages side by side: " + target)


# What differs by right, left out of the comparison (x, y, w, h in the window): the
# certification's time of day, the extraction's bar and all below its top, and the caption of
# the message box's button, which the system words in its own language ("OK", "確定").
VARYING = {"certification": [(237, 42, 135, 13)], "extraction": [(0, 50, 10000, 10000)],
           "message box": [(140, 48, 46, 18)]}


def differing_pixels(a, b, skipped=()):
    if (a.w, a.h) != (b.w, b.h):
        return a.w * a.h
    def kept(i):
        x, y = (i // 3) % a.w, (i // 3) // a.w
        return not any(sx <= x < sx + sw and sy <= y < sy + sh for sx, sy, sw, sh in skipped)
    return sum(1 for i in range(0, len(a.data), 3) if a.data[i:i + 3] != b.data[i:i + 3] and kept(i))


def main():
    return run_suite(CodePages, "The launcher under other code pages and a visual style.", RUNS)


if __name__ == "__main__":
    sys.exit(main())
