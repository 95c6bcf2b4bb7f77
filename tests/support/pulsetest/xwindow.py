"""Real X input and output on one display: find windows by title, click,
press keys and take screenshots, with xdotool, xwd and ImageMagick."""

import contextlib
import ctypes
import hashlib
import itertools
import os
import re
import select
import subprocess
import time

from .image import Image

# /usr/local/bin may hold a stand-in of a different program; use the real one.
CONVERT = "/usr/bin/convert"


class _CursorImage(ctypes.Structure):
    # XFixesCursorImage.
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("serial", ctypes.c_ulong), ("pixels", ctypes.c_void_p), ("atom", ctypes.c_ulong),
                ("name", ctypes.c_char_p)]


class _ClientMessage(ctypes.Structure):
    # XClientMessageEvent with 32-bit data, padded to the size of an XEvent.
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


_CLIENT_MESSAGE = 33
# Qt sends its answer to the root window for these; the window manager takes
# the redirect.
_STRUCTURE_NOTIFY_MASKS = (1 << 17) | (1 << 19)
_pings = itertools.count(1)


class Failure(AssertionError):
    """A check of the program's behaviour failed."""


def wait_until(predicate, timeout, what, interval=0.05):
    """Polls `predicate` until it returns something true; fails after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


@contextlib.contextmanager
def _x_display(name):
    """libX11 and a connection to display `name`, closed afterwards."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(name.encode())
    if not display:
        raise RuntimeError("cannot open display %s" % name)
    try:
        yield x11, display
    finally:
        x11.XCloseDisplay(display)


class Desktop:
    """One X display, driven as a person would with mouse and keyboard."""

    def __init__(self, display, artefacts):
        self.display = display
        self.artefacts = artefacts
        self.env = dict(os.environ, DISPLAY=display)
        self._shots = 0

    def run(self, *command, data=None, check=True):
        result = subprocess.run(command, input=data, env=self.env, capture_output=True, timeout=30)
        if check and result.returncode != 0:
            raise RuntimeError("%s failed (%d): %s" % (command[0], result.returncode, result.stderr.decode(errors="replace")))
        return result

    def xdotool(self, *args, check=True):
        return self.run("xdotool", *[str(a) for a in args], check=check).stdout.decode()

    # Windows

    def search(self, title=None, pid=None):
        """Visible windows whose title matches the regular expression and/or
        that belong to the process."""
        # xdotool matches any of the conditions unless told to match all.
        args = ["search", "--onlyvisible", "--all"]
        if pid is not None:
            args += ["--pid", pid]
        if title is not None or pid is None:
            args += ["--name", title or ""]
        # xdotool exits 1 when nothing matches.
        return [Window(self, int(w)) for w in self.xdotool(*args, check=False).split()]

    def titled(self, title, pid=None):
        return self.search("^%s$" % title, pid)

    # Input

    def pointer(self):
        out = self.xdotool("getmouselocation", "--shell")
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"])

    def click(self, x, y, button=1):
        """Clicks at screen coordinates."""
        # A synchronous move to where the pointer already is would wait for ever.
        if self.pointer() != (x, y):
            self.xdotool("mousemove", "--sync", x, y)
        self.xdotool("click", button)

    def cursor(self):
        """The pointer's cursor as shown now: its name, size, hot spot and a
        digest of its pixels. Qt 6.4 names its cursors; Qt 6.8 (through
        xcb-cursor) leaves them unnamed, so the picture tells them apart."""
        xfixes = ctypes.CDLL("libXfixes.so.3")
        xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
        xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        with _x_display(self.display) as (x11, display):
            x11.XFree.argtypes = [ctypes.c_void_p]
            found = xfixes.XFixesGetCursorImage(display)
            c = found.contents
            pixels = ctypes.string_at(c.pixels, c.width * c.height * ctypes.sizeof(ctypes.c_ulong))
            shown = "%s %dx%d+%d+%d %s" % ((c.name or b"").decode(), c.width, c.height, c.xhot, c.yhot,
                                           hashlib.sha1(pixels).hexdigest()[:8])
            x11.XFree(found)
            return shown

    def ping(self, window_id, timeout):
        """Sends the window's client a _NET_WM_PING and waits for its answer.
        A client answers from its event loop, so once it has, it has handled
        every event that came before the ping: the clicks and keys sent
        earlier, and whatever they set going that ran to completion. A client
        inside a pause that handles no events answers after it."""
        with _x_display(self.display) as (x11, display):
            x11.XDefaultRootWindow.restype = ctypes.c_ulong
            x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
            x11.XInternAtom.restype = ctypes.c_ulong
            x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
            x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
            x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
            x11.XFlush.argtypes = [ctypes.c_void_p]
            x11.XPending.argtypes = [ctypes.c_void_p]
            x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
            x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
            root = x11.XDefaultRootWindow(display)
            protocols = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
            ping = x11.XInternAtom(display, b"_NET_WM_PING", 0)
            # The client answers by sending the message back to the root window.
            x11.XSelectInput(display, root, _STRUCTURE_NOTIFY_MASKS)
            stamp = next(_pings)
            message = _ClientMessage(type=_CLIENT_MESSAGE, window=window_id, message_type=protocols, format=32)
            message.l[:3] = [ping, stamp, window_id]
            x11.XSendEvent(display, window_id, 0, 0, ctypes.byref(message))
            x11.XFlush(display)
            deadline = time.monotonic() + timeout
            answer = _ClientMessage()
            while True:
                while x11.XPending(display):
                    x11.XNextEvent(display, ctypes.byref(answer))
                    if (answer.type == _CLIENT_MESSAGE and answer.message_type == protocols
                            and answer.l[0] == ping and answer.l[1] == stamp):
                        return
                left = deadline - time.monotonic()
                if left <= 0:
                    raise Failure("window 0x%x did not answer a ping within %.1f s" % (window_id, timeout))
                select.select([x11.XConnectionNumber(display)], [], [], left)

    def key(self, *keys):
        self.xdotool("key", "--delay", 40, *keys)

    def plain_key(self, name):
        """Presses the key that carries `name` with no modifier held. xdotool
        picks a level of its own, and newer keymaps put F2 on one that it
        sends with Alt."""
        xtst = ctypes.CDLL("libXtst.so.6")
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        with _x_display(self.display) as (x11, display):
            x11.XStringToKeysym.restype = ctypes.c_ulong
            x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
            x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
            x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
            code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(name.encode()))
            if not code:
                raise RuntimeError("no key carries %s" % name)
            for down in (1, 0):
                xtst.XTestFakeKeyEvent(display, code, down, 0)
            x11.XSync(display, 0)

    def copied_text(self, selection="clipboard"):
        """The text that the program holding the X selection hands out."""
        out = subprocess.run(["xclip", "-o", "-selection", selection], env=self.env, capture_output=True, timeout=5)
        return out.stdout.decode(errors="replace")

    # Output

    def capture(self, window_id=None):
        """The window's pixels (or the whole screen's) as they are shown now."""
        target = ["-id", str(window_id)] if window_id is not None else ["-root"]
        xwd = self.run("xwd", "-silent", *target).stdout
        ppm = self.run(CONVERT, "xwd:-", "ppm:-", data=xwd).stdout
        return Image.from_ppm(ppm)

    def save(self, image, label):
        """Keeps the image among the run's artefacts as NN-label.png."""
        self._shots += 1
        path = os.path.join(self.artefacts, "%02d-%s.png" % (self._shots, label))
        self.run(CONVERT, "ppm:-", path, data=image.to_ppm())
        return path


