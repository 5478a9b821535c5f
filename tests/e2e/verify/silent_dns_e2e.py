#!/usr/bin/env python3
"""A name server that never answers must not freeze the verification: the real setupTQ.exe
under Wine, built with mirrors M1..M5 on host names (one of them is asked first in every
order) and M6..M10 on loopback, with the system's resolver pointed at a local name server that
reads every query and answers none. Each name lookup must give up at the client's connect
limit (10 s) so that the walk reaches M6 and certifies; all the while the verification window
answers WM_NULL, sent every 250 ms by a second program (hungcheck.exe), within 1 s:

    silent_dns_e2e.py LAUNCHER SETUPKIT OUTDIR --mirrors URL,... --hungcheck HUNGCHECK

The resolver's files are replaced in a mount namespace of this run's own (unshare -m, as
root): /etc/resolv.conf names the silent server on 127.0.0.31, /etc/hosts keeps its entries
(Wine looks the machine's own name up at start) but none of the mirror names, and
/etc/nsswitch.conf sends host names to DNS. Without root or mount namespaces the test
is skipped (exit 77). Prints the seconds from the press of the install button to the
certification window.
"""
import argparse
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

from desktop import Desktop, Xvfb
from verify_e2e import (ARGUMENT, CERT_BUTTON, CERT_CAPTION, INSTALL_BUTTON, INSTALLER_CAPTION, PATH, ROOT,
                        UNZIP_CAPTION, VERIFY_CAPTION, WINDOW_WAIT, WINE_RUN)

HERE = os.path.dirname(os.path.abspath(__file__))
NAME_SERVER = "127.0.0.31"
SKIP = 77
LIMIT = 10            # the verification client's connect limit, in seconds
# glibc's own give-up for a silent server with these options is 5 x 30 s a name: far beyond
# the limit, so only the launcher's own limit can end a lookup in time.
RESOLV_CONF = "nameserver %s\noptions timeout:30 attempts:5\n" % NAME_SERVER


class Failed(Exception):
    pass


def check(ok, what):
    if not ok:
        raise Failed(what)


class SilentNameServer:
    """Reads DNS queries on NAME_SERVER:53 (UDP) and records the names asked; never answers."""

    def __init__(self):
        self.names = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((NAME_SERVER, 53))
        self.sock.settimeout(0.2)
        self.stopped = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stopped.is_set():
            try:
                query, _ = self.sock.recvfrom(4096)
            except socket.timeout:
                continue
            labels, at = [], 12  # the question follows the 12-byte header
            while at < len(query) and query[at]:
                labels.append(query[at + 1:at + 1 + query[at]].decode("ascii", "replace"))
                at += 1 + query[at]
            self.names.append(".".join(labels).lower())

    def stop(self):
        self.stopped.set()
        self.thread.join(2)
        self.sock.close()


def private_resolver(folder, names):
    """Points this namespace's resolver at the silent server (bind mounts over /etc)."""
    os.makedirs(folder, exist_ok=True)
    with open("/etc/nsswitch.conf") as f:
        nsswitch = re.sub(r"^hosts:.*$", "hosts: files dns", f.read(), flags=re.M)
    with open("/etc/hosts") as f:
        hosts = "".join(line for line in f if not any(n in line.lower() for n in names))
    for name, text in (("resolv.conf", RESOLV_CONF), ("hosts", hosts), ("nsswitch.conf", nsswitch)):
        path = os.path.join(folder, name)
        with open(path, "w") as f:
            f.write(text)
        subprocess.run(["mount", "--bind", path, "/etc/" + name], check=True)
    with open("/etc/resolv.conf") as f:
        check(f.read() == RESOLV_CONF, "the resolver's file was not replaced")


def start_launcher(desk, work):
    """The launcher in `work` started under Wine on `desk`, with the two routines a run uses on
    its windows: window(caption, timeout) waits for one while the launcher lives, and
    click(win, point) presses a point of a window."""
    launcher = subprocess.Popen([WINE_RUN, "setupTQ.exe", ARGUMENT], cwd=work, env=desk.env,
                                stdout=open(os.path.join(work, "wine.log"), "w"), stderr=subprocess.STDOUT,
                                start_new_session=True)
    alive = lambda: launcher.poll() is None

    def window(caption, timeout):
        found = desk.wait(lambda: desk.find(caption), timeout, alive)
        check(found, "no window '%s'" % caption)
        return found[0]

    def click(win, point):
        g = desk.geometry(win)
        desk.click(g.x + point[0], g.y + point[1])

    return launcher, window, click


