#!/usr/bin/env python3
"""The real setupTQ.exe under Wine on a private Xvfb display, against scripted mirrors on
loopback that record every request. All cases run in one process to keep Wine starts few:

    verify_e2e.py LAUNCHER SETUPKIT OUTDIR --mirrors URL,... --archive FILE --installer FILE [CASE...]

LAUNCHER is a build whose ten mirrors M1..M10 are the URLs given (on loopback), SETUPKIT a
native setupkit, ARCHIVE the payload archive packed into the launcher and INSTALLER the program
in it. A screenshot of each window is kept in OUTDIR for a person to look at; each case works
in a folder of its own below OUTDIR.
"""
import argparse
import contextlib
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

from desktop import Desktop, Xvfb

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run.sh")

VERIFY_CAPTION = "Parvalo 安装程序 2011.04.25"
CERT_CAPTION = "绿色认证"
UNZIP_CAPTION = "正在解压缩安装包"
INSTALLER_CAPTION = "^Parvalo 安装程序$"
APP_TITLE = "^Parvalo安装程序$"  # the caption of the launcher's message boxes
HOLDFILE = os.environ.get("SETUPTQ_HOLDFILE")
CLOSEWIN = os.environ.get("SETUPTQ_CLOSEWIN")
LATE_ANSWER = 8      # seconds a slow mirror takes to answer
# Seconds the launcher may take to end after the user's close: 1, and what Wine itself takes to
# end a program here (a minimal Win32 window program closed the same way ends 2.0 s after).
CLOSED_END = 1.0 + 2.5
ARGUMENT = r"/D=C:\Program Files\Parvalo"
PATH = "/brenlow/QORTQ3.6ins.htm"
FORM_COLOUR = (245, 250, 254)


def read_clicks(path):
    """The click points of tests/e2e/clicks.sh: NAME="X Y" lines."""
    with open(path, encoding="utf-8") as f:
        return {m.group(1): (int(m.group(2)), int(m.group(3)))
                for m in re.finditer(r'^([A-Z_]+)="(\d+) (\d+)"', f.read(), re.M)}


def split_mirrors(urls):
    """M1..M5 (asked first in every order, in some order) and M6..M10 (always after them, in
    this order), each as host:port."""
    addrs = [re.fullmatch(r"https?://([^/]+)/", u).group(1) for u in urls.split(",")]
    if len(addrs) != 10:
        raise SystemExit("ten mirror URLs are needed, got %d" % len(addrs))
    return addrs[:5], addrs[5:]


CLICKS = read_clicks(os.path.join(HERE, "..", "clicks.sh"))
CHECK_BOX = CLICKS["CHECK_BOX"]
INSTALL_BUTTON = CLICKS["INSTALL_BUTTON"]
CERT_BUTTON = CLICKS["CERT_BUTTON"]

WINDOW_WAIT = 90      # a Wine start, the first one booting the prefix
WALK_WAIT = 150       # the slowest walk: a silent mirror and a trickling one before the answer


def expected_head(addr):
    return ("GET " + PATH + " HTTP/1.1\r\n"
            "Content-Type: text/html\r\n"
            "Host: " + addr + "\r\n"
            "Accept: text/html, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible; QOR Net Library)\r\n"
            "\r\n")


def mirror_outcome(lines, addr, after=1):
    """The run log's line `after` lines after the one that asks the mirror at addr, past the
    line of the route it took; None when the mirror was not asked once."""
    at = [k for k, line in enumerate(lines) if re.search(r"ms  mirror \d+ of \d+: https?://%s/" % re.escape(addr), line)]
    if len(at) != 1:
        return None
    k = at[0] + 1 if at[0] + 1 < len(lines) and re.search(r"ms    route: ", lines[at[0] + 1]) else at[0]
    return lines[k + after] if k + after < len(lines) else None


class CaseFailed(Exception):
    pass


def run_logs():
    """The launcher's logs in the temporary folder of the Wine prefix's user."""
    users = os.path.join(_wine_env()["WINEPREFIX"], "drive_c", "users")
    found = glob.glob(os.path.join(users, "*", "Temp", "setupTQ-*.log"))  # Wine 8
    found += glob.glob(os.path.join(users, "*", "AppData", "Local", "Temp", "setupTQ-*.log"))  # as on Windows
    return {p for p in found
            if re.fullmatch(r"setupTQ-\d{8}-\d{6}-\d+\.log", os.path.basename(p))}


class Geometry0:
    w = h = 0


