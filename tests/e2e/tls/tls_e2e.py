#!/usr/bin/env python3
"""Mirrors over TLS: the real setupTQ.exe under Wine (Schannel), built with M1..M6 on https://,
against nginx serving certificates of a test CA made by this run (tls_mirrors.py). The CA is
trusted in the Wine prefix's current-user Root store only (trustca.exe), and by the native
setupkit only through SSL_CERT_FILE; the host's store is never touched.

M1 has a certificate of an unknown CA, M2 one for another name, M3 an expired one, M4 offers
TLS 1.0 only and M5 is down: each is "no answer" with its reason in the run's log, whatever
order is drawn, and M6 (a trusted chain) certifies. The same mirrors, and a plain http://
mirror that moves to https:// on the same host, are then checked with the native
`setupkit check-mirrors` (OpenSSL) and with setupkit.exe under Wine (Schannel):

    tls_e2e.py LAUNCHER SETUPKIT TRUSTCA OUTDIR --mirrors URL,... --archive FILE --installer FILE
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "verify"))
from tls_mirrors import TlsMirrors  # noqa: E402
from verify_e2e import (CERT_BUTTON, CERT_CAPTION, INSTALL_BUTTON, PATH, UNZIP_CAPTION, VERIFY_CAPTION,  # noqa: E402
                        WALK_WAIT, WINE_RUN, CaseFailed, Run, Suite, run_suite)

KINDS = ["unknown", "wrongname", "expired", "tls10", "down"]
# What the run's log and setupkit say of each refused mirror: the reason, never only "failed".
REASONS = {
    "unknown": r"TLS with [\d.]+ refused: the certificate's chain does not reach a trusted root",
    "wrongname": r"TLS with ([\d.]+) refused: the certificate is not for \1",
    "expired": r"TLS with [\d.]+ refused: the certificate is out of its validity period",
    "tls10": r"TLS with [\d.]+ refused: the server (offers no protocol as new as|agreed on a protocol older than) "
             r"TLS 1\.2",
    "down": r"Socket Error # 10061",
}


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def trust_ca(trustca, ca, env):
    """Adds the test CA (a PEM file) to the current user's Root store of the Wine prefix of `env`."""
    trusted = subprocess.run([WINE_RUN, trustca, wine_path(ca)], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, timeout=120)
    if trusted.returncode != 0:
        raise CaseFailed("the test CA was not added to the prefix's Root store: " + trusted.stdout.decode())


class TlsSuite(Suite):
    def __init__(self, args):
        super().__init__(args)
        self.trustca = args.trustca
        self.host = [a.rsplit(":", 1)[0] for a in self.front + self.back]
        self.servers = None

    def prepare(self):
        super().prepare()
        webroot = os.path.dirname(os.path.dirname(self.good))
        kinds = {a: k for a, k in zip(self.front, KINDS) if k != "down"}
        self.good_addr = self.back[0]
        kinds[self.good_addr] = "good"
        # A plain mirror that moves to https:// on the same host (served by M6's TLS server).
        self.moving = self.good_addr.rsplit(":", 1)[0] + ":8080"
        kinds[self.moving] = "redirect"
        self.servers = TlsMirrors(os.path.join(self.out, "servers"), webroot, kinds)
        self.servers.start()
        trust_ca(self.trustca, self.servers.ca, self.desk.env)

    def finish(self):
        if self.servers:
            self.servers.stop()

    def case_certifies_past_refused_mirrors(self):
        r = Run(self, "tls", None)
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, INSTALL_BUTTON)
            c = r.window(CERT_CAPTION, WALK_WAIT)
            r.shot("certification", c)
            lines = r.run_log(r"ms  mirror \d+ of \d+: https://", r"verdict: match")
            for addr, kind in zip(self.front, KINDS):
                refused = "EIdConnectException: " if kind == "down" else "EIdTLSRefused: "
                r.logged_outcome(lines, addr, r"  no answer: " + refused + REASONS[kind])
            r.logged_outcome(lines, self.good_addr,
                             r'  TLS 1\.[23] with %s: certificate of CN=%s, issued by CN="?setupTQ Test CA'
                             % (re.escape(self.good_addr.rsplit(":", 1)[0]), re.escape(self.good_addr.rsplit(":", 1)[0])))
            print("  " + "\n  ".join(line for line in lines if "https://" in line or "TLS" in line), flush=True)
            r.click(c, CERT_BUTTON)
            r.window(UNZIP_CAPTION, 30)
            r.check(r.wait_exit(60), "the launcher did not end after extracting")
            r.installed()
        finally:
            r.stop()

    def check_mirrors(self, command, env, who):
        mirrors = ["https://%s/" % a for a in self.front + [self.good_addr]] + ["http://%s/" % self.moving]
        args = command + ["check-mirrors"] + sum((["--mirror", m] for m in mirrors), []) + [self.launcher_arg(who)]
        done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, timeout=300)
        out = done.stdout.decode("utf-8", "replace")
        print("  %s check-mirrors:\n    %s" % (who, out.strip().replace("\n", "\n    ")), flush=True)
        for addr, kind in zip(self.front, KINDS):
            if not re.search(r"https://%s%s no answer \(.*%s" % (re.escape(addr), PATH, REASONS[kind]), out):
                raise CaseFailed("%s: no refusal of %s for its %s" % (who, addr, kind))
        for url in ("https://%s" % self.good_addr, "http://%s" % self.moving):
            if not re.search(r"%s%s match \d+ ms" % (re.escape(url), PATH), out):
                raise CaseFailed("%s: %s did not match" % (who, url))

    def launcher_arg(self, who):
        return wine_path(self.launcher) if who == "setupkit.exe" else self.launcher

    def case_setupkit_check_mirrors(self):
        # Natively the test CA is trusted by naming it as OpenSSL's CA file (this process only).
        self.check_mirrors([self.setupkit], dict(os.environ, SSL_CERT_FILE=self.servers.ca), "setupkit")
        exe = os.environ.get("SETUPTQ_SETUPKIT_EXE")
        if not exe:
            raise CaseFailed("no setupkit.exe given (SETUPTQ_SETUPKIT_EXE)")
        self.check_mirrors([WINE_RUN, exe], dict(self.desk.env if self.desk else os.environ), "setupkit.exe")


def main():
    return run_suite(TlsSuite, "Mirrors over TLS, refused for their certificate or protocol, and one that certifies.",
                     ["certifies_past_refused_mirrors", "setupkit_check_mirrors"], files=("trustca",))


if __name__ == "__main__":
    sys.exit(main())