def run_inside(args):
    out = args.out
    os.makedirs(out, exist_ok=True)
    urls = args.mirrors.split(",")
    check(len(urls) == 10, "ten mirror URLs are needed")
    hosts = [re.fullmatch(r"http://([^/:]+):\d+/", u).group(1) for u in urls[:5]]
    back = [re.fullmatch(r"http://([^/]+)/", u).group(1) for u in urls[5:]]
    check(not any(re.fullmatch(r"[\d.]+", h) for h in hosts), "M1..M5 must be host names")

    private_resolver(os.path.join(out, "resolver"), hosts)
    replies = os.path.join(out, "replies")
    shutil.rmtree(replies, ignore_errors=True)
    subprocess.run([args.setupkit, "publish", "--unsigned", "--offline", "--create", args.launcher, replies], check=True, stdout=subprocess.DEVNULL)
    work = os.path.join(out, "work")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shutil.copy(args.launcher, os.path.join(work, "setupTQ.exe"))
    log = os.path.join(work, "requests.jsonl")
    open(log, "w").close()

    dns = SilentNameServer()
    xvfb = Xvfb()
    desk = mirrors = launcher = pinger = None
    try:
        desk = Desktop(xvfb.start())
        reply = os.path.join(replies, PATH.lstrip("/"))
        mirrors = subprocess.Popen([sys.executable, os.path.join(HERE, "mirrors.py"), "--log", log,
                                    "--lifetime", "400"] + ["%s=reply:%s" % (a, reply) for a in back],
                                   stdout=subprocess.PIPE, start_new_session=True)
        check(mirrors.stdout.readline().decode().strip() == "ready", "the loopback mirrors did not start")
        launcher, window, click = start_launcher(desk, work)

        w = window(VERIFY_CAPTION, WINDOW_WAIT)
        time.sleep(0.5)  # painted before the press
        # Asks the window from before the press until after the certification window.
        pinger = subprocess.Popen([WINE_RUN, args.hungcheck, VERIFY_CAPTION, str(5 * LIMIT + 20)], cwd=work,
                                  env=desk.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  start_new_session=True)
        check(pinger.stdout.readline().decode().strip() == "found", "hungcheck did not find the window")
        click(w, INSTALL_BUTTON)
        pressed = time.monotonic()
        cert = window(CERT_CAPTION, 5 * LIMIT + 100)
        seconds = time.monotonic() - pressed
        time.sleep(0.5)
        desk.shot(os.path.join(out, "silent-dns-certification.png"), desk.geometry(cert))
        print("  silent-dns: %.1f s from the press to the certification window" % seconds, flush=True)
        try:
            answers = pinger.communicate(timeout=5 * LIMIT + 80)[0].decode().strip()
        except subprocess.TimeoutExpired:
            raise Failed("hungcheck did not end")
        print("  silent-dns: hungcheck: " + answers.replace("\n", "; "), flush=True)
        check(pinger.returncode == 0, "the verification window left WM_NULL unanswered for over 1 s")

        asked = sorted(set(dns.names))
        check(all(any(n.startswith(h) for n in asked) for h in hosts),
              "the silent name server was not asked for every host name: %s" % asked)
        with open(log, encoding="utf-8") as f:
            reqs = [json.loads(line)["addr"] for line in f if line.strip()]
        check(reqs == [back[0]], "asked on loopback: %s (expected only %s)" % (reqs, back[0]))
        # Five lookups, each ended by the limit: not at once (no address came), and far from
        # the resolver's own give-up.
        check(seconds >= 5 * LIMIT - 5, "certified after %.1f s: the lookups did not wait" % seconds)
        check(seconds < 5 * LIMIT + 40, "certified after %.1f s: a lookup outlived the limit" % seconds)

        # The lookups given up on still wait for their answer; the launcher ends all the same.
        click(cert, CERT_BUTTON)
        window(UNZIP_CAPTION, 30)
        try:
            launcher.wait(60)
        except subprocess.TimeoutExpired:
            raise Failed("the launcher did not end after extracting")
        check(os.path.exists(os.path.join(work, "install.dat")), "install.dat was not written")
        check(desk.wait(lambda: desk.find(INSTALLER_CAPTION), 30), "the installer was not started")
    finally:
        # The installer runs apart from the launcher's process group: closed by its window.
        for win in (desk.find(INSTALLER_CAPTION) if desk else []):
            desk.close(win)
        for p in (launcher, mirrors, pinger):
            if p:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                p.wait()
        if mirrors:
            mirrors.stdout.close()
        prefix = os.environ.get("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
        try:
            subprocess.run(["wineserver", "-w"], timeout=60, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, env=dict(os.environ, WINEPREFIX=prefix))
        except subprocess.TimeoutExpired:
            print("  silent-dns: wineserver still busy after a minute", flush=True)
        xvfb.stop()
        dns.stop()
        print("  silent-dns: the name server was asked for %s" % sorted(set(dns.names)), flush=True)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("launcher")
    p.add_argument("setupkit")
    p.add_argument("out")
    p.add_argument("--mirrors", required=True)
    p.add_argument("--hungcheck", required=True)
    p.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = p.parse_args()
    for a in ("launcher", "setupkit", "out", "hungcheck"):
        setattr(args, a, os.path.abspath(getattr(args, a)))
    return run_in_mount_namespace("silent_dns", args, "replacing the resolver's files needs root", run_inside)


def run_in_mount_namespace(name, args, needs_root, run_inside):
    """Runs this script again in a mount namespace of its own (as root), so that the files it
    replaces there (the resolver's, the hosts file) are seen by this run alone and its mounts end
    with it; inside, runs run_inside(args) and prints PASS or FAIL with the name."""
    if not args.inside:
        if os.geteuid() != 0:
            print("SKIP: " + needs_root)
            return SKIP
        probe = subprocess.run(["unshare", "--mount", "--propagation", "private", "true"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if probe.returncode != 0:
            print("SKIP: no mount namespace: " + probe.stderr.decode().strip())
            return SKIP
        script = os.path.abspath(sys.modules["__main__"].__file__)
        return subprocess.run(["unshare", "--mount", "--propagation", "private", sys.executable, script, "--inside"]
                              + sys.argv[1:]).returncode
    try:
        run_inside(args)
    except Failed as e:
        print("FAIL %s: %s" % (name, e), flush=True)
        return 1
    print("PASS %s" % name, flush=True)
    return 0

if __name__ == "__main__":
    sys.exit(main())
