#!/usr/bin/env python3
"""File names and folders as users of Windows in other languages meet them, under Wine on a
private Xvfb display against scripted mirrors:

    names_e2e.py LAUNCHER SETUPKIT STUB OUTDIR --mirrors URL,... --archive FILE --installer FILE [RUN...]

The vendor attaches, on Linux, extra files named 東方.dll and 億.txt (in code page 936 their
second bytes are 0x7C, "|") and 说明.txt to STUB; the launcher made is published and run, and
every file must arrive under its own name beside the launcher. Runs:

    en_US      code page 1252 (a screenshot of the folder with the files arrived)
    ja_JP      code page 932
    long_path  936, the launcher in a folder whose path is longer than 260 characters
    running_installer  a copy of the installer running from another folder is ended when the
               launcher starts, before its first window, though the user then installs nothing
    hangul_box  936, the launcher in a folder named 한글 whose installer file another program holds:
               the error box names the file with its folder whole (a picture stays in OUTDIR)
    setupkit_exe  setupkit.exe (SETUPTQ_SETUPKIT_EXE) under 1252 and 932 packs files of a folder
               named 说明-한글 by their arguments, lists their names in UTF-8 to a pipe, and
               refuses by name a file that code page 936 cannot hold
"""
import os
import shutil
import subprocess
import sys
import time

from verify_e2e import ARGUMENT, CERT_BUTTON, CERT_CAPTION, CHECK_BOX, INSTALL_BUTTON, WALK_WAIT, INSTALLER_CAPTION, UNZIP_CAPTION, VERIFY_CAPTION, WINE_RUN, CaseFailed, Run, Suite, run_suite

EXTRAS = {"東方.dll": b"a library named with 0x96 0x7C", "億.txt": b"a text named with 0x83 0x7C",
          "说明.txt": b"read me"}
# A folder of 3 x 90 characters below the case's own: past MAX_PATH (260) with the file names.
LONG = os.path.join(*(("长路径" + "d" * 87) for _ in range(3)))
RUNS = {
    "en_US": ("en_US.UTF-8", "张伟"),
    "ja_JP": ("ja_JP.UTF-8", "テストソ"),
    "long_path": ("zh_CN.UTF-8", LONG),
    "running_installer": ("zh_CN.UTF-8", None),
    "hangul_box": ("zh_CN.UTF-8", "한글"),
    "setupkit_exe": ("en_US.UTF-8", None),
}


