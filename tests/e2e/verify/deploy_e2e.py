#!/usr/bin/env python3
"""The launcher as deployment tools run it: /quiet, /passive, /log, /skipcheck, /? and the
exit codes, under Wine against scripted mirrors (the same command line as verify_e2e.py).

The exit code is read twice: from the run's log ("the run ends: exit code N"), and from Wine,
which gives it modulo 256 (3010 arrives as 194). "No window appeared" is the window list of the
private display, polled every 0.1 s for the whole run.
"""
import os
import re
import sys
import time

from verify_e2e import CERT_CAPTION, UNZIP_CAPTION, VERIFY_CAPTION, WALK_WAIT, Run, Suite, run_suite

CASES = ["quiet_match", "quiet_mismatch", "quiet_all_down", "quiet_skipcheck", "quiet_held", "passive", "bad_log",
         "closed", "help"]
LOG_DIR = "张伟 日志"  # the /log folder, made by the launcher
# Arguments for the installer: blanks, quotes, a trailing backslash, and an option that only
# looks like the launcher's own.
HANDED_ON = ["/exitcode=3010", "/quite", "two words", 'say "hi"', "C:\\end slash\\"]
CANCELLED, FAILED, BAD_COMMAND_LINE, MISMATCH, NO_MIRROR = 1602, 1603, 1639, 2101, 2102


class DeployRun(Run):
    def watch(self, timeout=WALK_WAIT):
        """Waits for the launcher to end, listing every visible window meanwhile; the windows'
        names (empty for a balloon)."""
        root = self.desk._xdotool("search", "--maxdepth", "0", "--name", ".*").split()  # the screen itself
        seen = {}
        end = time.monotonic() + timeout
        while self.alive() and time.monotonic() < end:
            for w in self.desk._xdotool("search", "--onlyvisible", "--name", ".*").split():
                if w not in seen and w not in root:
                    g = self.desk.geometry(w)
                    seen[w] = "%s %s %s" % (self.desk.name(w), self.desk._xdotool("getwindowclassname", w).strip(), g)
            time.sleep(0.1)
        self.check(not self.alive(), "the launcher did not end within %d s" % timeout)
        return sorted(seen.values())

    def exit_code(self, log_lines, expected):
        """The run's exit code, as the log and Wine give it, is `expected`."""
        ends = [line for line in log_lines if "ms  the run ends: exit code " in line]
        self.check(len(ends) == 1, "the log does not say how the run ended")
        code = int(ends[0].rsplit(" ", 1)[1])
        self.check(code == expected, "exit code %d, not %d" % (code, expected))
        self.check(self.proc.returncode == expected % 256,
                   "Wine gave %d, not %d (modulo 256)" % (self.proc.returncode, expected % 256))

    def named_log(self, *expected):
        """The log /log put in LOG_DIR below the launcher's folder (UTF-8 with a byte-order mark);
        each regular expression given matches a line, in order. Its lines."""
        path = os.path.join(self.work, LOG_DIR, "setup.log")
        self.check(os.path.isfile(path), "no log at %s" % path)
        data = open(path, "rb").read()
        self.check(data.startswith(b"\xef\xbb\xbf"), "the log has no byte-order mark")
        lines = data[3:].decode("utf-8").split("\r\n")
        at = 0
        for pattern in expected:
            while at < len(lines) and not re.search(pattern, lines[at]):
                at += 1
            self.check(at < len(lines), "the log has no line %r in its place:\n  %s" % (pattern, "\n  ".join(lines)))
            at += 1
        return lines

    def installer_argv(self):
        """The installer's arguments as its C runtime split them (the demo installer's record)."""
        path = os.path.join(self.work, "instTQ.argv.txt")
        self.check(os.path.exists(path), "the installer was not started")
        return open(path, encoding="utf-8").read().split("\n")[:-1]

    def unpacked_nothing(self):
        self.check(self.files() == [LOG_DIR], "files were written: %s" % self.files())


