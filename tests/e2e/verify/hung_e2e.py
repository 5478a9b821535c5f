#!/usr/bin/env python3
"""The verification window never stops answering while the walk waits: the real setupTQ.exe
under Wine, its first mirrors a silent one (it accepts and never answers: the read waits out
the client's 10 s limit) and a stalled one (its backlog is full: the connect waits out the
10 s limit), the rest of M1..M5 down, M6 answering. A second Windows program (hungcheck.exe)
sends the window WM_NULL with SendMessageTimeout every 250 ms, as other programs and the
system do, from before the press to after the certification window; every answer must come
within 1 s (Windows marks a window "Not Responding" after 5 s; Wine never does):

    hung_e2e.py LAUNCHER SETUPKIT HUNGCHECK OUTDIR --mirrors URL,... --archive FILE --installer FILE
"""
import os
import subprocess
import sys
import time

from verify_e2e import (CERT_BUTTON, CERT_CAPTION, INSTALL_BUTTON, UNZIP_CAPTION, VERIFY_CAPTION, WALK_WAIT, WINE_RUN,
                        CaseFailed, Run, Suite, run_suite)

LIMIT = 10  # the verification client's connect and read limit, in seconds


class HungSuite(Suite):
    def __init__(self, args):
        super().__init__(args)
        self.hungcheck = args.hungcheck

    def case_answers_while_waiting(self):
        kinds = dict(zip(self.front, ["silent", "stalled", "down", "down", "down"]))
        mirrors = {a: b for a, b in kinds.items() if b != "down"}
        mirrors[self.back[0]] = "reply:" + self.good
        r = Run(self, "answers-while-waiting", mirrors)
        pinger = None
        try:
            w = r.window(VERIFY_CAPTION)
            # Long enough to span the walk (two waits of the limit) and the certification window.
            pinger = subprocess.Popen([WINE_RUN, self.hungcheck, VERIFY_CAPTION, str(2 * LIMIT + 25)],
                                      env=self.desk.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                      start_new_session=True)
            found = pinger.stdout.readline().decode().strip()
            r.check(found == "found", "hungcheck did not find the verification window: %r" % found)
            r.click(w, INSTALL_BUTTON)
            pressed = time.monotonic()
            c = r.window(CERT_CAPTION, WALK_WAIT)
            walk = time.monotonic() - pressed
            r.shot("certification", c)
            try:
                out = pinger.communicate(timeout=3 * LIMIT + 60)[0].decode()
            except subprocess.TimeoutExpired:
                raise CaseFailed("hungcheck did not end")
            print("  hungcheck: " + out.strip().replace("\n", "\n  hungcheck: "), flush=True)
            print("  walk: %.1f s from the press to the certification window" % walk, flush=True)
            asked = [q["addr"] for q in r.requests()]
            silent = [a for a, b in kinds.items() if b == "silent"][0]
            r.check(sorted(asked) == sorted([silent, self.back[0]]),
                    "asked %s (expected the silent mirror, then M6)" % asked)
            r.check(pinger.returncode == 0, "the verification window left WM_NULL unanswered for over 1 s")
            r.click(c, CERT_BUTTON)
            r.window(UNZIP_CAPTION, 30)
            r.check(r.wait_exit(60), "the launcher did not end after extracting")
            r.installed()
        finally:
            if pinger and pinger.poll() is None:
                pinger.kill()
                pinger.wait()
            r.stop()


def main():
    return run_suite(HungSuite, "The verification window answers while the walk waits.", ["answers_while_waiting"],
                     files=("hungcheck",))


if __name__ == "__main__":
    sys.exit(main())