class Names(Suite):
    def __init__(self, args):
        super().__init__(args)
        self.stub = args.stub

    def prepare(self):
        os.makedirs(self.out, exist_ok=True)
        vendor = os.path.join(self.out, "vendor")
        shutil.rmtree(vendor, ignore_errors=True)
        os.makedirs(vendor)
        shutil.copy(self.installer, os.path.join(vendor, "instTQ.exe"))
        for name, data in EXTRAS.items():
            with open(os.path.join(vendor, name), "wb") as f:
                f.write(data)
        # The archive the launcher carries, then the launcher, as the vendor makes them.
        self.archive = os.path.join(self.out, "names-payload.dat")
        names = ["instTQ.exe"] + sorted(EXTRAS)
        subprocess.run([self.setupkit, "pack", self.archive] + [os.path.join(vendor, n) for n in names], check=True,
                       stdout=subprocess.DEVNULL)
        self.launcher = os.path.join(self.out, "setupTQ-names.exe")
        subprocess.run([self.setupkit, "attach", self.stub, "--archive", self.archive, "-o", self.launcher],
                       check=True, stdout=subprocess.DEVNULL)
        listed = subprocess.run([self.setupkit, "list", self.launcher], check=True, capture_output=True).stdout
        for name in EXTRAS:
            if ("  %s\n" % name).encode() not in listed:
                raise CaseFailed("setupkit list shows %r" % listed)
        super().prepare()

    def start(self, name):
        """The launcher started from the folder and in the locale of RUNS[name], every mirror
        serving the reply."""
        locale, folder = RUNS[name]
        return Run(self, name, {a: "reply:" + self.good for a in self.front + self.back}, folder=folder,
                   env={"SETUPTQ_WINE_LOCALE": locale})

    def extras_arrived(self, r):
        for extra, data in EXTRAS.items():
            p = os.path.join(r.work, extra)
            r.check(os.path.exists(p), "%s did not arrive; beside the launcher: %s" % (extra, os.listdir(r.work)))
            r.check(open(p, "rb").read() == data, extra + " arrived with other bytes")

    def run(self, name, shot_folder=False):
        r = self.start(name)
        try:
            w = r.window(VERIFY_CAPTION)
            self.certify(r, w, "certification")
            r.check(self.desk.find(UNZIP_CAPTION) == [], "the extraction window stayed")
            self.extras_arrived(r)
            if shot_folder:
                self.show_folder(r)
        finally:
            r.stop()

    def show_folder(self, r):
        """The launcher's folder as the user sees it in the system's file window, in English."""
        folder = "Z:" + r.work.replace("/", "\\")
        proc = subprocess.Popen([WINE_RUN, "explorer", folder], cwd=r.work,
                                env=dict(self.desk.env, SETUPTQ_WINE_LOCALE=RUNS[r.name][0]),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            found = self.desk.wait(lambda: self.desk.find("^%s$" % RUNS[r.name][1]), 60)
            if not found:
                raise CaseFailed("no file window to show the folder in")
            time.sleep(3)  # let it list the folder and paint
            shot = os.path.join(os.path.dirname(self.out.rstrip("/")), "names-%s-folder.png" % r.name)
            self.desk.shot(shot, self.desk.geometry(found[0]))
            print("the folder on Windows in English: " + shot)
        finally:
            try:
                os.killpg(proc.pid, 15)
            except ProcessLookupError:
                pass
            proc.wait(30)

    def case_running_installer(self):
        elsewhere = os.path.join(self.out, "work", "elsewhere")
        shutil.rmtree(elsewhere, ignore_errors=True)
        os.makedirs(elsewhere)
        shutil.copy(self.installer, os.path.join(elsewhere, "instTQ.exe"))
        running = subprocess.Popen([WINE_RUN, "instTQ.exe"], cwd=elsewhere, env=self.desk.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        r = None
        try:
            if not self.desk.wait(lambda: self.desk.find(INSTALLER_CAPTION), 60, lambda: running.poll() is None):
                raise CaseFailed("the running copy of the installer did not start")
            r = Run(self, "running_installer", {a: "reply:" + self.good for a in self.front + self.back})
            w = r.window(VERIFY_CAPTION)
            ended = self.desk.wait(lambda: running.poll() is not None, 30)
            r.check(ended, "the running copy of the installer was not ended at start-up")
            self.desk.close(w)  # the user declines: still, the copy was ended
            r.check(r.wait_exit(30), "the launcher did not end when its window was closed")
            r.nothing_written()
        finally:
            if r:
                r.stop()
            if running.poll() is None:
                os.killpg(running.pid, 15)
            running.wait(30)

    def case_hangul_box(self):
        with self.held_installer_run("hangul_box", folder=RUNS["hangul_box"][1]) as r:
            w = r.window(VERIFY_CAPTION)
            r.click(w, CHECK_BOX)
            time.sleep(0.5)
            r.click(w, INSTALL_BUTTON)
            box = r.message_box(60)
            img = r.shot("error-box", box)
            print("the error box in a Hangul folder: %dx%d" % (img.w, img.h))
            r.press_ok(box)
            r.check(r.wait_exit(60), "the launcher did not end after OK")

    def case_setupkit_exe(self):
        exe = os.environ.get("SETUPTQ_SETUPKIT_EXE")
        if not exe:
            raise CaseFailed("no setupkit.exe given (SETUPTQ_SETUPKIT_EXE)")
        folder = os.path.join(self.out, "work", "setupkit_exe", "说明-한글")
        shutil.rmtree(os.path.dirname(folder), ignore_errors=True)
        os.makedirs(folder)
        for name, data in EXTRAS.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        with open(os.path.join(folder, "한글.txt"), "wb") as f:
            f.write(b"no name in code page 936")
        win = "Z:" + folder.replace("/", "\\")

        def setupkit(locale, *args):
            return subprocess.run([WINE_RUN, exe] + list(args), cwd=folder, capture_output=True, timeout=120,
                                  env=dict(self.desk.env, SETUPTQ_WINE_LOCALE=locale))

        for locale in ("en_US.UTF-8", "ja_JP.UTF-8"):
            names = sorted(EXTRAS)
            packed = setupkit(locale, "pack", win + "\\names.dat", *[win + "\\" + n for n in names])
            if packed.returncode != 0:
                raise CaseFailed("%s: pack failed: %s" % (locale, packed.stderr.decode(errors="replace")))
            listed = setupkit(locale, "list", win + "\\names.dat").stdout.decode("utf-8", errors="replace")
            for n in names:
                if "  %s\n" % n not in listed.replace("\r\n", "\n"):
                    raise CaseFailed("%s: list shows %r" % (locale, listed))
            refused = setupkit(locale, "pack", win + "\\refused.dat", win + "\\한글.txt")
            said = refused.stderr.decode("utf-8", errors="replace")
            if refused.returncode == 0 or "한글.txt" not in said:
                raise CaseFailed("%s: a name 936 cannot hold: exit %d, %r" % (locale, refused.returncode, said))
            if os.path.exists(os.path.join(folder, "refused.dat")):
                raise CaseFailed("%s: the refused archive was written" % locale)

    def case_en_US(self):
        self.run("en_US", shot_folder=True)

    def case_ja_JP(self):
        self.run("ja_JP")

    def case_long_path(self):
        """Certified, and every file unpacked whole, from a folder past 260 characters; then the
        installer started. Under Wine the start may fail: its CreateProcess looks for the program
        in the launcher's own folder too, and past MAX_PATH that search can give it a garbled
        program name (seen as ERROR_BAD_FORMAT in a +process trace), whatever name it was
        given; the launcher must then say so in its error box, never end without a word."""
        work = os.path.join(self.out, "work", "long_path", LONG, "setupTQ.exe")
        if len("Z:" + work) <= 260:
            raise CaseFailed("the folder is not long enough: %d" % len(work))
        r = self.start("long_path")
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, INSTALL_BUTTON)
            c = r.window(CERT_CAPTION, WALK_WAIT)
            r.shot("certification", c)
            r.click(c, CERT_BUTTON)
            r.window(UNZIP_CAPTION, 30)
            if r.wait_exit(20):  # the installer starts within seconds, and the launcher ends
                r.installed()
            else:
                box = r.message_box(10)
                r.shot("error-box", box)
                r.press_ok(box)
                r.check(r.wait_exit(60), "the launcher did not end after OK")
                print("long_path: Wine did not start the installer from the long folder; the launcher said so")
            self.extras_arrived(r)
        finally:
            r.stop()


def main():
    return run_suite(Names, "Chinese file names and long folders, end to end.", RUNS, files=("stub",))


if __name__ == "__main__":
    sys.exit(main())
