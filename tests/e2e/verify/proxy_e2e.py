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
    manual_https
             the manual proxy again, with the launcher whose M1..M5 are https://mirrorN.parvalo.test:8443/
             (SETUPTQ_PROXY_TLS_LAUNCHER): through the proxy's CONNECT tunnel to nginx serving
             TLS on 127.0.0.52:8443 with a certificate for the names from a CA this run makes
             (tls_mirrors.py), trusted in the prefix's current-user Root store (SETUPTQ_TRUSTCA);
             the log gives the route and the TLS version, subject and issuer, the proxy's log the
             tunnel
    native_https
             setupkit check-mirrors over https through the proxy's tunnel to the same nginx, the
             CA trusted through SSL_CERT_FILE

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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tls"))
from tls_e2e import trust_ca  # noqa: E402
from tls_mirrors import HTTPS_PORT, TlsMirrors  # noqa: E402

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
TLS_ORIGIN = "127.0.0.52:%d" % HTTPS_PORT  # nginx, TLS with the run's own CA
CASES = ("manual", "pac", "native", "manual_https", "native_https")


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


class ProxySuite(Suite):
    def __init__(self, args):
        super().__init__(args)
        self.names = [a.split(":")[0] for a in self.front]
        if any(re.fullmatch(r"[\d.]+", n) for n in self.names):
            raise SystemExit("M1..M5 must be host names")
        self.squid = None
        self.tls = None

    def prepare(self):
        super().prepare()
        self.pac = os.path.join(self.out, "proxy.pac")
        with open(self.pac, "w") as f:
            f.write(PAC)
        self.squid = Squid(os.path.join(self.out, "squid"), self.names)

    def finish(self):
        pass

    def tls_mirror(self):
        """nginx serving the reply of the launcher with https:// names over TLS on TLS_ORIGIN, its
        certificate for the names from the run's own CA, which the prefix's current user trusts
        from now on. Started once; returns (that launcher, its reply, the CA's file)."""
        if not self.tls:
            launcher, trustca = os.environ.get("SETUPTQ_PROXY_TLS_LAUNCHER"), os.environ.get("SETUPTQ_TRUSTCA")
            if not launcher or not trustca:
                raise CaseFailed("no https launcher or trustca.exe given (SETUPTQ_PROXY_TLS_LAUNCHER, SETUPTQ_TRUSTCA)")
            reply = self.publish(launcher, "tls-release")
            servers = TlsMirrors(os.path.join(self.out, "tls"), os.path.dirname(os.path.dirname(reply)),
                                 {TLS_ORIGIN: "good"}, hosts=self.names)
            servers.start()
            self.tls = (servers, launcher, reply)
            trust_ca(trustca, servers.ca, self.desk.env)
        servers, launcher, reply = self.tls
        return launcher, reply, servers.ca

    def tunnels(self, seen):
        """The tunnels the proxy opened since its log had `seen` lines; it logs a tunnel when it closes."""
        deadline = time.monotonic() + 10
        while True:
            done = [(res, u) for res, u in self.squid.requests()[seen:] if u.endswith(":%d" % HTTPS_PORT)]
            if done or time.monotonic() > deadline:
                return done
            time.sleep(0.2)

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
            lines = r.run_log(r"ms  mirror \d+ of \d+: http://mirror\d\.parvalo\.test:8080/", r"route: " + route,
                              r"answered: status 200", r"verdict: match")
            # Every mirror asked went through the proxy: the down ones too, answered by the proxy.
            asked = [k for k, line in enumerate(lines) if re.search(r"ms  mirror \d+ of \d+: ", line)]
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

    def certify_https_through_proxy(self, name, route):
        """One run of the launcher with https:// names: it certifies through the proxy's tunnel,
        its log gives `route`, the TLS version and the certificate; the proxy's log the tunnel."""
        launcher, _, _ = self.tls_mirror()
        servers = self.tls[0]
        seen, served = len(self.squid.requests()), servers.replies_served()
        r = Run(self, name, None, launcher=launcher)
        try:
            w = r.window(VERIFY_CAPTION)
            r.click(w, INSTALL_BUTTON)
            cert = r.window(CERT_CAPTION, CERTIFY_WAIT)
            r.shot("certification", cert)
            name_re = r"mirror\d\.parvalo\.test"
            lines = r.run_log(r"ms  mirror \d+ of \d+: https://%s:%d/" % (name_re, HTTPS_PORT), r"route: " + route,
                              r'TLS 1\.[23] with %s: certificate of CN=%s, issued by CN="?setupTQ Test CA' %
                              (name_re, re.escape(self.names[0])),
                              r"answered: status 200", r"verdict: match")
            asked = [k for k, line in enumerate(lines) if re.search(r"ms  mirror \d+ of \d+: ", line)]
            r.check(len(asked) == 1, "%d mirrors asked" % len(asked))
            print("  %s:\n    %s" % (name, "\n    ".join(line.strip() for line in lines[asked[0]:])), flush=True)
        finally:
            r.stop()
        r.check(servers.replies_served() == served + 1, "the mirror served %d replies" % (servers.replies_served() - served))
        host = open(servers.access).read().splitlines()[-1]
        r.check(re.search(r'"mirror\d\.parvalo\.test:%d"$' % HTTPS_PORT, host), "the Host line: %r" % host)
        tunnels = self.tunnels(seen)
        r.check([res for res, u in tunnels] == ["TCP_TUNNEL/200"] and re.fullmatch(r"mirror\d\.parvalo\.test:%d" % HTTPS_PORT,
                                                                                 tunnels[0][1]),
                "the proxy's tunnels: %r" % tunnels)

    # ---- the cases ------------------------------------------------------------------------

    def manual_proxy(self):
        """Internet Options name PROXY (with "<local>" bypassed); returns the route the log gives."""
        server = "%s:%d" % PROXY
        self.internet_options({
            "ProxyEnable": ("REG_DWORD", "1"),
            "ProxyServer": ("REG_SZ", server),
            "ProxyOverride": ("REG_SZ", "<local>"),
            "AutoConfigURL": ("REG_SZ", ""),
            "DefaultConnectionSettings": ("REG_BINARY", connection_settings(3, server, "<local>")),
        })
        return re.escape("proxy %s (manual proxy)" % server)

    def case_manual(self):
        self.certify_through_proxy("manual", self.manual_proxy())

    def case_manual_https(self):
        self.certify_https_through_proxy("manual_https", self.manual_proxy())

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
        launcher, _, ca = self.tls_mirror()
        seen = len(self.squid.requests())
        url = "https://%s:%d/" % (self.names[0], HTTPS_PORT)
        env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
        env.update(https_proxy="http://%s:%d" % PROXY, SSL_CERT_FILE=ca)
        done = subprocess.run([self.setupkit, "check-mirrors", launcher, "--mirror", url], env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        line = done.stdout.decode().strip()
        print("  native_https: " + line, flush=True)
        if done.returncode != 0 or not re.search(r" match \d+ ms via proxy %s:%d \(environment https_proxy\)$" % PROXY,
                                                 line):
            raise CaseFailed("check-mirrors over https through the proxy: %d %r %r" %
                             (done.returncode, line, done.stderr.decode()))
        tunnels = self.tunnels(seen)
        if tunnels != [("TCP_TUNNEL/200", "%s:%d" % (self.names[0], HTTPS_PORT))]:
            raise CaseFailed("the proxy's tunnels: %r" % tunnels)


def main():
    suite_box = []

    class Tracked(ProxySuite):
        def __init__(self, args):
            super().__init__(args)
            suite_box.append(self)

    try:
        return run_suite(Tracked, "The launcher and setupkit through the system's proxy.", CASES)
    finally:
        for suite in suite_box:
            if suite.squid:
                suite.squid.stop()
            if suite.tls:
                suite.tls[0].stop()


if __name__ == "__main__":
    sys.exit(main())