class Run:
    """One start of the launcher in a fresh folder, with its mirrors; `folder` names the
    launcher's folder below the case's own, `env` adds to Wine's environment, `argument` is
    the launcher's one argument, `arguments` (a list) all of them instead."""

    def __init__(self, suite, name, mirrors, launcher=None, before=None, folder=None, env=None, argument=ARGUMENT,
                 arguments=None):
        self.suite, self.name, self.argument = suite, name, argument
        self.desk = suite.desk
        self.case_dir = os.path.join(suite.out, "work", name)
        self.work = os.path.join(self.case_dir, folder) if folder else self.case_dir
        shutil.rmtree(self.case_dir, ignore_errors=True)
        os.makedirs(self.work)
        shutil.copy(launcher or suite.launcher, os.path.join(self.work, "setupTQ.exe"))
        self.log = os.path.join(self.work, "requests.jsonl")
        open(self.log, "w").close()
        self.mirrors = None
        if mirrors:
            args = [sys.executable, os.path.join(HERE, "mirrors.py"), "--log", self.log, "--lifetime", "400"]
            args += ["%s=%s" % (a, b) for a, b in sorted(mirrors.items())]
            self.mirrors = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                            start_new_session=True)
            ready = self.mirrors.stdout.readline().decode().strip()
            if ready != "ready":
                err = self.mirrors.stderr.read().decode()
                raise CaseFailed("mirrors did not start: " + err.strip())
        if before:
            before(self.work)
        self.logs_before = run_logs()
        self.proc = subprocess.Popen([WINE_RUN, "setupTQ.exe"] + (arguments if arguments is not None else [argument]), cwd=self.work,
                                     env=dict(self.desk.env, **(env or {})), stdout=open(os.path.join(self.work, "wine.log"), "w"),
                                     stderr=subprocess.STDOUT, start_new_session=True)
        self.started = time.monotonic()

    def alive(self):
        return self.proc.poll() is None

    def check(self, ok, what):
        if not ok:
            raise CaseFailed(what)

    def window(self, caption, timeout=WINDOW_WAIT):
        found = self.desk.wait(lambda: self.desk.find(caption), timeout, self.alive)
        self.check(found, "no window '%s'" % caption)
        time.sleep(0.5)  # let it paint before anyone looks
        return found[0]

    def shot(self, label, win=None):
        path = os.path.join(self.suite.out, "%s-%s.png" % (self.name, label))
        return self.desk.shot(path, self.desk.geometry(win) if win else None)

    def balloons(self, verify_win):
        """The launcher's visible windows other than the verification window: its balloons."""
        return [w for w in self.desk.launcher_windows() if w != verify_win and not self.desk.name(w)]

    def click(self, win, point):
        g = self.desk.geometry(win)
        self.desk.click(g.x + point[0], g.y + point[1])

    def requests(self):
        with open(self.log, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    def heads_exact(self):
        """Every mirror received exactly the verification request's head."""
        for q in self.requests():
            self.check(q["head"] == expected_head(q["addr"]), "%s received %r" % (q["addr"], q["head"]))

    def wait_exit(self, timeout=60):
        try:
            self.proc.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def files(self):
        return sorted(f for f in os.listdir(self.work) if f not in ("setupTQ.exe", "requests.jsonl", "wine.log"))

    def installed(self):
        """The extraction's results: the archive and installer written, the installer started
        with the launcher's argument as it stands (the demo installer writes it as UTF-8)."""
        cmdline = os.path.join(self.work, "instTQ.cmdline.txt")
        got = self.desk.wait(lambda: os.path.exists(cmdline) and os.path.getsize(cmdline) > 0, 60)
        self.check(got, "the installer was not started")
        self.check(open(cmdline, "rb").read() == self.argument.encode(), "the installer got %r" % open(cmdline, "rb").read())
        for f, ref in (("install.dat", self.suite.archive), ("instTQ.exe", self.suite.installer)):
            p = os.path.join(self.work, f)
            self.check(os.path.exists(p), f + " was not written")
            self.check(open(p, "rb").read() == open(ref, "rb").read(), f + " differs from what was packed")
        win = self.desk.wait(lambda: self.desk.find(INSTALLER_CAPTION), 30)
        if win:
            self.shot("installer", win[0])
            self.desk.close(win[0])

    def run_log(self, *expected):
        """The log this run left in %TEMP% (kept beside the screenshots as NAME.log): UTF-8 with
        a byte-order mark, every line stamped with its milliseconds; each regular expression
        given matches a line, in the order given. Returns the lines."""
        new = sorted(run_logs() - self.logs_before)
        self.check(len(new) == 1, "%d new logs in the temporary folder" % len(new))
        data = open(new[0], "rb").read()
        self.log_path = new[0]
        shutil.copy(new[0], os.path.join(self.suite.out, self.name + ".log"))
        self.check(data.startswith(b"\xef\xbb\xbf"), "the log has no byte-order mark")
        lines = data[3:].decode("utf-8").split("\r\n")
        self.check(lines.pop() == "", "the log's last line is not ended")
        unstamped = [line for line in lines if not re.match(r" *\d+ ms  +\S", line)]
        self.check(not unstamped, "lines without their time: %r" % unstamped[:3])
        at = 0
        for pattern in expected:
            while at < len(lines) and not re.search(pattern, lines[at]):
                at += 1
            self.check(at < len(lines), "the log has no line %r in its place:\n  %s" % (pattern, "\n  ".join(lines)))
            at += 1
        return lines

    def logged_outcome(self, lines, addr, outcome, after=1):
        """The log's line `after` lines after the one that asks the mirror at addr (and the route
        it took) matches outcome."""
        line = mirror_outcome(lines, addr, after)
        self.check(line is not None and re.search(outcome, line), "the log of %s: %r" % (addr, line))

    def message_box(self, timeout=30):
        """The launcher's message box: a window captioned with the application title (the
        application's own window of that title has no size)."""
        def boxes():
            return [w for w in self.desk.find(APP_TITLE) if (self.desk.geometry(w) or Geometry0).w > 40]
        found = self.desk.wait(boxes, timeout, self.alive)
        self.check(found, "no message box captioned with the application title")
        time.sleep(0.5)
        return found[0]

    def press_ok(self, box):
        """Presses the box's only button, OK: centred at its bottom."""
        g = self.desk.geometry(box)
        self.desk.click(g.x + g.w // 2, g.y + g.h - 20)

    def run_closewin(self, how):
        """Closes the verification window as another program (closewin.exe) does."""
        subprocess.run([WINE_RUN, CLOSEWIN, VERIFY_CAPTION, how], cwd=self.work,
                       env=self.desk.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def nothing_written(self):
        self.check(self.files() == [], "files were written: %s" % self.files())

    def stop(self):
        # The launcher's process group also holds the installer it started, if that still runs.
        for p in (self.proc, self.mirrors):
            if not p:
                continue
            try:
                os.killpg(p.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()
        if self.mirrors:
            self.mirrors.stdout.close()
            self.mirrors.stderr.close()


class Suite:
    def __init__(self, args):
        self.launcher, self.setupkit, self.out = args.launcher, args.setupkit, args.out
        self.archive, self.installer = args.archive, args.installer
        self.front, self.back = split_mirrors(args.mirrors)
        self.xvfb = Xvfb()
        self.desk = None
        self.replies = os.path.join(self.out, "replies")

    def publish(self, launcher, name):
        """The reply file the vendor publishes for a launcher, as `setupkit publish` writes it."""
        d = os.path.join(self.replies, name)
        shutil.rmtree(d, ignore_errors=True)
        subprocess.run([self.setupkit, "publish", "--unsigned", "--offline", "--create", launcher, d], check=True, stdout=subprocess.DEVNULL)
        return os.path.join(d, PATH.lstrip("/"))

    def fingerprint(self, path):
        return subprocess.run([self.setupkit, "md5", path], check=True, stdout=subprocess.PIPE).stdout.decode().split()[0]

    @contextlib.contextmanager
    def held_installer_run(self, name, folder=None, arguments=None, run_class=None):
        """A run whose work folder has an instTQ.exe that another program holds open (holdfile
        under Wine), as a copy of the installer that could not be ended would; both end after.
        `arguments` and `run_class` as Run's and the class of the run."""
        if not HOLDFILE:
            raise CaseFailed("no holdfile.exe given (SETUPTQ_HOLDFILE)")
        holder = []

        def hold(work):
            with open(os.path.join(work, "instTQ.exe"), "wb") as f:
                f.write(b"installer of a running copy")
            p = subprocess.Popen([WINE_RUN, HOLDFILE, "instTQ.exe"], cwd=work, env=self.desk.env,
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                 start_new_session=True)
            holder.append(p)
            if p.stdout.readline().decode().strip() != "ready":
                raise CaseFailed("holdfile did not take instTQ.exe")

        r = None
        try:
            r = (run_class or Run)(self, name, {}, folder=folder, before=hold, arguments=arguments)
            yield r
        finally:
            if r:
                r.stop()
            for p in holder:
                p.stdin.close()
                try:
                    p.wait(30)
                except subprocess.TimeoutExpired:
                    os.killpg(p.pid, signal.SIGKILL)
                    p.wait()
                p.stdout.close()

    def finish(self):
        """After the cases; a suite that puts its pictures together does it here."""

    def prepare(self):
        os.makedirs(self.out, exist_ok=True)
        for f in os.listdir(self.out):
            if f.endswith(".png"):
                os.remove(os.path.join(self.out, f))
        self.good = self.publish(self.launcher, "release")
        # A reply published for another file: a mirror that serves a different release, here the
        # launcher with bytes after it (publish takes launchers only; about one fingerprint in 240
        # cannot be published, hence the second try).
        other = os.path.join(self.out, "other-release.exe")
        for n in range(5):
            shutil.copy(self.launcher, other)
            with open(other, "ab") as f:
                f.write(b"another release %d" % n)
            try:
                self.other = self.publish(other, "other")
                self.other_fingerprint = self.fingerprint(other)
                break
            except subprocess.CalledProcessError:
                continue
        self.desk = Desktop(self.xvfb.start())

    # ---- the cases ------------------------------------------------------------------------

    def case_closed(self):
        r = Run(self, "closed", {a: "reply:" + self.good for a in self.front + self.back})
        try:
            w = r.window(VERIFY_CAPTION)
            img = r.shot("verification", w)
            g = self.desk.geometry(w)
            r.check((g.w, g.h) in ((668, 121), (676, 155)), "verification window is %s" % g)
            r.check(img.px(650, 20) == FORM_COLOUR, "window colour %s" % (img.px(650, 20),))
            # Red hint text, green fingerprint and link, and the button face are drawn.
            r.check(img.count((32, 77, 425, 12), lambda p: p[0] > 180 and p[1] < 90 and p[2] < 90) > 20, "no red hint")
            r.check(img.count((28, 37, 270, 14), lambda p: p[1] > 90 and p[0] < 60 and p[2] < 60) > 20, "no green md5")
            r.check(img.count((462, 32, 79, 26), lambda p: p != FORM_COLOUR) > 200, "no install button face")
            r.check(img.count((356, 37, 90, 17), lambda p: p[1] > 90 and p[0] < 60 and p[2] < 60) > 20,
                    "the check box's text is not green")
            # Owned by the application's window, so no task-bar entry of its own (what Wine tells
            # the X desktop for an owned window).
            props = subprocess.run(["xprop", "-id", str(w), "WM_TRANSIENT_FOR", "_NET_WM_STATE"], env=self.desk.env,
                                   stdout=subprocess.PIPE, timeout=30).stdout.decode()
            r.check("WM_TRANSIENT_FOR(WINDOW): window id" in props and "_NET_WM_STATE_SKIP_TASKBAR" in props,
                    "the verification window is not owned: %r" % props)
            self.desk.close(w)
            r.check(r.wait_exit(60), "the launcher did not end after its window was closed")
            r.nothing_written()
            r.check(r.requests() == [], "a mirror was asked")
        finally:
            r.stop()

    def case_box_cleared(self):
        r = Run(self, "box-cleared", {a: "reply:" + self.good for a in self.front + self.back})
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, CHECK_BOX)
            advice = self.desk.wait(lambda: r.balloons(w), 20, r.alive)
            r.check(advice, "no advice balloon after clearing the box")
            time.sleep(0.5)
            r.shot("advice-balloon")
            r.click(w, INSTALL_BUTTON)
            u = r.window(UNZIP_CAPTION, 30)
            g = self.desk.geometry(u)
            r.check(g, "the extraction window went before it could be measured")
            # Without a window manager the X window is the client area. The outer window is
            # 662 x 101 at (197, 284): its side frames are equal, and its bottom frame is as
            # wide as a side frame.
            frame = (662 - g.w) // 2
            r.check(g.w + 2 * frame == 662 and g.x == 197 + frame and g.y + g.h + frame == 385,
                    "the extraction window's outer bounds are not 662 x 101 at (197, 284): client %s" % g)
            r.shot("extraction", u)
            r.check(r.wait_exit(60), "the launcher did not end after extracting")
            r.installed()
            r.check(r.requests() == [], "a mirror was asked with the box cleared")
        finally:
            r.stop()

    def certify(self, r, w, label, close_by_title_bar=False):
        """From a press of the install button to the installer started; the pictures of the
        certification and the extraction windows."""
        r.click(w, INSTALL_BUTTON)
        c = r.window(CERT_CAPTION, WALK_WAIT)
        img = r.shot(label, c)
        # The white result band with its bold green line.
        r.check(img.count((0, 93, 410, 38), lambda p: p == (255, 255, 255)) > 5000, "no white result band")
        r.check(img.count((26, 107, 335, 13), lambda p: p[1] > 90 and p[0] < 60 and p[2] < 60) > 30,
                "no green verdict line")
        if close_by_title_bar:
            self.desk.close(c)
        else:
            r.click(c, CERT_BUTTON)
        # The extraction window stays while its bar ramps up (about two seconds).
        unzip = r.shot(label + "-extraction", r.window(UNZIP_CAPTION, 30))
        r.check(r.wait_exit(60), "the launcher did not end after extracting")
        r.installed()
        return img, unzip

    def case_held_installer(self):
        """A copy of the installer that could not be ended holds instTQ.exe open: the extraction
        names the file and the system's reason in an error box, and after OK the launcher ends
        without starting anything."""
        with self.held_installer_run("held-installer") as r:
            w = r.window(VERIFY_CAPTION)
            r.click(w, CHECK_BOX)
            time.sleep(0.5)
            r.click(w, INSTALL_BUTTON)
            r.window(UNZIP_CAPTION, 30)
            box = r.message_box(60)
            img = r.shot("error-box", box)
            g = self.desk.geometry(box)
            # The error icon: a red disc left of the text.
            r.check(img.count((0, 0, min(g.w, 80), g.h), lambda p: p[0] > 180 and p[1] < 80 and p[2] < 80) > 50,
                    "no error icon in the box")
            r.check(r.alive(), "the launcher ended before OK was pressed")
            r.press_ok(box)
            r.check(r.wait_exit(60), "the launcher did not end after OK")
            r.check(not os.path.exists(os.path.join(r.work, "instTQ.cmdline.txt")), "the installer was started")
            lines = r.run_log(r"ms  install pressed, the cloud check cleared$", r"ms  unpacking instTQ\.exe, \d+ bytes$",
                              r"ms  error box: 无法解压文件“.*\\instTQ\.exe”。 \| .+ \| 运行记录：.+（联系技术支持时请附上此文件）$",
                              r"ms  the run ends: exit code 1603$")
            box = [line for line in lines if "error box:" in line][0]
            r.check("\\" + os.path.basename(r.log_path) + "（" in box, "the error box names another log: " + box)
            r.check(not [line for line in lines if "the installer started" in line], "the log says the installer started")
            with open(os.path.join(r.work, "instTQ.exe"), "rb") as f:
                r.check(f.read() == b"installer of a running copy", "the held instTQ.exe was changed")

    def case_copy_fingerprint(self):
        """The pop-up menu's item puts the fingerprint on the clipboard, where another program
        reads it (xclip reads the X clipboard that Wine serves while the launcher runs)."""
        r = Run(self, "copy", {})
        try:
            w = r.window(VERIFY_CAPTION)
            self.copy_fingerprint(r, w)
            self.desk.close(w)
            r.check(r.wait_exit(60), "the launcher did not end after its window was closed")
        finally:
            r.stop()

    def copy_fingerprint(self, r, w):
        """From the pop-up menu's item to the box saying so closed with OK; the clipboard then
        holds the fingerprint."""
        fingerprint = subprocess.run([self.setupkit, "md5", os.path.join(r.work, "setupTQ.exe")], check=True,
                                     stdout=subprocess.PIPE).stdout.decode().split()[0]
        g = self.desk.geometry(w)
        self.desk._xdotool("mousemove", g.x + 600, g.y + 15, "click", 3)
        time.sleep(1.0)
        self.desk.click(g.x + 615, g.y + 25)  # the menu's one item, below and right of the pointer
        box = r.message_box()
        img = r.shot("copied-box", box)
        def clipboard():
            return subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.desk.env, timeout=30,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE).stdout.decode()
        # Wine's clipboard thread offers the text to X on its own time after the copy.
        self.desk.wait(lambda: clipboard() == fingerprint, 30, r.alive, step=0.5)
        got = clipboard()
        r.check(got == fingerprint, "the clipboard holds %r, not the fingerprint %s" % (got, fingerprint))
        r.press_ok(box)
        time.sleep(0.5)
        return img

    def case_match(self):
        r = Run(self, "match", {a: "reply:" + self.good for a in self.front + self.back})
        try:
            w = r.window(VERIFY_CAPTION)
            self.certify(r, w, "certification")
            reqs = r.requests()
            r.check(len(reqs) == 1, "%d requests for one match" % len(reqs))
            r.check(reqs[0]["addr"] in self.front, "the first mirror asked was %s" % reqs[0]["addr"])
            head = reqs[0]["head"]
            r.check(head == expected_head(reqs[0]["addr"]), "request head was %r" % head)
            r.run_log(r"ms  setupTQ \d+\.\d+\.\d+\.\d+, process \d+, started \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC[+-]\d\d:\d\d$",
                      r"ms  program: .*\\match\\setupTQ\.exe$",
                      r"ms  system: Windows \d+\.\d+\.\d+.*, code page 936, \d+ dpi$",
                      r"ms  release: Parvalo QORTQ 3\.6, fingerprint %s$" % self.fingerprint(os.path.join(r.work, "setupTQ.exe")),
                      r"ms  install pressed, the cloud check ticked$",
                      r"ms  mirror 1 of \d+: http://%s%s$" % (re.escape(reqs[0]["addr"]), PATH),
                      r"ms    answered: status 200, %d bytes; connected to 127\.0\.0\.\d+ \(IPv4\) after \d+ ms, after \d+ ms$" % os.path.getsize(self.good),
                      r"ms  verdict: match; the certification window shown$",
                      r"ms  the verification window closed, going on to install$",
                      r"ms  unpacking instTQ\.exe, %d bytes$" % os.path.getsize(self.installer),
                      r'ms  starting the installer: ".*\\match\\instTQ\.exe" %s$' % re.escape(ARGUMENT),
                      r"ms  the installer started$", r"ms  the run ends: exit code 0$")
        finally:
            r.stop()

    def case_mismatch(self):
        r = Run(self, "mismatch", dict({a: "reply:" + self.other for a in self.front},
                                       **{a: "reply:" + self.good for a in self.back}))
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, INSTALL_BUTTON)
            b = self.desk.wait(lambda: len(r.requests()) == 1 and r.balloons(w), WALK_WAIT, r.alive)
            r.check(b, "no failure balloon")
            time.sleep(0.5)
            r.shot("failure-balloon")
            r.check(r.alive() and self.desk.find(VERIFY_CAPTION), "the window did not stay")
            r.nothing_written()
            # A second press walks again from the first mirror.
            r.click(w, INSTALL_BUTTON)
            again = self.desk.wait(lambda: len(r.requests()) >= 2, WALK_WAIT, r.alive)
            r.check(again, "a second press asked nobody")
            reqs = r.requests()
            r.check(len(reqs) == 2 and reqs[0]["addr"] == reqs[1]["addr"],
                    "second press asked %s" % [q["addr"] for q in reqs])
            r.heads_exact()
            self.desk.wait(lambda: r.balloons(w), 20, r.alive)
            self.desk.close(w)
            r.check(r.wait_exit(60), "the launcher did not end when closed after a failure")
            r.nothing_written()
            mismatch = r'ms  verdict: mismatch, the reply decodes to "%s"; failure balloon' % self.other_fingerprint
            r.run_log(r"ms    answered: status 200", mismatch, r"ms  mirror 1 of \d+:", mismatch,
                      r"ms  the verification window closed after a failed check: nothing installed$",
                      r"ms  the run ends: exit code 1602$")
        finally:
            r.stop()

    def case_all_down(self):
        r = Run(self, "all-down", {})
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, INSTALL_BUTTON)
            # The no-connection balloon comes first and is replaced by the wider failure one.
            wide = lambda: [b for b in r.balloons(w) if (self.desk.geometry(b) or Geometry0).w > 360]
            seen = set()

            def failure_shown():
                seen.update(r.balloons(w))
                return wide()
            r.check(self.desk.wait(failure_shown, WALK_WAIT, r.alive, step=0.05), "no failure balloon")
            print("  all-down: %d balloon window(s) seen" % len(seen))
            time.sleep(0.5)
            r.shot("failure-balloon")
            r.check(r.alive() and self.desk.find(VERIFY_CAPTION), "the window did not stay")
            r.check(len(r.balloons(w)) == 1, "more than one balloon on the screen")
            self.desk.close(w)
            r.check(r.wait_exit(60), "the launcher did not end")
            r.nothing_written()
            r.run_log(r"ms    no answer: EIdConnectException: .*10061.*; no connection", r"ms  verdict: no mirror answered; ",
                      r"ms  the verification window closed after a failed check: nothing installed$")
        finally:
            r.stop()

    def case_later_answers(self):
        # A sign-in portal's page is no answer either: the walk goes on to a mirror that answers.
        front = dict(zip(self.front, ["down", "notfound", "empty", "portal", "notfound"]))
        front = {a: b for a, b in front.items() if b != "down"}
        r = Run(self, "later-answers", dict(front, **{a: "reply:" + self.good for a in self.back}))
        try:
            w = r.window(VERIFY_CAPTION)
            self.certify(r, w, "certification")
            reqs = r.requests()
            asked = [q["addr"] for q in reqs]
            r.check(sorted(asked[:-1]) == sorted(front), "asked before the answer: %s" % asked)
            r.check(asked[-1] == self.back[0], "the answer came from %s" % asked[-1])
            r.heads_exact()
            lines = r.run_log(r"ms  verdict: match")
            portal = [a for a, b in front.items() if b == "portal"][0]
            r.logged_outcome(lines, portal, r"ms    no answer: the network answered with a page \(a sign-in portal\?\)$",
                             after=2)
        finally:
            r.stop()

    def case_upper_case(self):
        r = Run(self, "upper-case", {a: "upper:" + self.good for a in self.front})
        try:
            w = r.window(VERIFY_CAPTION)
            self.certify(r, w, "certification", close_by_title_bar=True)
            r.check(len(r.requests()) == 1, "more than one mirror asked")
        finally:
            r.stop()

    def case_slow_mirrors(self):
        kinds = dict(zip(self.front, ["silent", "trickle", "endless-body", "endless-headers", "down"]))
        mirrors = {a: b for a, b in kinds.items() if b != "down"}
        mirrors.update({a: "reply:" + self.good for a in self.back})
        r = Run(self, "slow-mirrors", mirrors)
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, INSTALL_BUTTON)
            trickle = [a for a, b in kinds.items() if b == "trickle"][0]
            if self.desk.wait(lambda: trickle in [q["addr"] for q in r.requests()], WALK_WAIT, r.alive):
                time.sleep(3)  # a few bytes in: the progress bar moves
                r.shot("walk-in-progress", w)
            start = time.monotonic()
            self.certify_after_press(r)
            asked = [q["addr"] for q in r.requests()]
            r.check(sorted(asked[:-1]) == sorted(a for a in self.front if kinds[a] != "down"), "asked: %s" % asked)
            r.check(asked[-1] == self.back[0], "the answer came from %s" % asked[-1])
            r.heads_exact()
            print("  slow-mirrors: walk took %.0f s after the trickle began" % (time.monotonic() - start))
            lines = r.run_log(r"ms  verdict: match")
            named = {b: a for a, b in kinds.items()}
            r.logged_outcome(lines, named["silent"], r"ms    no answer: EIdReadTimeout: .+; connected to 127\.0\.0\.\d+ \(IPv4\) after \d+ ms, after \d+ ms$")
            r.logged_outcome(lines, named["down"], r"ms    no answer: EIdConnectException: .*10061.*; no connection, after \d+ ms$")
        finally:
            r.stop()

    def certify_after_press(self, r):
        c = r.window(CERT_CAPTION, WALK_WAIT)
        r.shot("certification", c)
        r.click(c, CERT_BUTTON)
        r.window(UNZIP_CAPTION, 30)
        r.check(r.wait_exit(60), "the launcher did not end after extracting")
        r.installed()

    def case_closed_while_asking(self):
        """The user closes the verification window while a mirror that will answer, and match,
        takes its time: by the title bar (the window manager's close), Alt+F4, WM_CLOSE from
        another program and the task bar's close. Each time the request is abandoned, the
        launcher ends at once, and nothing is certified, written or started."""
        # Another program's close is timed from when it has posted it (its own start under Wine
        # takes a second or two).
        routes = [("title-bar", 0.3, lambda r, w: self.desk.close(w)),
                  ("alt-f4", 1.5, lambda r, w: self.desk._xdotool("windowfocus", "--sync", w, "key", "alt+F4")),
                  ("wm-close", 0.2, lambda r, w: r.run_closewin("post")),
                  ("task-bar", 0.8, lambda r, w: r.run_closewin("taskbar"))]
        failures = []
        for name, after, close in routes:
            r = Run(self, "closed-while-asking-" + name,
                    {a: "late:%d:%s" % (LATE_ANSWER, self.good) for a in self.front + self.back})
            try:
                w = r.window(VERIFY_CAPTION)
                r.click(w, INSTALL_BUTTON)
                r.check(self.desk.wait(r.requests, 30, r.alive, step=0.05), "no mirror was asked")
                asked = time.monotonic()
                time.sleep(after)
                close(r, w)
                closed = time.monotonic()
                ended = r.wait_exit(LATE_ANSWER + 30)
                took = time.monotonic() - closed
                print("  %s: closed %.1f s into a %d s answer, the launcher ended %.2f s after the close"
                      % (name, closed - asked, LATE_ANSWER, took), flush=True)
                r.check(closed - asked < LATE_ANSWER, "%s: closed after the answer came" % name)
                r.check(ended, "%s: the launcher did not end" % name)
                r.check(not self.desk.find(CERT_CAPTION), "%s: certified after the close" % name)
                r.check(took <= CLOSED_END, "%s: the launcher took %.2f s to end" % (name, took))
                time.sleep(max(0, LATE_ANSWER - (time.monotonic() - asked)) + 0.5)  # past the answer: still nothing
                r.nothing_written()
                r.check(len(r.requests()) == 1, "%s: the walk went on after the close" % name)
            except CaseFailed as e:
                failures.append(str(e))
            finally:
                r.stop()
        if failures:
            raise CaseFailed("; ".join(failures))

    def case_tampered(self):
        tampered = os.path.join(self.out, "tampered-setupTQ.exe")
        data = bytearray(open(self.launcher, "rb").read())
        payload = open(self.archive, "rb").read()
        at = data.find(payload)
        if at < 0:
            raise CaseFailed("the payload was not found in the launcher")
        data[at + len(payload) // 2] ^= 0x01
        open(tampered, "wb").write(bytes(data))
        r = Run(self, "tampered", {a: "reply:" + self.good for a in self.front + self.back}, launcher=tampered)
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, INSTALL_BUTTON)
            b = self.desk.wait(lambda: r.requests() and r.balloons(w), WALK_WAIT, r.alive)
            r.check(b, "no failure balloon for a tampered launcher")
            time.sleep(0.5)
            r.shot("failure-balloon")
            r.check(len(r.requests()) == 1, "asked %d mirrors" % len(r.requests()))
            r.check(self.desk.wait(lambda: self.desk.find(CERT_CAPTION), 2) is None, "certified a tampered launcher")
            self.desk.close(w)
            r.check(r.wait_exit(60), "the launcher did not end")
            r.nothing_written()
        finally:
            r.stop()


