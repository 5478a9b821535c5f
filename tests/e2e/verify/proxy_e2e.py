#!/usr/bin/env python3
"""The system's proxy, end to end: the real setupTQ.exe under Wine, in a Wine prefix of its
own, and the native setupkit, each reaching mirrors whose names only the proxy can resolve.

    proxy_e2e.py LAUNCHER SETUPKIT OUTDIR --mirrors URL,... --archive FILE --installer FILE [CASE...]

LAUNCHER is the end-to-end launcher whose M1..M5 are host names (mirrorN.parvalo.test:8080):
the machine's resolver knows none of them. A real HTTP proxy (Debian's squid) listens on
127.0.0.51:3129 with a hosts file of its own that sends every one of those names to the mirror
on 127.0.0.52:8080, so a mirror answers only through the proxy. M6..M10 are down.

    manual   Internet Options name the proxy (with "<local>" bypassed): the launcher certifies
             through it, and its log says "route: proxy 127.0.0.51:3129 (manual proxy)"
    pac      Internet Options name an automatic configuration script served on 127.0.0.53:8080
             ("PROXY 127.0.0.51:3129; DIRECT"): the same, and the log names the script
    native   setupkit check-mirrors with http_proxy (and no_proxy for the loopback mirror):
             the name matches through the proxy, the address directly, each saying its route;
             without http_proxy the name is no answer
    native_https
             the same over https through the proxy's CONNECT tunnel: nginx serves the reply over
             TLS on 127.0.0.52:8443 with a certificate for the names from a CA this run makes,
             which setupkit trusts through SSL_CERT_FILE; the proxy's log shows the tunnel. Not
             among the cases run by default until the client has its TLS handler.

Internet Options are written as Windows keeps them: the Connections value
DefaultConnectionSettings, which WinHTTP reads (Wine 8 reads nothing else), and ProxyEnable /
ProxyServer / ProxyOverride / AutoConfigURL beside it. Every mirror request must reach the
mirror with the proxy's Via header, and the proxy's access log must list it.
"""
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import time

# The launcher runs in a prefix of this suite's own, so that the proxy settings written here
# never reach the other suites' prefix.
if "SETUPTQ_PROXY_PREFIX" in os.environ:
    os.environ["WINEPREFIX"] = os.environ["SETUPTQ_PROXY_PREFIX"]

from verify_e2e import CERT_CAPTION, INSTALL_BUTTON, PATH, VERIFY_CAPTION, WINE_RUN, CaseFailed, Run, Suite, run_suite

PROXY = ("127.0.0.51", 3129)  # not 3128: the squid service Debian starts listens there
ORIGIN = "127.0.0.52:8080"      # where the proxy's hosts file sends every mirror name
PAC_SERVER = "127.0.0.53:8080"  # serves the automatic configuration script
PAC_URL = "http://%s/proxy.pac" % PAC_SERVER
PAC = """function FindProxyForURL(url, host) {
  if (isPlainHostName(host)) return "DIRECT";
  return "PROXY %s:%d; DIRECT";
}
""" % PROXY
SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
CERTIFY_WAIT = 150  # five mirrors that are down, each answered at once by the proxy's 503
TLS_ORIGIN = "127.0.0.52:8443"  # nginx, TLS with the run's own CA
CASES = ("manual", "pac", "native")
ALL_CASES = CASES + ("native_https",)


def connection_settings(flags, proxy="", bypass="", script=""):
    """Internet Options' DefaultConnectionSettings: version, change counter, flags (1 direct,
    2 proxy, 4 script, 8 detect), then the proxy, the bypass list and the script's URL, each
    after its length; then the fields WinHTTP does not read."""
    value = struct.pack("<III", 0x46, 1, flags)
    for text in (proxy, bypass, script):
        value += struct.pack("<I", len(text)) + text.encode("ascii")
    return (value + b"\0" * 32).hex()


