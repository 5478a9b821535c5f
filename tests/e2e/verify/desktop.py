"""The X display as the end-to-end tests see it: a private Xvfb, windows found by caption or
by owner, clicks and closes as a user makes them, and screenshots with their pixels."""
import ctypes
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pixels import Image  # noqa: E402

# Wine names its windows' X class after the program file.
LAUNCHER_CLASS = "setuptq.exe"


class Xvfb:
    """A private display :N (91..120, the first free one), ended by stop()."""

    def __init__(self):
        self.proc = None
        self.display = None

    def start(self):
        for n in range(91, 121):
            if os.path.exists("/tmp/.X%d-lock" % n):
                continue
            proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(50):
                if os.path.exists("/tmp/.X11-unix/X%d" % n) or proc.poll() is not None:
                    break
                time.sleep(0.1)
            if proc.poll() is None:
                self.proc, self.display = proc, ":%d" % n
                return self.display
        raise RuntimeError("no free display for Xvfb")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None


class Geometry:
    def __init__(self, x, y, w, h):
        self.x, self.y, self.w, self.h = x, y, w, h

    def __repr__(self):
        return "%dx%d at (%d, %d)" % (self.w, self.h, self.x, self.y)


class Desktop:
    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)
        self._x11 = None

    def _xdotool(self, *args):
        r = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=30)
        return r.stdout.decode("utf-8", "replace")

    def find(self, caption_regex):
        """Visible windows whose caption matches."""
        return [int(w) for w in self._xdotool("search", "--onlyvisible", "--name", caption_regex).split()]

    def launcher_windows(self):
        """Every visible window of the launcher's process class (its forms and balloons)."""
        return [int(w) for w in self._xdotool("search", "--onlyvisible", "--class", LAUNCHER_CLASS).split()]

    def name(self, win):
        return self._xdotool("getwindowname", win).strip()

    def geometry(self, win):
        values = {}
        for line in self._xdotool("getwindowgeometry", "--shell", win).split():
            k, _, v = line.partition("=")
            values[k] = int(v) if v.lstrip("-").isdigit() else v
        if "WIDTH" not in values:
            return None
        return Geometry(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"])

    def click(self, x, y):
        self._xdotool("mousemove", x, y, "click", 1)

    def wait(self, what, timeout, alive=None, step=0.2):
        """Polls `what` until it gives something true (returned), the time passes, or
        `alive` says the program is gone (None)."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            got = what()
            if got:
                return got
            if alive is not None and not alive():
                return what() or None
            time.sleep(step)
        return None

    def close(self, win):
        """Asks the window to close as the title bar's close button does (WM_DELETE_WINDOW)."""
        x = self._lib()
        dpy = x.XOpenDisplay(self.env["DISPLAY"].encode())
        if not dpy:
            raise RuntimeError("cannot open the display")
        try:
            protocols = x.XInternAtom(dpy, b"WM_PROTOCOLS", False)
            delete = x.XInternAtom(dpy, b"WM_DELETE_WINDOW", False)
            ev = _XClientMessageEvent()
            ev.type = 33  # ClientMessage
            ev.send_event = True
            ev.window = win
            ev.message_type = protocols
            ev.format = 32
            ev.data[0] = delete
            ev.data[1] = 0  # CurrentTime
            event = _XEvent()
            ctypes.memmove(ctypes.byref(event), ctypes.byref(ev), ctypes.sizeof(ev))
            x.XSendEvent(dpy, ctypes.c_ulong(win), False, 0, ctypes.byref(event))
            x.XFlush(dpy)
        finally:
            x.XCloseDisplay(dpy)

    def _lib(self):
        if self._x11 is None:
            x = ctypes.CDLL("libX11.so.6")
            x.XOpenDisplay.restype = ctypes.c_void_p
            x.XOpenDisplay.argtypes = [ctypes.c_char_p]
            x.XInternAtom.restype = ctypes.c_ulong
            x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
            x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
            x.XFlush.argtypes = [ctypes.c_void_p]
            x.XCloseDisplay.argtypes = [ctypes.c_void_p]
            self._x11 = x
        return self._x11

    def shot(self, path, geometry=None):
        """Saves the screen, or the rectangle given, as PNG."""
        args = ["import", "-window", "root"]
        if geometry:
            args += ["-crop", "%dx%d+%d+%d" % (geometry.w, geometry.h, geometry.x, geometry.y), "+repage"]
        subprocess.run(args + [path], env=self.env, check=True, timeout=60)
        return Image(path)


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Structure):
    _fields_ = [("pad", ctypes.c_long * 24)]