CASES = ["closed", "box_cleared", "held_installer", "copy_fingerprint", "match", "mismatch", "all_down", "later_answers", "upper_case",
         "slow_mirrors", "tampered", "closed_while_asking"]


def run_suite(suite_class, description, cases, files=()):
    """The command line every driver of this folder takes (LAUNCHER SETUPKIT [FILES...] OUTDIR
    --mirrors --archive --installer [CASE...]), then the cases given (all by default) of a suite
    of suite_class, each once; the exit status: 1 when one failed."""
    parser = argparse.ArgumentParser(description=description)
    for name in ("launcher", "setupkit") + tuple(files) + ("out",):
        parser.add_argument(name, type=os.path.abspath)
    parser.add_argument("--mirrors", required=True, help="the launcher's ten mirror URLs, comma-separated")
    parser.add_argument("--archive", required=True, type=os.path.abspath)
    parser.add_argument("--installer", required=True, type=os.path.abspath)
    parser.add_argument("cases", nargs="*", metavar="CASE", help="some of: " + " ".join(cases))
    args = parser.parse_args()
    unknown = [c for c in args.cases if c not in cases]
    if unknown:
        parser.error("no such case: " + " ".join(unknown))
    args.cases = args.cases or list(cases)
    suite = suite_class(args)
    failed = []
    try:
        suite.prepare()
        failed = [name for name in args.cases if not run_case(suite, name)]
        suite.finish()
    finally:
        end_wine(suite)
    print("screenshots in " + args.out)
    return 1 if failed else 0


def main():
    return run_suite(Suite, "The launcher end to end against scripted mirrors.", CASES)


def run_case(suite, name):
    """Runs one case of a suite and prints its verdict; True when it passed."""
    t = time.monotonic()
    try:
        getattr(suite, "case_" + name)()
        print("PASS %-14s %5.1f s" % (name, time.monotonic() - t), flush=True)
        return True
    except CaseFailed as e:
        print("FAIL %-14s %s" % (name, e), flush=True)
        return False


def end_wine(suite):
    """Waits (a minute at most) for what the suite started under Wine to end, then stops its display."""
    try:
        subprocess.run(["wineserver", "-w"], env=dict(os.environ, **_wine_env()), timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        print("wineserver still busy after a minute")
    suite.xvfb.stop()


def _wine_env():
    return {"WINEPREFIX": os.environ.get("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))}


if __name__ == "__main__":
    sys.exit(main())
