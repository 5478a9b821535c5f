#!/usr/bin/env python3
"""Mirrors over TLS on loopback: a test CA and its certificates made with openssl, served by an
nginx of their own.

    tls_mirrors.py FOLDER WEBROOT ADDR=KIND ...      (serves until stdin closes or SIGTERM)

KIND is one of
    good        a certificate for ADDR's address issued by the test CA (FOLDER/ca.pem)
    unknown     a certificate for the address from a CA nobody trusts
    wrongname   a certificate of the test CA for another name and address
    expired     a certificate of the test CA whose validity ended in 2021
    tls10       a good certificate, but only TLS 1.0 offered
    redirect    plain HTTP answering every request with a 301 to https:// on the same host and
                path (port HTTPS_PORT of the same address: another ADDR must serve it)
    plain       the web root over plain HTTP
The CA is trusted by no one but whoever is told FOLDER/ca.pem (the host's store is never touched).
"ready" is printed once every address listens.
"""
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pipeline_e2e import Nginx  # noqa: E402

HTTPS_PORT = 8443
DAYS = "30"


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class Certificates:
    """The test CA, a CA nobody trusts, and a leaf per (kind, address), in FOLDER."""

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.ca = self._ca("ca", "setupTQ Test CA")
        self.stranger = self._ca("stranger", "Unknown Test CA")

    def path(self, name):
        return os.path.join(self.folder, name)

    def _ca(self, name, cn):
        key, pem = self.path(name + ".key"), self.path(name + ".pem")
        # Kept from run to run (the prefix that trusts it keeps it), made again near its end.
        fresh = os.path.exists(pem) and subprocess.run(
            ["openssl", "x509", "-checkend", "86400", "-noout", "-in", pem], stdout=subprocess.DEVNULL).returncode == 0
        if not fresh:
            run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem,
                "-days", DAYS, "-subj", "/CN=" + cn, "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        return name

    def leaf(self, name, ip, ca, expired=False, hosts=()):
        """A server certificate for `ip` (and a name) or, given `hosts`, for those host names,
        issued by `ca`: its chain file and key."""
        key, csr, pem = self.path(name + ".key"), self.path(name + ".csr"), self.path(name + ".pem")
        chain = self.path(name + ".chain.pem")
        ext = self.path(name + ".ext")
        # The address is named twice: as an address (what OpenSSL matches an address against)
        # and as a name (Wine's SSL policy compares names only).
        names = ",".join("DNS:" + h for h in hosts) if hosts else "IP:%s,DNS:%s" % (ip, ip)
        open(ext, "w").write("subjectAltName=%s\nextendedKeyUsage=serverAuth\n"
                             "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n" % names)
        run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
            "-subj", "/CN=" + (hosts[0] if hosts else ip))
        if expired:
            # `openssl ca` is the tool that sets past dates: a throw-away database of its own.
            db = self.path(name + ".db")
            open(db, "w").close()
            conf = self.path(name + ".cnf")
            open(conf, "w").write(
                "[ca]\ndefault_ca=c\n[c]\ndatabase=%s\nnew_certs_dir=%s\ncertificate=%s\nprivate_key=%s\n"
                "default_md=sha256\npolicy=p\nrand_serial=yes\nunique_subject=no\n[p]\ncommonName=supplied\n"
                % (db, self.folder, self.path(ca + ".pem"), self.path(ca + ".key")))
            run("openssl", "ca", "-batch", "-notext", "-config", conf, "-in", csr, "-out", pem, "-extfile", ext,
                "-startdate", "20200101000000Z", "-enddate", "20210101000000Z")
        else:
            run("openssl", "x509", "-req", "-in", csr, "-CA", self.path(ca + ".pem"), "-CAkey",
                self.path(ca + ".key"), "-CAcreateserial", "-out", pem, "-days", DAYS, "-sha256", "-extfile", ext)
        with open(chain, "w") as out:
            out.write(open(pem).read() + open(self.path(ca + ".pem")).read())
        return chain, key


def server_block(addr, kind, webroot, certs, hosts=()):
    ip = addr.rsplit(":", 1)[0]
    if kind in ("plain", "redirect"):
        body = ("return 301 https://$host:%d$request_uri;" % HTTPS_PORT if kind == "redirect"
                else "root %s;" % webroot)
        return "server {\n  listen %s;\n  %s\n}\n" % (addr, body)
    name = "%s-%s" % (kind, ip)
    if kind == "unknown":
        chain, key = certs.leaf(name, ip, certs.stranger)
    elif kind == "wrongname":
        chain, key = certs.leaf(name, "192.0.2.99", certs.ca)
    else:
        chain, key = certs.leaf(name, ip, certs.ca, expired=kind == "expired", hosts=hosts)
    if kind == "tls10":
        protocols = "ssl_protocols TLSv1;\n  ssl_ciphers DEFAULT:@SECLEVEL=0;"
    else:
        protocols = "ssl_protocols TLSv1.2 TLSv1.3;"
    return ("server {\n  listen %s ssl;\n  ssl_certificate %s;\n  ssl_certificate_key %s;\n  %s\n"
            "  keepalive_requests 100000;\n  root %s;\n}\n" % (addr, chain, key, protocols, webroot))


class TlsMirrors(Nginx):
    """nginx with a server block per address, its files in FOLDER; ends with this process at the latest.
    Given `hosts`, the trusted certificates are for those host names instead of the addresses.
    The access log gives each request's Host header last, quoted."""

    def __init__(self, folder, webroot, kinds, hosts=()):
        os.makedirs(folder, exist_ok=True)
        self.folder, self.addrs = folder, list(kinds)
        self.certs = Certificates(os.path.join(folder, "certs"))
        self.ca = self.certs.path("ca.pem")
        blocks = "".join(server_block(a, k, webroot, self.certs, hosts) for a, k in kinds.items())
        temps = "".join("  %s_temp_path %s;\n" % (k, os.path.join(folder, k))
                        for k in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        self.access = os.path.join(folder, "access.log")
        self.conf = os.path.join(folder, "nginx.conf")
        open(self.conf, "w").write(
            "worker_processes 1;\npid %s;\nerror_log %s;\nevents { worker_connections 256; }\n"
            "http {\n  log_format hosts '$remote_addr [$time_local] \"$request\" $status $body_bytes_sent \"$http_host\"';\n"
            "  access_log %s hosts;\n  default_type text/html;\n%s%s}\n"
            % (os.path.join(folder, "nginx.pid"), os.path.join(folder, "error.log"), self.access, temps, blocks))
        self.proc = None


def main():
    folder, webroot = sys.argv[1], sys.argv[2]
    kinds = dict(arg.split("=", 1) for arg in sys.argv[3:])
    mirrors = TlsMirrors(folder, webroot, kinds)
    mirrors.start()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        print("ready", flush=True)
        sys.stdin.read()
    finally:
        mirrors.stop()


if __name__ == "__main__":
    main()
