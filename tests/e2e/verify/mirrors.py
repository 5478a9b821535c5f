#!/usr/bin/env python3
"""Scripted verification mirrors on loopback, each recording what it receives.

    mirrors.py --log FILE --lifetime SECONDS ADDR=BEHAVIOUR ...

ADDR is host:port. A behaviour is one of
    reply:FILE       200 with the bytes of FILE as the body (Content-Length)
    late:S:FILE      the same reply, S seconds after the request came
    raw:FILE         the bytes of FILE as the whole response, then close
    upper:FILE       200 with FILE's bytes upper-cased and framed by blank lines
    empty            200 with an empty body
    notfound         404 with a short body
    silent           accepts, reads the request, then sends nothing
    trickle          200 announcing 1000 bytes, then one byte a second
    endless-body     200 without a length, then bytes as fast as they are taken
    endless-headers  a status line, then header lines without end
    chunks:N         200 chunked, then N-byte chunks without end, as fast as they are taken
    portal           200 with a sign-in page, whatever was asked (a hotel's or airport's portal)
    stalled          listens, but its backlog is full: a connect to it is never answered
An address not named is not listened on (a mirror that is down). ADDR may be an IPv6 one in
brackets ([::1]:8080).

Every request head is appended to the log as one JSON line: {"seq", "addr", "head"} (head
in latin-1). "ready" is printed on stdout once every socket listens. The servers end by
themselves after --lifetime seconds, or at SIGTERM.
"""
import argparse
import json
import os
import select
import signal
import socket
import sys
import threading
import time

LOCK = threading.Lock()
SEQ = [0]
STOP = threading.Event()
MAX_STREAM_SECONDS = 90  # no single connection is served longer than this


def record(log, addr, head):
    with LOCK:
        SEQ[0] += 1
        with open(log, "a", encoding="utf-8") as f:
            f.write(json.dumps({"seq": SEQ[0], "addr": addr, "head": head.decode("latin-1")}) + "\n")
            f.flush()


def read_head(conn):
    data = b""
    conn.settimeout(20)
    while b"\r\n\r\n" not in data and len(data) < 65536:
        chunk = conn.recv(4096)
        if not chunk:
            break
        data += chunk
    return data


def ok(body, extra=b""):
    return b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nContent-Type: text/html\r\n%s\r\n" % (len(body), extra) + body


def stream(conn, piece, interval):
    """Sends `piece` again and again until the client goes, the limit passes, or we stop."""
    end = time.monotonic() + MAX_STREAM_SECONDS
    while not STOP.is_set() and time.monotonic() < end:
        try:
            conn.sendall(piece)
        except OSError:
            return
        if interval:
            STOP.wait(interval)


def serve(conn, addr, behaviour, log):
    try:
        head = read_head(conn)
        record(log, addr, head)
        kind, _, arg = behaviour.partition(":")
        if kind == "reply":
            conn.sendall(ok(open(arg, "rb").read()))
        elif kind == "late":
            seconds, _, path = arg.partition(":")
            if not STOP.wait(float(seconds)):
                conn.sendall(ok(open(path, "rb").read()))
        elif kind == "raw":
            conn.sendall(open(arg, "rb").read())
        elif kind == "upper":
            conn.sendall(ok(b"\r\n\r\n" + open(arg, "rb").read().upper() + b"\r\n\r\n"))
        elif kind == "empty":
            conn.sendall(ok(b""))
        elif kind == "notfound":
            body = b"<html>not here</html>"
            conn.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
        elif kind == "silent":
            STOP.wait(MAX_STREAM_SECONDS)
        elif kind == "trickle":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n")
            stream(conn, b"x", 1.0)
        elif kind == "endless-body":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n")
            stream(conn, b"0123456789abcdef" * 4096, 0)
        elif kind == "chunks":
            size = int(arg)
            conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
            stream(conn, (b"%x\r\n" % size + b"x" * size + b"\r\n") * max(1, 4096 // (size + 5)), 0)
        elif kind == "portal":
            conn.sendall(ok(b"<!DOCTYPE html>\r\n<html><head><title>Sign in</title></head>"
                            b"<body><form action=\"/login\">Room number <input name=\"room\"></form></body></html>\r\n"))
        elif kind == "endless-headers":
            conn.sendall(b"HTTP/1.1 200 OK\r\n")
            stream(conn, b"X-More: yes\r\n" * 64, 0)
        else:
            print("mirrors: unknown behaviour " + behaviour, file=sys.stderr)
    except OSError:
        pass
    finally:
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        conn.close()


def fill_backlog(addr):
    """Connects to a listener that never accepts until a connect goes unanswered (the backlog
    is full: the system drops further connection requests); the connections are kept."""
    host, _, port = addr.rpartition(":")
    fillers = []
    for _ in range(16):
        c = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        c.setblocking(False)
        c.connect_ex((host, int(port)))
        fillers.append(c)
        if not select.select([], [c], [], 0.5)[1]:
            return fillers
    raise OSError("the backlog of %s never filled" % addr)


def listen(sock, addr, behaviour, log):
    if behaviour == "stalled":
        STOP.wait()
        sock.close()
        return
    sock.settimeout(0.2)
    while not STOP.is_set():
        try:
            conn, _ = sock.accept()
        except socket.timeout:
            continue
        except OSError:
            return
        conn.settimeout(None)
        threading.Thread(target=serve, args=(conn, addr, behaviour, log), daemon=True).start()
    sock.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--log", required=True)
    p.add_argument("--lifetime", type=float, default=300)
    p.add_argument("mirrors", nargs="*")
    a = p.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: STOP.set())
    socks = []
    for item in a.mirrors:
        addr, _, behaviour = item.partition("=")
        host, _, port = addr.rpartition(":")
        family = socket.AF_INET6 if host.startswith("[") else socket.AF_INET
        host = host.strip("[]")
        s = socket.socket(family, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind((host, int(port)))
        except OSError as e:
            print("mirrors: cannot listen on %s: %s" % (addr, e), file=sys.stderr)
            return 3
        s.listen(0 if behaviour == "stalled" else 16)
        socks.append((s, addr, behaviour))
    fillers = [fill_backlog(addr) for _, addr, b in socks if b == "stalled"]
    threads = [threading.Thread(target=listen, args=(s, addr, b, a.log), daemon=True) for s, addr, b in socks]
    for t in threads:
        t.start()
    print("ready", flush=True)
    STOP.wait(a.lifetime)
    STOP.set()
    for t in threads:
        t.join(2)
    return 0


if __name__ == "__main__":
    sys.exit(main())
