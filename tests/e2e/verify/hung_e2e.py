#!/usr/bin/env python3
"""The verification window never stops answering, however the walk waits or the data comes: the
real setupTQ.exe under Wine, its first mirrors a silent one (it accepts and never answers: the
read waits out the client's 10 s limit) and a stalled one (its backlog is full: the connect
waits out the 10 s limit), the rest of M1..M5 down, M6 answering; then (answers_while_streaming)
two mirrors that send an endless chunked body as fast as it is taken, in 64-byte and in 1-byte
chunks, each cut off within the 30 s request limit plus one slice. A second Windows program
(hungcheck.exe) sends the window WM_NULL with SendMessageTimeout every 250 ms, as other programs
and the system do, from before the press to after the certification window; every answer must
come within 1 s (Windows marks a window "Not Responding" after 5 s; Wine never does):

    hung_e2e.py LAUNCHER SETUPKIT HUNGCHECK OUTDIR --mirrors URL,... --archive FILE --installer FILE
"""
import os
import re
import subprocess
import sys
import time

from verify_e2e import (mirror_outcome, CERT_BUTTON, CERT_CAPTION, INSTALL_BUTTON, UNZIP_CAPTION, VERIFY_CAPTION, WALK_WAIT, WINE_RUN,
                        CaseFailed, Run, Suite, run_suite)

LIMIT = 10  # the verification client's connect and read limit, in seconds
REQUEST_LIMIT_MS = 30000  # its limit of one whole request
SLICE_MS = 100  # the longest the window goes without taking its messages


class HungSuite(Suite):
    def __init__(self, args):
        super().__init__(args)
        self.hungcheck = args.hungcheck

    def case_answers_while_waiting(self):
        self.walk_answering("answers-while-waiting", ["silent", "stalled", "down", "down", "down"], 2 * LIMIT)

    def case_answers_while_streaming(self):
        kinds, lines = self.walk_answering("answers-while-streaming", ["chunks:64", "chunks:1", "down", "down", "down"],
                                           2 * REQUEST_LIMIT_MS // 1000)
        for addr, kind in kinds.items():
            if kind == "down":
                continue
            outcome = mirror_outcome(lines, addr) or ""
            took = re.search(r"after (\d+) ms$", outcome)
            print("  %s: %s" % (kind, outcome.strip()), flush=True)
            if not took or int(took.group(1)) > REQUEST_LIMIT_MS + SLICE_MS:
                raise CaseFailed("the %s mirror was not cut off within %d ms: %r" % (kind, REQUEST_LIMIT_MS + SLICE_MS,
                                                                                    outcome))

    def walk_answering(self, name, front_kinds, walk_seconds):
        """The walk over M1..M5 of these kinds to M6, which answers, with hungcheck asking the
        window all the while; the kinds by address and the run's log."""
        kinds = dict(zip(self.front, front_kinds))
        mirrors = {a: b for a, b in kinds.items() if b != "down"}
        mirrors[self.back[0]] = "reply:" + self.good
        r = Run(self, name, mirrors)
        pinger = None
        try:
            w = r.window(VERIFY_CAPTION)
            # Long enough to span the walk and the certification window.
            pinger = subprocess.Popen([WINE_RUN, self.hungcheck, VERIFY_CAPTION, str(walk_seconds + 25)],
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
                out = pinger.communicate(timeout=walk_seconds + 70)[0].decode()
            except subprocess.TimeoutExpired:
                raise CaseFailed("hungcheck did not end")
            print("  hungcheck: " + out.strip().replace("\n", "\n  hungcheck: "), flush=True)
            print("  walk: %.1f s from the press to the certification window" % walk, flush=True)
            asked = [q["addr"] for q in r.requests()]
            served = [a for a, b in kinds.items() if b not in ("down", "stalled")]
            r.check(sorted(asked) == sorted(served + [self.back[0]]),
                    "asked %s (expected %s, then M6)" % (asked, served))
            r.check(pinger.returncode == 0, "the verification window left WM_NULL unanswered for over 1 s")
            lines = r.run_log(r"ms  verdict: match")
            r.click(c, CERT_BUTTON)
            r.window(UNZIP_CAPTION, 30)
            r.check(r.wait_exit(60), "the launcher did not end after extracting")
            r.installed()
            return kinds, lines
        finally:
            if pinger and pinger.poll() is None:
                pinger.kill()
                pinger.wait()
            r.stop()


def main():
    return run_suite(HungSuite, "The verification window answers while the walk waits.", ["answers_while_waiting", "answers_while_streaming"],
                     files=("hungcheck",))


if __name__ == "__main__":
    sys.exit(main())
