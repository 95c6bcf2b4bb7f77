"""What the window says, read as a screen reader reads it: a private session
bus and accessibility bus (AT-SPI) for one case, the program's accessibility
switched on, and the names of its labels, which are their texts.

    a11y = Accessibility(s)        # before the program starts
    window = s.start_program().window()
    a11y.wait_label(lambda text: text.startswith("..."), 10, "a caption")
"""

import os

from .harness import Process
from .xwindow import Failure, wait_until

LAUNCHERS = ["/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher"]
ROOT = ("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")


class Accessibility:

    def __init__(self, session):
        try:
            from gi.repository import Gio, GLib
        except ImportError:
            raise Failure("reading the window's texts needs PyGObject (python3-gi)") from None
        launcher = next((p for p in LAUNCHERS if os.access(p, os.X_OK)), None)
        if launcher is None:
            raise Failure("reading the window's texts needs at-spi2-core's bus launcher")
        self.GLib = GLib
        log = os.path.join(session.artefacts, "session-bus.out")
        session._track(Process("dbus-daemon", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                               "--print-address=1"], session.env(), session.artefacts, log))
        address = wait_until(lambda: open(log).readline().strip(), 10, "the session bus")
        session.extra_env.update(DBUS_SESSION_BUS_ADDRESS=address, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        session._track(Process("at-spi-bus-launcher", [launcher, "--launch-immediately"], session.env(),
                               session.artefacts, os.path.join(session.artefacts, "a11y-bus.out")))
        flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
        self.bus = Gio.DBusConnection.new_for_address_sync(address, flags, None, None)
        a11y = wait_until(lambda: self._call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress", "(s)"),
                          10, "the accessibility bus")
        self.bus = Gio.DBusConnection.new_for_address_sync(a11y, flags, None, None)

    def _call(self, name, path, method, reply, args=None):
        """The first value of the reply; None when the call failed."""
        interface, _, method = method.rpartition(".")
        try:
            return self.bus.call_sync(name, path, interface, method, args, self.GLib.VariantType(reply),
                                      0, 5000, None).unpack()[0]
        except self.GLib.Error:
            return None

    def labels(self):
        """The texts of every label of the program, in tree order; [] while
        the tree changes under the walk."""
        found = []

        def walk(name, path):
            if self._call(name, path, "org.a11y.atspi.Accessible.GetRoleName", "(s)") == "label":
                found.append(self._call(name, path, "org.freedesktop.DBus.Properties.Get", "(v)",
                                        self.GLib.Variant("(ss)", ("org.a11y.atspi.Accessible", "Name"))))
            children = self._call(name, path, "org.a11y.atspi.Accessible.GetChildren", "(a(so))")
            return children is not None and all(walk(*child) for child in children)

        return found if walk(*ROOT) else []

    def wait_label(self, matches, timeout, what):
        """The first label text for which matches(text) holds, once there is one."""
        return wait_until(lambda: next((t for t in self.labels() if t and matches(t)), None), timeout, what,
                          interval=0.2)