class Window:
    """A top-level window. Without a window manager its position is its
    client area's origin on the screen."""

    def __init__(self, desktop, wid):
        self.desktop = desktop
        self.id = wid

    def __repr__(self):
        return "Window(0x%x)" % self.id

    def __eq__(self, other):
        return isinstance(other, Window) and other.id == self.id

    def __hash__(self):
        return self.id

    def geometry(self):
        """(x, y, width, height) on the screen."""
        out = self.desktop.xdotool("getwindowgeometry", "--shell", self.id)
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def frame_geometry(self):
        """(x, y, width, height) of the window with the frame a window
        manager put round it."""
        info = self.desktop.run("xwininfo", "-id", str(self.id)).stdout.decode()
        x, y = (int(re.search(r"Absolute upper-left %s:\s+(-?\d+)" % a, info).group(1)) for a in "XY")
        width, height = (int(re.search(r"%s:\s+(\d+)" % a, info).group(1)) for a in ("Width", "Height"))
        extents = self.desktop.run("xprop", "-id", str(self.id), "_NET_FRAME_EXTENTS").stdout.decode()
        found = re.findall(r"\d+", extents.partition("=")[2])
        left, right, top, bottom = (int(v) for v in found) if len(found) == 4 else (0, 0, 0, 0)
        return x - left, y - top, width + left + right, height + top + bottom

    def title(self):
        return self.desktop.xdotool("getwindowname", self.id).rstrip("\n")

    def visible(self):
        return any(w.id == self.id for w in self.desktop.search())

    def wait_gone(self, timeout):
        wait_until(lambda: not self.visible(), timeout, "%r to close" % self)

    def click(self, x, y, button=1):
        """Clicks at client coordinates."""
        left, top, _, _ = self.geometry()
        self.desktop.click(left + x, top + y, button)

    def caught_up(self, timeout=10):
        """Returns once the program has handled everything sent to it so far.
        Two pings: what the events before the first one posted for later has
        run by the time the second is answered. One exception: for a moment
        before a port pick's pauses the program repaints with input held, and
        answers pings meanwhile; after a pick, wait for what it does."""
        for _ in range(2):
            self.desktop.ping(self.id, timeout)

    def focus(self):
        self.desktop.xdotool("windowfocus", "--sync", self.id)

    def capture(self):
        return self.desktop.capture(self.id)

    def settled_capture(self, timeout=5):
        """A capture once drawing has stopped: two in a row are the same and
        not of one colour (as a window is before its first paint)."""
        previous = self.capture()

        def settled():
            nonlocal previous
            image = self.capture()
            same = image.rgb == previous.rgb and not image.uniform()
            previous = image
            return image if same else None

        return wait_until(settled, timeout, "%r to finish drawing" % self, interval=0.1)

    def screenshot(self, label, settled=False):
        """Captures the window and keeps the picture among the artefacts."""
        image = self.settled_capture() if settled else self.capture()
        self.desktop.save(image, label)
        return image