class Squid:
    """squid on PROXY with a hosts file of its own, every log in `folder`."""

    def __init__(self, folder, names):
        self.folder = folder
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        os.chmod(folder, 0o777)  # squid writes its logs as its own user
        with open(os.path.join(folder, "hosts"), "w") as f:
            f.write("%s %s\n" % (ORIGIN.split(":")[0], " ".join(names)))
        self.access = os.path.join(folder, "access.log")
        conf = os.path.join(folder, "squid.conf")
        with open(conf, "w") as f:
            f.write("\n".join([
                "http_port %s:%d" % PROXY,
                "pid_filename " + os.path.join(folder, "squid.pid"),
                "cache_log " + os.path.join(folder, "cache.log"),
                "access_log stdio:" + self.access,
                "coredump_dir " + folder,
                "hosts_file " + os.path.join(folder, "hosts"),
                # Names outside the hosts file go to a server that is not there, and fail soon.
                "dns_nameservers 127.0.0.59",
                "dns_timeout 2 seconds",
                "cache deny all",
                "http_access allow all",
                "shutdown_lifetime 1 seconds",
                "visible_hostname proxy-e2e",
            ]) + "\n")
        self.proc = subprocess.Popen(["squid", "-N", "-f", conf], stdout=subprocess.DEVNULL,
                                     stderr=open(os.path.join(folder, "squid.out"), "w"), start_new_session=True)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            try:
                socket.create_connection(PROXY, 1).close()
                return
            except OSError:
                if self.proc.poll() is not None:
                    break
                time.sleep(0.2)
        self.stop()
        raise SystemExit("squid did not start: see " + folder)

    def requests(self):
        """The URLs the proxy fetched, with its result ("TCP_MISS/200")."""
        if not os.path.exists(self.access):
            return []
        with open(self.access) as f:
            return [(p[3], p[6]) for p in (line.split() for line in f) if len(p) > 6]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def make_tls_mirror(folder, names, root):
    """nginx serving `root` over TLS on TLS_ORIGIN with a certificate for `names` from a CA made
    here (trusted by nothing but this run). Returns (nginx process, the CA's file)."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    f = lambda name: os.path.join(folder, name)
    run = lambda *a: subprocess.run(a, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=setupTQ proxy test CA",
        "-keyout", f("ca.key"), "-out", f("ca.pem"))
    with open(f("san.ext"), "w") as ext:
        ext.write("subjectAltName=" + ",".join("DNS:" + n for n in names) + "\n")
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + names[0], "-keyout", f("server.key"),
        "-out", f("server.csr"))
    run("openssl", "x509", "-req", "-in", f("server.csr"), "-CA", f("ca.pem"), "-CAkey", f("ca.key"),
        "-CAcreateserial", "-days", "2", "-extfile", f("san.ext"), "-out", f("server.pem"))
    for name in os.listdir(folder):
        os.chmod(f(name), 0o644)  # nginx's workers run as their own user
    with open(f("nginx.conf"), "w") as conf:
        conf.write("pid %s;\nerror_log %s;\nevents {}\nhttp {\n access_log off;\n"
                   " server {\n  listen %s ssl;\n  ssl_certificate %s;\n  ssl_certificate_key %s;\n"
                   "  root %s;\n }\n}\n" % (f("nginx.pid"), f("error.log"), TLS_ORIGIN, f("server.pem"),
                                             f("server.key"), root))
    nginx = subprocess.Popen(["nginx", "-p", folder, "-c", f("nginx.conf"), "-g", "daemon off;"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    host, port = TLS_ORIGIN.split(":")
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        try:
            socket.create_connection((host, int(port)), 1).close()
            return nginx, f("ca.pem")
        except OSError:
            time.sleep(0.2)
    nginx.terminate()
    raise CaseFailed("nginx did not start: see " + folder)


class ProxySuite(Suite):
    def __init__(self, args):
        super().__init__(args)
        self.names = [a.split(":")[0] for a in self.front]
        if any(re.fullmatch(r"[\d.]+", n) for n in self.names):
            raise SystemExit("M1..M5 must be host names")
        self.squid = None

    def prepare(self):
        super().prepare()
        self.pac = os.path.join(self.out, "proxy.pac")
        with open(self.pac, "w") as f:
            f.write(PAC)
        self.squid = Squid(os.path.join(self.out, "squid"), self.names)

    def finish(self):
        pass

    def internet_options(self, values):
        """Writes Internet Options values (name: (type, data)) into the prefix's user."""
        for name, (kind, data) in values.items():
            key = SETTINGS + (r"\Connections" if name == "DefaultConnectionSettings" else "")
            subprocess.run([WINE_RUN, "reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"],
                           env=self.desk.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                           timeout=120)

    def certify_through_proxy(self, name, route):
        """One run: the launcher certifies through the proxy, and its log gives `route` (a
        regular expression) for the mirror that answered."""
        seen = len(self.squid.requests())
        r = Run(self, name, {ORIGIN: "reply:" + self.good, PAC_SERVER: "reply:" + self.pac})
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, INSTALL_BUTTON)
            cert = r.window(CERT_CAPTION, CERTIFY_WAIT)
            r.shot("certification", cert)
            lines = r.run_log(r"ms  mirror \d+ of 10: http://mirror\d\.parvalo\.test:8080/", r"route: " + route,
                              r"answered: status 200", r"verdict: match")
            # Every mirror asked went through the proxy: the down ones too, answered by the proxy.
            asked = [k for k, line in enumerate(lines) if re.search(r"ms  mirror \d+ of 10: ", line)]
            for k in asked:
                r.check(re.search(r"route: " + route, lines[k + 1]), "mirror asked without the proxy: %r" %
                        lines[k:k + 2])
            heads = [q["head"] for q in r.requests() if q["addr"] == ORIGIN]
            r.check(len(heads) == 1, "the mirror was asked %d times" % len(heads))
            r.check(re.search(r"\r\nVia: [^\r]*proxy-e2e", heads[0]), "the mirror's request did not come through "
                    "the proxy: %r" % heads[0])
            r.check(re.search(r"\r\nHost: mirror\d\.parvalo\.test:8080\r\n", heads[0]), "Host: %r" % heads[0])
            fetched = self.squid.requests()[seen:]
            r.check(any(re.fullmatch(r"http://mirror\d\.parvalo\.test:8080" + re.escape(PATH), u) and
                        res == "TCP_MISS/200" for res, u in fetched), "the proxy fetched %r" % fetched)
            print("  %s: %s" % (name, lines[asked[-1] + 1].strip()), flush=True)
        finally:
            r.stop()

    # ---- the cases ------------------------------------------------------------------------

    def case_manual(self):
        server = "%s:%d" % PROXY
        self.internet_options({
            "ProxyEnable": ("REG_DWORD", "1"),
            "ProxyServer": ("REG_SZ", server),
            "ProxyOverride": ("REG_SZ", "<local>"),
            "AutoConfigURL": ("REG_SZ", ""),
            "DefaultConnectionSettings": ("REG_BINARY", connection_settings(3, server, "<local>")),
        })
        self.certify_through_proxy("manual", re.escape("proxy %s:%d (manual proxy)" % PROXY))

    def case_pac(self):
        self.internet_options({
            "ProxyEnable": ("REG_DWORD", "0"),
            "AutoConfigURL": ("REG_SZ", PAC_URL),
            "DefaultConnectionSettings": ("REG_BINARY", connection_settings(5, script=PAC_URL)),
        })
        # Windows gives the script's whole list ("1 of 2"); Wine 8 its first proxy only.
        self.certify_through_proxy("pac", re.escape("proxy %s:%d (PAC script %s" % (PROXY + (PAC_URL,))))

    def case_native(self):
        mirrors = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "mirrors.py"),
                                    "--log", os.path.join(self.out, "native-requests.jsonl"), "--lifetime", "120",
                                    "%s=reply:%s" % (ORIGIN, self.good)], stdout=subprocess.PIPE,
                                   start_new_session=True)
        try:
            if mirrors.stdout.readline().decode().strip() != "ready":
                raise CaseFailed("the mirror did not start")
            name = "http://%s:8080/" % self.names[0]
            check = [self.setupkit, "check-mirrors", self.launcher, "--mirror", name, "--mirror", "http://%s/" % ORIGIN]
            env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
            through = subprocess.run(check, env=dict(env, http_proxy="http://%s:%d" % PROXY, no_proxy=ORIGIN.split(":")[0]),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
            lines = through.stdout.decode().splitlines()
            print("  native: " + " | ".join(lines), flush=True)
            if through.returncode != 0 or len(lines) != 2:
                raise CaseFailed("check-mirrors through the proxy: %d %r %r" % (through.returncode, lines,
                                                                                   through.stderr.decode()))
            if not re.search(r" match \d+ ms via proxy %s:%d \(environment http_proxy\)$" % PROXY, lines[0]):
                raise CaseFailed("the name's line: %r" % lines[0])
            if not re.search(r" match \d+ ms via direct \(environment no_proxy\)$", lines[1]):
                raise CaseFailed("the address's line: %r" % lines[1])
            alone = subprocess.run(check[:5], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
            line = alone.stdout.decode().strip()
            if alone.returncode == 0 or " no answer " not in line or " via " in line:
                raise CaseFailed("without the proxy the name answered: %r" % line)
        finally:
            os.killpg(mirrors.pid, 15)
            mirrors.wait()
            mirrors.stdout.close()

    def case_native_https(self):
        root = os.path.dirname(os.path.dirname(self.good))  # the web root publish wrote (.../brenlow/FILE)
        os.chmod(self.out, 0o755)
        nginx, ca = make_tls_mirror(os.path.join(self.out, "tls"), self.names, root)
        try:
            seen = len(self.squid.requests())
            url = "https://%s:%s/" % (self.names[0], TLS_ORIGIN.split(":")[1])
            env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
            env.update(https_proxy="http://%s:%d" % PROXY, SSL_CERT_FILE=ca)
            done = subprocess.run([self.setupkit, "check-mirrors", self.launcher, "--mirror", url], env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
            line = done.stdout.decode().strip()
            print("  native_https: " + line, flush=True)
            if done.returncode != 0 or not re.search(r" match \d+ ms via proxy %s:%d \(environment https_proxy\)$" % PROXY,
                                                     line):
                raise CaseFailed("check-mirrors over https through the proxy: %d %r %r" %
                                 (done.returncode, line, done.stderr.decode()))
            tunnels = [u for res, u in self.squid.requests()[seen:] if res == "TCP_TUNNEL/200"]
            if tunnels != ["%s:%s" % (self.names[0], TLS_ORIGIN.split(":")[1])]:
                raise CaseFailed("the proxy's tunnels: %r" % self.squid.requests()[seen:])
        finally:
            nginx.terminate()
            nginx.wait()


def main():
    suite_box = []

    class Tracked(ProxySuite):
        def __init__(self, args):
            super().__init__(args)
            suite_box.append(self)

    try:
        # A case of ALL_CASES runs when named; without names, those of CASES.
        named = set(sys.argv[1:]) & (set(ALL_CASES) - set(CASES))
        return run_suite(Tracked, "The launcher and setupkit through the system's proxy.",
                         ALL_CASES if named else CASES)
    finally:
        for suite in suite_box:
            if suite.squid:
                suite.squid.stop()


if __name__ == "__main__":
    sys.exit(main())