class DeploySuite(Suite):
    def quiet(self, name, mirrors, extra=()):
        return DeployRun(self, name, mirrors, arguments=["/QUIET", "/log=%s\\setup.log" % LOG_DIR] + list(extra))

    def case_quiet_match(self):
        """The installer gets the release's quiet switch and the arguments exactly; its exit code
        (3010, a restart needed) is the launcher's; no window at all."""
        r = self.quiet("quiet-match", {a: "reply:" + self.good for a in self.front + self.back}, HANDED_ON)
        try:
            windows = r.watch()
            r.check(windows == [], "windows appeared in a quiet run: %s" % windows)
            argv = r.installer_argv()
            r.check(argv == ["/S"] + HANDED_ON, "the installer got %r" % argv)
            r.check(len(r.requests()) == 1, "%d requests for one match" % len(r.requests()))
            lines = r.named_log(r"ms  command line: mode quiet, log %s\\setup\.log, 5 argument" % LOG_DIR,
                                r"ms  verdict: match; the certification window shown$",
                                r'ms  starting the installer and waiting for it: ".*\\instTQ\.exe" /S /exitcode=3010 /quite '
                                r'"two words" "say \\"hi\\"" "C:\\end slash\\\\"$',
                                r"ms  the installer ended with exit code 3010$")
            r.exit_code(lines, 3010)
        finally:
            r.stop()

    def quiet_failure(self, name, mirrors, code, verdict):
        r = self.quiet(name, mirrors)
        try:
            windows = r.watch()
            r.check(windows == [], "windows appeared in a quiet run: %s" % windows)
            r.unpacked_nothing()
            lines = r.named_log(r"ms  an unattended run: install pressed as the window opened$", verdict,
                                r"ms  error box|ms  the verification window closed after a failed check")
            r.exit_code(lines, code)
        finally:
            r.stop()

    def case_quiet_mismatch(self):
        self.quiet_failure("quiet-mismatch", {a: "reply:" + self.other for a in self.front + self.back}, MISMATCH,
                           r"ms  verdict: mismatch")

    def case_quiet_all_down(self):
        self.quiet_failure("quiet-all-down", {}, NO_MIRROR, r"ms  verdict: no mirror answered")

    def case_quiet_skipcheck(self):
        """The administrator's /skipcheck installs without asking the mirrors (all down here)."""
        r = self.quiet("quiet-skipcheck", {}, ["-SkipCheck"])
        try:
            r.check(r.watch() == [], "windows appeared in a quiet run")
            r.check(r.installer_argv() == ["/S"], "the installer got %r" % r.installer_argv())
            lines = r.named_log(r"ms  /skipcheck: the cloud check box cleared", r"ms  install pressed, the cloud check cleared$",
                                r"ms  the installer ended with exit code 0$")
            r.exit_code(lines, 0)
            r.check(r.requests() == [], "a mirror was asked")
        finally:
            r.stop()

    def case_quiet_held(self):
        """An installer file that another program holds open cannot be unpacked: 1603, the error
        box's text in the log, no box on the screen, nothing started."""
        with self.held_installer_run("quiet-held", arguments=["/quiet", "/skipcheck", "/log=%s\\setup.log" % LOG_DIR],
                                     run_class=DeployRun) as r:
            r.check(r.watch() == [], "windows appeared in a quiet run")
            lines = r.named_log(r"ms  error box: \(not shown: a quiet run\) 无法解压文件“.*\\instTQ\.exe”")
            r.exit_code(lines, FAILED)
            r.check(not os.path.exists(os.path.join(r.work, "instTQ.argv.txt")), "the installer was started")

    def case_passive(self):
        """The windows show and nothing is pressed: the check runs at once, the certification
        shows and goes, the installer runs quietly and its code is the launcher's."""
        r = DeployRun(self, "passive", {a: "reply:" + self.good for a in self.front + self.back},
                      arguments=["/passive", "/log", LOG_DIR + "\\setup.log"])
        try:
            c = r.window(CERT_CAPTION, WALK_WAIT)
            r.shot("certification", c)
            u = r.window(UNZIP_CAPTION, 30)
            r.shot("extraction", u)
            windows = r.watch()
            r.check(r.installer_argv() == ["/S"], "the installer got %r" % r.installer_argv())
            r.exit_code(r.named_log(r"ms  verdict: match", r"ms  the installer ended with exit code 0$"), 0)
            print("  passive: windows seen after the extraction window: %s" % windows)
        finally:
            r.stop()

    def case_bad_log(self):
        """A /log the launcher cannot write (its folder is a file) is told in the log of the
        temporary folder and in the exit code, and nothing runs; a /log without a path too."""
        r = DeployRun(self, "bad-log", {}, arguments=["/quiet", "/log=setupTQ.exe\\setup.log"])
        try:
            r.check(r.watch() == [], "windows appeared in a quiet run")
            lines = r.run_log(r"ms  the log cannot be written where /log asks: .*setupTQ\.exe\\setup\.log",
                              r"ms  error box: \(not shown: a quiet run\) 无法写入运行记录：")
            r.exit_code(lines, BAD_COMMAND_LINE)
            r.check(r.files() == [], "files were written: %s" % r.files())
        finally:
            r.stop()
        r = DeployRun(self, "no-log-path", {}, arguments=["/quiet", "/LOG"])
        try:
            r.check(r.watch() == [], "windows appeared in a quiet run")
            r.exit_code(r.run_log(r"ms  the command line cannot be used: /LOG names no file"), BAD_COMMAND_LINE)
        finally:
            r.stop()

    def case_closed(self):
        """A person's run closed at the verification window: cancelled (1602)."""
        r = DeployRun(self, "closed", {})
        try:
            w = r.window(VERIFY_CAPTION)
            self.desk.close(w)
            r.check(r.wait_exit(60), "the launcher did not end after its window was closed")
            r.exit_code(r.run_log(r"ms  the verification window closed by the user: nothing installed$"), CANCELLED)
            r.check(r.files() == [], "files were written: %s" % r.files())
        finally:
            r.stop()

    def case_help(self):
        """/? shows the options and exit codes in a box, and runs nothing."""
        r = DeployRun(self, "help", {}, arguments=["/?"])
        try:
            box = r.message_box(60)
            r.shot("help-box", box)
            r.check(not self.desk.find(VERIFY_CAPTION), "the verification window showed with /?")
            r.press_ok(box)
            r.check(r.wait_exit(60), "the launcher did not end after OK")
            lines = r.run_log(r"ms  command line: mode interactive, help", r"ms  message box: 用法：setupTQ\.exe .*2101")
            r.exit_code(lines, 0)
            r.check(not [line for line in lines if "release:" in line], "the run went on after the help")
            r.check(r.files() == [], "files were written: %s" % r.files())
        finally:
            r.stop()


if __name__ == "__main__":
    sys.exit(run_suite(DeploySuite, "The launcher as deployment tools run it.", CASES))
