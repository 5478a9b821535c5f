#!/usr/bin/env python3
"""Mirrors reached over IPv6: the real setupTQ.exe under Wine, built with mirrors M1..M5 on host
names that here have an IPv6 address only (::1, from a hosts file of this run's own) and the
reply served on [::1]:8080 alone, certifies, its log naming the address and family connected;
then the native setupkit check-mirrors judges the same launcher's mirrors given as an IPv6
literal (http://[::1]:8080/) and by such a name as matches, and a sign-in portal on M6 as no
answer:

    ipv6_e2e.py LAUNCHER SETUPKIT OUTDIR --mirrors URL,...

::1 alone cannot show a name lookup of both families (the IPv4 lookup of localhost answers too),
hence the names. The hosts file is replaced in a mount namespace (unshare -m, as root); without
root or mount namespaces the test is skipped (exit 77). Without ::1 on the loopback interface
it fails, saying so.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time

from desktop import Desktop, Xvfb
from silent_dns_e2e import Failed, check, run_in_mount_namespace, start_launcher
from verify_e2e import (CERT_BUTTON, CERT_CAPTION, INSTALL_BUTTON, PATH, UNZIP_CAPTION, VERIFY_CAPTION,
                        WINDOW_WAIT, run_logs)

HERE = os.path.dirname(os.path.abspath(__file__))
V6_MIRROR = "[::1]:8080"


def private_hosts(folder, names):
    """This namespace's hosts file gives each name ::1 and nothing else; files only, no DNS."""
    os.makedirs(folder, exist_ok=True)
    with open("/etc/hosts") as f:
        hosts = "".join(line for line in f if not any(n in line.lower() for n in names))
    hosts += "".join("::1 %s\n" % n for n in names)
    with open("/etc/nsswitch.conf") as f:
        nsswitch = re.sub(r"^hosts:.*$", "hosts: files", f.read(), flags=re.M)
    for name, text in (("hosts", hosts), ("nsswitch.conf", nsswitch)):
        path = os.path.join(folder, name)
        with open(path, "w") as f:
            f.write(text)
        subprocess.run(["mount", "--bind", path, "/etc/" + name], check=True)


def run_inside(args):
    # The interfaces' IPv6 addresses, as `ip -6 addr` reads them: ::1 on lo.
    try:
        addresses = open("/proc/net/if_inet6").read()
    except OSError:
        addresses = ""
    check(re.search(r"^0{31}1 .* lo$", addresses, re.M),
          "the loopback interface has no ::1 (IPv6 disabled on this machine?): /proc/net/if_inet6 is %r" % addresses)
    urls = args.mirrors.split(",")
    hosts = [re.fullmatch(r"http://([^/:]+):8080/", u).group(1) for u in urls[:5]]
    portal = re.fullmatch(r"http://([^/]+)/", urls[5]).group(1)
    out = args.out
    os.makedirs(out, exist_ok=True)
    private_hosts(os.path.join(out, "resolver"), hosts)
    replies = os.path.join(out, "replies")
    shutil.rmtree(replies, ignore_errors=True)
    subprocess.run([args.setupkit, "publish", "--create", "--unsigned", "--offline", args.launcher, replies], check=True,
                   stdout=subprocess.DEVNULL)
    work = os.path.join(out, "work")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shutil.copy(args.launcher, os.path.join(work, "setupTQ.exe"))
    log = os.path.join(work, "requests.jsonl")
    open(log, "w").close()
    reply = os.path.join(replies, PATH.lstrip("/"))
    logs_before = run_logs()

    xvfb = Xvfb()
    mirrors = launcher = None
    try:
        desk = Desktop(xvfb.start())
        mirrors = subprocess.Popen([sys.executable, os.path.join(HERE, "mirrors.py"), "--log", log, "--lifetime", "300",
                                    "%s=reply:%s" % (V6_MIRROR, reply), "%s=portal" % portal],
                                   stdout=subprocess.PIPE, start_new_session=True)
        check(mirrors.stdout.readline().decode().strip() == "ready", "the mirrors did not start")
        launcher, window, click = start_launcher(desk, work)

        w = window(VERIFY_CAPTION, WINDOW_WAIT)
        time.sleep(0.5)  # painted before the press
        click(w, INSTALL_BUTTON)
        cert = window(CERT_CAPTION, 60)
        time.sleep(0.5)
        desk.shot(os.path.join(out, "ipv6-certification.png"), desk.geometry(cert))
        click(cert, CERT_BUTTON)
        window(UNZIP_CAPTION, 30)
        try:
            launcher.wait(60)
        except subprocess.TimeoutExpired:
            raise Failed("the launcher did not end after extracting")
        new = sorted(run_logs() - logs_before)
        check(len(new) == 1, "%d new logs in the temporary folder" % len(new))
        lines = open(new[0], "rb").read().decode("utf-8-sig").split("\r\n")
        shutil.copy(new[0], os.path.join(out, "ipv6.log"))
        answered = [line for line in lines if "answered: status 200" in line]
        print("  ipv6: " + "\n  ipv6: ".join(answered), flush=True)
        check(len(answered) == 1 and "connected to ::1 (IPv6) after" in answered[0],
              "the log does not name ::1 (IPv6) as the address connected: %s" % answered)
        check(any("verdict: match" in line for line in lines), "no match in the log")

        # The vendor's tool: the literal, a name with ::1 alone, and the portal.
        verdicts = subprocess.run([args.setupkit, "check-mirrors", args.launcher, "--mirror", "http://%s/" % V6_MIRROR,
                                   "--mirror", urls[0], "--mirror", urls[5]], capture_output=True, text=True).stdout
        print("  ipv6: setupkit check-mirrors:\n    " + verdicts.strip().replace("\n", "\n    "), flush=True)
        check(re.search(r"^http://\[::1\]:8080/\S+ match \d+ ms$", verdicts, re.M), "the literal [::1] did not match")
        check(re.search(r"^%s\S+ match \d+ ms$" % re.escape(urls[0]), verdicts, re.M), "%s did not match" % urls[0])
        check(re.search(r"^%s\S+ no answer \(the network answered with a page \(a sign-in portal\?\)\) \d+ ms$"
                        % re.escape(urls[5]), verdicts, re.M), "the portal was not judged as no answer")
    finally:
        for p in (launcher, mirrors):
            if p:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                p.wait()
        if mirrors:
            mirrors.stdout.close()
        subprocess.run(["wineserver", "-w"], timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        xvfb.stop()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("launcher")
    p.add_argument("setupkit")
    p.add_argument("out")
    p.add_argument("--mirrors", required=True)
    p.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = p.parse_args()
    for a in ("launcher", "setupkit", "out"):
        setattr(args, a, os.path.abspath(getattr(args, a)))
    return run_in_mount_namespace("ipv6", args, "replacing the hosts file needs root", run_inside)

if __name__ == "__main__":
    sys.exit(main())
