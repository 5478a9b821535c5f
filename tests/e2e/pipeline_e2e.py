#!/usr/bin/env python3
"""The vendor's release pipeline end to end, as the README tells it:

    pipeline_e2e.py STUB SETUPKIT INSTALLER OUTDIR MIRROR-URLS

A throw-away code-signing certificate (openssl); `setupkit info` of STUB shows its own mirrors
(MIRROR-URLS: the STUB's ten, comma-separated); `setupkit attach` refuses swapped arguments and
stores INSTALLER, copied as MySetup.exe, as instTQ.exe (`setupkit list` of the launcher shows
it); `osslsigncode sign`; `setupkit publish`; nginx with deploy/nginx/mirror.conf on the
addresses of the launcher's mirrors, the last with a web root of its own; `setupkit
check-mirrors` says every mirror matches, and `setupkit check-release` (against a release.cmake
of the stub's values) passes every check; the signed launcher under Wine certifies and starts the
installer with its argument; `osslsigncode verify` passes on it. A new build of the same version:
publish refuses while the mirrors serve the first build's reply, and publishes with --offline;
copied to nine mirrors, check-mirrors exits 1 naming the stale tenth, and so does check-release. Then the wrong order: publishing the
unsigned file is refused; published with --unsigned and signed after, check-mirrors reports a
mismatch on every mirror and the launcher shows its failure balloon.
INSTALLER is the demo installer, which records its arguments. Screenshots and every file of the
run stay in OUTDIR.
"""
import ctypes
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import time
import types
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(HERE, "verify"))
from desktop import Desktop  # noqa: E402
from verify_e2e import (ARGUMENT, CERT_CAPTION, INSTALL_BUTTON, PATH, VERIFY_CAPTION,  # noqa: E402
                        WALK_WAIT, CaseFailed, Run, Suite, end_wine, run_case)

MIRROR_CONF = os.path.join(ROOT, "deploy", "nginx", "mirror.conf")


def run(*args, ok=True, cwd=None, code=None):
    """Runs a tool; its output is returned, and a failure (or, with ok=False, a success; with
    code, any other exit code) fails."""
    p = subprocess.run(list(args), cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if (p.returncode == 0) != ok or (code is not None and p.returncode != code):
        raise CaseFailed("%s exited %d:\n%s" % (" ".join(args), p.returncode, p.stdout))
    return p.stdout


def md5(path):
    import hashlib
    return hashlib.md5(open(path, "rb").read()).hexdigest()


class Nginx:
    """deploy/nginx/mirror.conf, its `listen` and `root` set for this run, in an nginx of its
    own: pid, logs and temporary files in its folder; it ends with this process at the latest."""

    def __init__(self, folder, groups):
        """groups: (addresses, web root) for each copy of the server block: mirrors apart."""
        self.folder, self.addrs = folder, [a for addrs, _ in groups for a in addrs]
        os.makedirs(folder, exist_ok=True)
        blocks = []
        for addrs, webroot in groups:
            conf = open(MIRROR_CONF, encoding="utf-8").read()
            conf, n_listen = re.subn(r"^( *)listen [^;\n]*;.*$",
                                     lambda m: "\n".join(m.group(1) + "listen %s;" % a for a in addrs), conf,
                                     flags=re.M)
            conf, n_root = re.subn(r"^( *)root [^;\n]*;", lambda m: m.group(1) + "root %s;" % webroot, conf,
                                   flags=re.M)
            if (n_listen, n_root) != (1, 1):
                raise CaseFailed("mirror.conf: %d listen and %d root lines, not one each" % (n_listen, n_root))
            blocks.append(conf)
        site = os.path.join(folder, "mirror.conf")
        open(site, "w", encoding="utf-8").write("\n".join(blocks))
        temps = "".join("    %s_temp_path %s;\n" % (k, os.path.join(folder, k))
                        for k in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        self.access = os.path.join(folder, "access.log")
        self.conf = os.path.join(folder, "nginx.conf")
        open(self.conf, "w").write(
            "worker_processes 1;\npid %s;\nerror_log %s;\n"
            "events { worker_connections 64; }\nhttp {\n    access_log %s;\n%s    include %s;\n}\n"
            % (os.path.join(folder, "nginx.pid"), os.path.join(folder, "error.log"),
               self.access, temps, site))
        self.proc = None

    def start(self):
        run("nginx", "-t", "-p", self.folder, "-e", os.path.join(self.folder, "error.log"), "-c", self.conf)

        def die_with_parent():
            ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
        self.proc = subprocess.Popen(
            ["nginx", "-p", self.folder, "-e", os.path.join(self.folder, "error.log"), "-c", self.conf,
             "-g", "daemon off;"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=die_with_parent, start_new_session=True)
        for addr in self.addrs:  # every socket listens before anyone is asked
            host, port = addr.rsplit(":", 1)
            for _ in range(100):
                if self.proc.poll() is not None:
                    raise CaseFailed("nginx ended at start: " + open(os.path.join(self.folder, "error.log")).read())
                try:
                    socket.create_connection((host, int(port)), 1).close()
                    break
                except OSError:
                    time.sleep(0.1)
            else:
                raise CaseFailed("nginx does not listen on " + addr)

    def replies_served(self):
        return sum(1 for line in open(self.access) if PATH in line and '" 200 ' in line)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        self.proc = None


class Pipeline(Suite):
    def __init__(self, stub, setupkit, installer, out, mirrors):
        Suite.__init__(self, types.SimpleNamespace(
            launcher=stub, setupkit=setupkit, out=out, archive=None, installer=installer, mirrors=mirrors))
        self.stub, self.addrs = stub, self.front + self.back
        self.work = os.path.join(out, "release")
        self.installer, self.archive = installer, os.path.join(self.work, "payload.dat")
        self.webroot = os.path.join(self.work, "webroot")
        # The last mirror serves its own copy of the web root, which the vendor may forget.
        self.last_root = os.path.join(self.work, "webroot-last")
        self.nginx = None

    def tool(self, *args, ok=True, code=None):
        return run(self.setupkit, *args, ok=ok, cwd=self.work, code=code)

    def sign(self, unsigned, signed):
        run("osslsigncode", "sign", "-certs", "cert.pem", "-key", "key.pem", "-n", "Parvalo",
            "-i", "http://www.parvalo.example/", "-in", unsigned, "-out", signed, cwd=self.work)

    def check_mirrors(self, launcher, ok):
        """check-mirrors as the README runs it: the mirrors come from the launcher's settings."""
        out = self.tool("check-mirrors", launcher, ok=ok, code=None if ok else 1)
        print(out, end="", flush=True)
        return [line for line in out.splitlines() if line.startswith("http://")]

    def copy_to_mirrors(self, last_too=True):
        """The web root copied to the mirrors, as the README copies it."""
        os.makedirs(self.last_root, exist_ok=True)
        if last_too:
            run("rsync", "-a", "--checksum", "--delete", self.webroot + "/", self.last_root + "/")

    def prepare(self):
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        for f in os.listdir(self.out):
            if f.endswith(".png"):
                os.remove(os.path.join(self.out, f))
        self.nginx = Nginx(os.path.join(self.work, "nginx"),
                           [(self.addrs[:-1], self.webroot), (self.addrs[-1:], self.last_root)])
        # The vendor's installer has a name of its own; the launcher starts it as instTQ.exe.
        shutil.copy(self.installer, os.path.join(self.work, "MySetup.exe"))
        shutil.copy(self.installer, os.path.join(self.work, "instTQ.exe"))
        shutil.copy(self.stub, os.path.join(self.work, "stub.exe"))
        # The throw-away code-signing certificate, its own trust anchor.
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-sha256",
            "-subj", "/CN=Parvalo release test/O=QOR Software", "-keyout", "key.pem", "-out", "cert.pem",
            "-addext", "extendedKeyUsage=codeSigning", "-addext", "keyUsage=digitalSignature",
            cwd=self.work)
        # The stub describes itself: the mirrors this test serves, and no payload.
        info = json.loads(self.tool("info", "--json", "stub.exe"))
        if info["mirrors"] != ["http://%s/" % a for a in self.addrs] or info["payload"] is not None:
            raise CaseFailed("setupkit info stub.exe: %s" % info)
        # The release file this stub was built from, as check-release reads it from the checkout.
        with open(os.path.join(self.work, "release.cmake"), "w") as f:
            f.write('set(SETUPTQ_PRODUCT_CODE "%s")\nset(SETUPTQ_PRODUCT_VERSION "%s")\n'
                    'set(SETUPTQ_INSTALLER_QUIET "%s")\nset(SETUPTQ_INSTALLER_NORESTART "%s")\n'
                    'set(SETUPTQ_HOME_PAGE "%s")\nset(SETUPTQ_MIRRORS\n%s)\n'
                    % (info["product_code"], info["version"], info["installer_quiet"],
                       info["installer_no_restart"], info["home_page"],
                       "".join('  "%s"\n' % m for m in info["mirrors"])))
        # Swapped arguments: the installer is no stub; nothing is written.
        out = self.tool("attach", "MySetup.exe", "stub.exe", "-o", "unsigned.exe", ok=False, code=1)
        if "MySetup.exe is not a setupTQ stub" not in out or os.path.exists(os.path.join(self.work, "unsigned.exe")):
            raise CaseFailed("swapped arguments: %s" % out)
        self.tool("attach", "stub.exe", "MySetup.exe", "-o", "unsigned.exe")
        self.tool("pack", "payload.dat", "instTQ.exe")  # what the launcher must unpack as install.dat
        listing = self.tool("list", "unsigned.exe")
        if not re.search(r"^ +%d +\d+  instTQ\.exe$" % os.path.getsize(self.installer), listing, re.M) \
                or "1 entries" not in listing:
            raise CaseFailed("setupkit list unsigned.exe:\n" + listing)
        self.desk = Desktop(self.xvfb.start())

    def case_right_order(self):
        self.sign("unsigned.exe", "setupTQ.exe")
        signed = os.path.join(self.work, "setupTQ.exe")
        if md5(signed) == md5(os.path.join(self.work, "unsigned.exe")):
            raise CaseFailed("signing left the file's fingerprint as it was")
        info = json.loads(self.tool("info", "--json", "setupTQ.exe"))
        if not info["signed"] or "CN=Parvalo release test" not in (info["signer"] or ""):
            raise CaseFailed("setupkit info setupTQ.exe: signed %s by %r" % (info["signed"], info["signer"]))
        self.tool("publish", "--create", "setupTQ.exe", self.webroot)
        self.copy_to_mirrors()
        reply = os.path.join(self.webroot, PATH.lstrip("/"))
        self.nginx.start()
        # The reply as the mirror serves it: the same bytes, text/html without a charset, cached
        # for a minute, with an ETag.
        with urllib.request.urlopen("http://%s%s" % (self.addrs[0], PATH), timeout=10) as r:
            body, headers = r.read(), r.headers
        if body != open(reply, "rb").read():
            raise CaseFailed("the mirror serves other bytes than the published reply")
        for name, want in (("Content-Type", "text/html"), ("Cache-Control", "max-age=60")):
            if headers.get(name) != want:
                raise CaseFailed("%s: %r, not %r" % (name, headers.get(name), want))
        if not headers.get("ETag"):
            raise CaseFailed("no ETag")
        lines = self.check_mirrors("setupTQ.exe", ok=True)
        if len(lines) != len(self.addrs) or not all(re.search(r" match \d+ ms$", l) for l in lines):
            raise CaseFailed("check-mirrors: %s" % lines)
        run("osslsigncode", "verify", "-CAfile", "cert.pem", "-in", "setupTQ.exe", cwd=self.work)
        out = self.tool("check-release", "setupTQ.exe")
        print(out, end="", flush=True)
        if not re.search(r"^  pass signed   by CN=Parvalo release test, O=QOR Software;.* the signature value "
                         r"verifies, the chain does not end at a root this machine trusts: self-signed$", out, re.M) \
                or out.count("\n  pass ") != 5 or "all 5 checks pass" not in out \
                or not re.search(r"^  warn signed   no time stamp: the signature stops being valid on "
                                 r"\d{4}-\d\d-\d\d, when", out, re.M):
            raise CaseFailed("check-release setupTQ.exe:\n" + out)
        # One bit of the signature value changed: its digests still hold, its value does not.
        forged = bytearray(open(signed, "rb").read())
        table = struct.unpack_from("<I", forged, struct.unpack_from("<I", forged, 0x3C)[0] + 24 + 96 + 32)[0]
        forged[forged.rfind(b"\x04\x82\x01\x00", table) + 40] ^= 1
        open(os.path.join(self.work, "forged.exe"), "wb").write(forged)
        out = self.tool("publish", "forged.exe", self.webroot, ok=False, code=1)
        if "the signature value does not verify with the signer's public key" not in out:
            raise CaseFailed("publishing a launcher whose signature value was changed: %s" % out)

        r = Run(self, "signed", None, launcher=signed)
        try:
            w = r.window(VERIFY_CAPTION)
            self.certify(r, w, "certification")  # the installer started with ARGUMENT
        finally:
            r.stop()
        got = self.nginx.replies_served()
        if got < len(self.addrs) + 2:  # the header check, check-mirrors, and the launcher
            raise CaseFailed("nginx served the reply %d times" % got)

    def case_stale_mirror(self):
        # A new build of the same version, copied to nine mirrors: the tenth still serves the
        # reply of the build before, and check-mirrors names it.
        before = md5(os.path.join(self.work, "setupTQ.exe"))
        open(os.path.join(self.work, "readme.txt"), "w").write("release notes\n")
        self.tool("attach", "stub.exe", "MySetup.exe", "readme.txt", "-o", "unsigned2.exe")
        self.sign("unsigned2.exe", "setupTQ2.exe")
        # The mirrors serve the first build's reply: publishing over it is refused, and nothing
        # is written; the vendor who knows no user has the first build says --offline.
        reply = os.path.join(self.webroot, PATH.lstrip("/"))
        served = open(reply, "rb").read()
        out = self.tool("publish", "setupTQ2.exe", self.webroot, ok=False, code=1)
        if "already serves the reply of another build" not in out or before not in out or \
                "Raise SETUPTQ_PRODUCT_VERSION in release.cmake" not in out or open(reply, "rb").read() != served:
            raise CaseFailed("publishing a second build of the same version: %s" % out)
        self.tool("publish", "--offline", "setupTQ2.exe", self.webroot)
        self.copy_to_mirrors(last_too=False)
        lines = self.check_mirrors("setupTQ2.exe", ok=False)
        stale = "http://%s%s mismatch (got %s) " % (self.addrs[-1], PATH, before)
        if len(lines) != len(self.addrs) or not lines[-1].startswith(stale) or \
                not all(re.search(r" match \d+ ms$", l) for l in lines[:-1]):
            raise CaseFailed("check-mirrors: %s" % lines)
        out = self.tool("check-release", "setupTQ2.exe", ok=False, code=1)
        print(out, end="", flush=True)
        failed = re.findall(r"^  FAIL (\S+) ", out, re.M)
        if failed != ["reply"] or "M%d http://%s%s serves %s" % (len(self.addrs), self.addrs[-1], PATH, before) not in out:
            raise CaseFailed("check-release setupTQ2.exe:\n" + out)
        self.copy_to_mirrors()
        lines = self.check_mirrors("setupTQ2.exe", ok=True)

    def case_wrong_order(self):
        # The unsigned file is refused, and the web root left as it was.
        reply = os.path.join(self.webroot, PATH.lstrip("/"))
        served = open(reply, "rb").read()
        out = self.tool("publish", "unsigned.exe", self.webroot, ok=False, code=1)
        if "unsigned.exe is not signed" not in out or open(reply, "rb").read() != served:
            raise CaseFailed("publishing the unsigned launcher: %s" % out)
        # Published from the unsigned file anyway, then signed: what the users get is the signed file.
        self.tool("publish", "--unsigned", "--offline", "unsigned.exe", self.webroot)
        self.copy_to_mirrors()
        self.sign("unsigned.exe", "late.exe")
        lines = self.check_mirrors("late.exe", ok=False)
        unsigned = md5(os.path.join(self.work, "unsigned.exe"))
        if len(lines) != len(self.addrs) or not all(" mismatch (got %s) " % unsigned in l for l in lines):
            raise CaseFailed("check-mirrors: %s" % lines)

        served = self.nginx.replies_served()
        r = Run(self, "signed-late", None, launcher=os.path.join(self.work, "late.exe"))
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, INSTALL_BUTTON)
            b = self.desk.wait(lambda: r.balloons(w), WALK_WAIT, r.alive)
            r.check(b, "no failure balloon")
            # A mirror answered: the balloon is the verdict on its reply, not "no connection".
            r.check(self.desk.wait(lambda: self.nginx.replies_served() > served, 20),
                    "the launcher's request did not reach nginx")
            time.sleep(0.5)
            r.shot("failure-balloon")
            r.check(not self.desk.find(CERT_CAPTION), "the late-signed launcher certified itself")
            self.desk.close(w)
            r.check(r.wait_exit(60), "the launcher did not end when closed after a failure")
            r.nothing_written()
        finally:
            r.stop()


def main():
    stub, setupkit, installer, out = (os.path.abspath(a) for a in sys.argv[1:5])
    suite = Pipeline(stub, setupkit, installer, out, sys.argv[5])
    failed = []
    try:
        os.makedirs(out, exist_ok=True)
        suite.prepare()
        # The wrong order needs the mirrors of the right one.
        if not run_case(suite, "right_order"):
            failed.append("right_order")
        else:
            for case in ("stale_mirror", "wrong_order"):
                if not run_case(suite, case):
                    failed.append(case)
    except CaseFailed as e:
        failed.append("prepare")
        print("FAIL prepare      %s" % e, flush=True)
    finally:
        if suite.nginx:
            suite.nginx.stop()
        end_wine(suite)
    print("screenshots and files in " + out)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
