"""End-to-end harness: a private X display, the simulated sensor and the real
program, each started for one test and always cleaned up.

A test script hands its cases to main(); each case gets a Session:

    def case_example(s):
        sim = s.start_simulator(1, "--source", "ramp")
        window = s.start_program().window()
        window.pick_port(1)
        sim.wait_received(INITIAL_COMMANDS, timeout=10)

    if __name__ == "__main__":
        harness.main({"example": case_example})

Screenshots, logs and the program's working directory go to an artefacts
folder under the build tree; it is kept, and its path printed, when a case
fails, and removed when it passes (unless PULSE_E2E_KEEP is set).
"""

import argparse
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

from . import layout
from .line import logged
from .wire import INITIAL_COMMANDS, RECORD_SIZE, START_STREAM
from .xwindow import Desktop, Failure, Window, wait_until

SCREEN = "1024x768x24"
DEFAULT_DISPLAYS = "70-79"

_PR_SET_PDEATHSIG = 1
_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_harness():
    # Children go when the harness goes, even when ctest kills it outright.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


class Process:
    """A child process with its output in a file among the artefacts."""

    def __init__(self, name, argv, env, cwd, output):
        self.name = name
        self.output = output
        with open(output, "wb") as out:
            self.popen = subprocess.Popen(
                argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                preexec_fn=_die_with_harness)
        self.pid = self.popen.pid

    def running(self):
        return self.popen.poll() is None

    def wait(self, timeout):
        """The exit code; fails if the process is still running after `timeout` s."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("%s (pid %d) still running after %.1f s" % (self.name, self.pid, timeout)) from None

    def stop(self, timeout=5):
        """SIGTERM, then SIGKILL if it lingers. Returns the exit code."""
        if self.running():
            self.popen.send_signal(signal.SIGTERM)
            try:
                self.popen.wait(timeout)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait()
        return self.popen.returncode

    def read_output(self):
        with open(self.output, "rb") as f:
            return f.read().decode(errors="replace")

class Simulator(Process):
    """The simulated sensor on one COM port, logging every byte it receives."""

    def __init__(self, session, binary, com, options):
        self.com = com
        # A later simulator on the same port keeps its own files.
        earlier = sum(1 for p in session.processes if isinstance(p, Simulator) and p.com == com)
        stem = os.path.join(session.artefacts, "sim-COM%d" % com + ("-%d" % (earlier + 1) if earlier else ""))
        self.log_path = stem + ".log"
        self.sent_path = stem + ".sent"
        argv = [binary, "--com", str(com), "--log", self.log_path, "--sent", self.sent_path, *options]
        super().__init__("simulator COM%d" % com, argv, session.env(), session.artefacts, stem + ".out")
        self.pty = wait_until(self._ready, 10, "the simulator to link COM%d" % com)

    def _ready(self):
        if not self.running():
            raise Failure("simulator exited (%s): %s" % (self.popen.returncode, self.read_output()))
        plugged = self.plugged_in()
        return plugged[0] if plugged else None

    def plugged_in(self):
        """The device of each plugging in so far (its ready lines), in order."""
        return [words[2] for words in (line.split() for line in self.read_output().splitlines())
                if len(words) == 3 and words[:2] == ["ready", "COM%d" % self.com]]

    def unread_at_unplugs(self):
        """For each unplug so far, how many of the samples sent were unread."""
        return [int(n) for n in re.findall(r"^pulse-sensor-sim: unplugged, (\d+) sample byte", self.read_output(),
                                           re.M)]

    def reads(self):
        """Every read the simulator logged: (seconds, bytes), in order."""
        return logged(self.log_path)

    def received(self):
        """All bytes received so far, however the reads split them."""
        return b"".join(data for _, data in self.reads())

    def wait_received(self, expected, timeout):
        """Waits until exactly `expected` has arrived; fails on anything else."""
        deadline = time.monotonic() + timeout
        while True:
            got = self.received()
            if not expected.startswith(got):
                raise Failure("simulator received %s, expected %s" % (got.hex(" "), expected.hex(" ")))
            if got == expected:
                return
            if time.monotonic() > deadline:
                raise Failure("simulator received only %s within %.1f s, expected %s"
                              % (got.hex(" ") or "nothing", timeout, expected.hex(" ")))
            time.sleep(0.05)

    def sent(self):
        """Every sample byte the simulator has sent so far."""
        if not os.path.exists(self.sent_path):
            return b""
        with open(self.sent_path, "rb") as f:
            return f.read()

    def wait_sent(self, count, timeout):
        wait_until(lambda: len(self.sent()) >= count, timeout, "%d samples sent" % count, interval=0.1)

    def sent_so_far(self):
        """How many samples the simulator has sent so far, without reading
        them (the file is tens of megabytes after an unpaced run)."""
        try:
            return os.path.getsize(self.sent_path)
        except OSError:
            return 0

    def sent_count(self):
        """Once it has ended: how many samples the simulator says it sent,
        which its --sent file must agree with."""
        match = re.search(r"^sent (\d+)$", self.read_output(), re.M)
        if not match or int(match.group(1)) != self.sent_so_far():
            raise Failure("the simulator's count (%s) and its --sent file (%d bytes) disagree"
                          % (match and match.group(1), self.sent_so_far()))
        return int(match.group(1))

    def wait_sent_settled(self, quiet=0.5, timeout=10):
        """Waits until no sample has been sent for `quiet` s; returns them all."""
        deadline = time.monotonic() + timeout
        last, since = self.sent_so_far(), time.monotonic()
        while time.monotonic() - since < quiet:
            if time.monotonic() > deadline:
                raise Failure("the simulator kept sending for %.1f s" % timeout)
            time.sleep(0.05)
            now = self.sent_so_far()
            if now != last:
                last, since = now, time.monotonic()
        return self.sent()


class Program(Process):
    """The real program binary, in an empty working directory."""

    def __init__(self, session, binary):
        self.session = session
        # A second copy keeps its own log.
        earlier = sum(1 for p in session.processes if isinstance(p, Program))
        log = "program%s.log" % ("-%d" % (earlier + 1) if earlier else "")
        super().__init__("pulse-demo", [binary], session.env(display=True), session.workdir,
                         os.path.join(session.artefacts, log))

    def window(self, timeout=15):
        """The main window once it is shown."""

        def shown():
            if not self.running():
                raise Failure("the program exited (%s) before showing its window" % self.popen.returncode)
            return self.session.desktop.titled(layout.TITLE, self.pid)

        return MainWindow(self, wait_until(shown, timeout, "the main window")[0].id)

    def record(self, number):
        """The content of record file `number`, or None if there is none."""
        path = os.path.join(self.session.workdir, str(number))
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def wait_record(self, number, timeout=5):
        """Record `number` once it is whole (an earlier file of that name may
        be there first); what is there after `timeout`, for the caller to judge."""
        deadline = time.monotonic() + timeout
        while True:
            record = self.record(number)
            if (record is not None and len(record) == RECORD_SIZE) or time.monotonic() > deadline:
                return record
            time.sleep(0.05)


class MainWindow(Window):
    """The program's window, driven through its controls' layout positions."""

    def __init__(self, program, wid):
        super().__init__(program.session.desktop, wid)
        self.program = program

    def click_control(self, name):
        self.click(*layout.control_centre(name))

    def pick_port(self, number, timeout=5):
        """Drops the port list down and clicks entry COM<number>, which picks
        it even when it is already shown (typing a name that the edit field
        already holds does not). The program then closes the list, opens the
        port and, without answering the screen, spends about 1.5 s on the
        sensor's initial commands. Returns the list's screen rectangle and
        how many seconds it stayed shown after the click on the entry."""
        return self.pick_from_list(self.drop_port_list(timeout), number, timeout)

    def drop_port_list(self, timeout=5):
        """Clicks the drop-down arrow and waits for the port list."""
        left, top, width, height = layout.control_rect("Combo1")
        self.click(left + width - height // 3, top + height // 2)
        return wait_until(self.port_list, timeout, "the port list to drop down")

    def pick_from_list(self, popup, number, timeout=5):
        """Clicks entry COM<number> of the shown list; as pick_port()."""
        x, y, w, h = popup.geometry()
        # A one-pixel frame round 16 rows of equal height.
        row = (h - 2) / 16
        self.desktop.click(x + w // 2, y + 1 + int(row * (number - 0.5)))
        clicked = time.monotonic()
        popup.wait_gone(timeout)
        return (x, y, w, h), time.monotonic() - clicked

    def port_list(self):
        """The dropped-down port list, or None."""
        for w in self.desktop.search(pid=self.program.pid):
            if w == self or w.title() == layout.WARNING_TITLE:
                continue
            if w.geometry()[3] > 100:
                return w
        return None

    def warning_boxes(self):
        return self.desktop.titled(layout.WARNING_TITLE, self.program.pid)

    def expect_no_warning(self, when):
        if self.warning_boxes():
            raise Failure("a warning box %s" % when)

    def wait_warning(self, timeout):
        return wait_until(self.warning_boxes, timeout, "a warning box titled %r" % layout.WARNING_TITLE)[0]

    def dismiss(self, box, timeout=5):
        """Dismisses a message box with Return, as its OK button is the default."""
        box.focus()
        self.desktop.key("Return")
        box.wait_gone(timeout)

    def surface(self, image=None):
        """The inside of the drawing surface, cut from a window capture."""
        image = image or self.capture()
        return image.crop(*layout.surface_inside())


class Session:
    """Everything one test case starts, and its artefacts folder."""

    def __init__(self, case, program, simulator, artefacts_root, displays):
        self.case = case
        self.program_binary = program
        self.simulator_binary = simulator
        self.displays = displays
        self.artefacts = os.path.join(artefacts_root, case)
        shutil.rmtree(self.artefacts, ignore_errors=True)
        self.workdir = os.path.join(self.artefacts, "work")
        os.makedirs(self.workdir)
        # Short and private: the port links live here, and the serial lock
        # file is named after their full path.
        self.runtime = tempfile.mkdtemp(prefix="pulse-e2e-")
        os.chmod(self.runtime, 0o700)
        self.display = None
        self.desktop = None
        self.xvfb = None
        self.processes = []
        # Added to every child's environment (pulsetest.a11y's buses).
        self.extra_env = {}

    def env(self, display=False):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("QT_") and k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR")}
        env["XDG_RUNTIME_DIR"] = self.runtime
        env.update(self.extra_env)
        if display:
            env["DISPLAY"] = self.display
            env["QT_QPA_PLATFORM"] = "xcb"
        return env

    def _track(self, process):
        self.processes.append(process)
        return process

    def start_display(self, framebuffer=False):
        """Starts Xvfb on the first free display number of the range; with
        `framebuffer`, its screen is kept in a file that
        pulsetest.framebuffer reads (self.framebuffer is its path)."""
        for n in self.displays:
            if os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n):
                continue
            options = ["-fbdir", self.runtime] if framebuffer else []
            xvfb = self._track(Process(
                "Xvfb :%d" % n,
                ["Xvfb", ":%d" % n, "-screen", "0", SCREEN, "-dpi", "96", "-nolisten", "tcp", "-noreset"] + options,
                self.env(), self.artefacts, os.path.join(self.artefacts, "xvfb.log")))
            self.framebuffer = os.path.join(self.runtime, "Xvfb_screen0") if framebuffer else None
            desktop = Desktop(":%d" % n, self.artefacts)
            if self._wait_display(xvfb, n, desktop):
                self.display, self.desktop, self.xvfb = ":%d" % n, desktop, xvfb
                return desktop
            xvfb.stop()  # lost the race for this number to another run
        raise Failure("no free X display among %s" % list(self.displays))

    @staticmethod
    def _wait_display(xvfb, n, desktop, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and xvfb.running():
            try:
                with open("/tmp/.X%d-lock" % n) as f:
                    ours = int(f.read().strip() or 0) == xvfb.pid
            except (OSError, ValueError):
                ours = False
            if ours and os.path.exists("/tmp/.X11-unix/X%d" % n):
                if desktop.run("xdotool", "getdisplaygeometry", check=False).returncode == 0:
                    return True
            time.sleep(0.05)
        return False

    def start_window_manager(self):
        """Openbox on the display, so that windows get a frame and a title bar."""
        if self.desktop is None:
            self.start_display()
        self._track(Process("openbox", ["openbox"], self.env(display=True), self.artefacts,
                            os.path.join(self.artefacts, "openbox.log")))
        wait_until(lambda: b"window id" in self.desktop.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").stdout,
                   10, "the window manager")

    def start_simulator(self, com=1, *options):
        if not os.access(self.simulator_binary, os.X_OK):
            raise Failure("no simulator at %s" % self.simulator_binary)
        return self._track(Simulator(self, self.simulator_binary, com, options))

    def start_program(self):
        if self.desktop is None:
            self.start_display()
        return self._track(Program(self, self.program_binary))

    def open_port(self, *sim_options):
        """The simulator on COM1, the program shown and COM1 picked: the
        sensor has its three initial commands. Returns (sim, program, window)."""
        sim = self.start_simulator(1, *sim_options)
        program = self.start_program()
        window = program.window()
        window.first_look = window.settled_capture()  # the window before any port
        window.pick_port(1)
        sim.wait_received(INITIAL_COMMANDS, timeout=10)
        return sim, program, window

    def start_streaming(self, *sim_options):
        """As open_port(), then Start: samples flow."""
        sim, program, window = self.open_port(*sim_options)
        window.click_control("Command1")
        sim.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
        return sim, program, window

    def note(self, text):
        """Says why the case failed, on the console and among the artefacts."""
        print(text)
        with open(os.path.join(self.artefacts, "failure.txt"), "a") as f:
            f.write(text + "\n")

    def close(self, failed):
        if failed and self.desktop is not None and self.xvfb.running():
            try:
                self.desktop.save(self.desktop.capture(), "screen-at-failure")
            except Exception as e:  # the failure itself matters more
                print("could not capture the screen: %s" % e)
        # The program first, so the simulator sees its port closed; Xvfb last.
        order = {Program: 0, Simulator: 1}
        for p in sorted(self.processes, key=lambda p: order.get(type(p), 2)):
            p.stop()
        shutil.rmtree(self.runtime, ignore_errors=True)
        if failed or os.environ.get("PULSE_E2E_KEEP"):
            print("artefacts of %s kept in %s" % (self.case, self.artefacts))
        else:
            shutil.rmtree(self.artefacts, ignore_errors=True)


def probe_counters(path):
    """The counters a probe build of the program writes when it ends."""
    with open(path) as f:
        return {k: int(v) for k, v in (line.split() for line in f if line.strip())}


def display_range(text):
    first, _, last = text.partition("-")
    return range(int(first), int(last or first) + 1)


def exit_on_signals():
    """Turns SIGTERM and SIGINT into an exit that still cleans up."""

    def terminate(signum, _frame):
        raise SystemExit("stopped by signal %d" % signum)

    signal.signal(signal.SIGTERM, terminate)
    signal.signal(signal.SIGINT, terminate)


def main(cases):
    parser = argparse.ArgumentParser(description="End-to-end tests of the program binary")
    parser.add_argument("case", choices=sorted(cases))
    parser.add_argument("--program", required=True, help="the pulse-demo binary")
    parser.add_argument("--simulator", required=True, help="the pulse-sensor-sim binary")
    parser.add_argument("--artefacts", required=True, help="folder for screenshots and logs of failed runs")
    parser.add_argument("--displays", default=os.environ.get("PULSE_E2E_DISPLAYS", DEFAULT_DISPLAYS),
                        help="X display numbers to choose from, e.g. 70-79")
    args = parser.parse_args()

    exit_on_signals()
    session = Session(args.case, args.program, args.simulator, args.artefacts, display_range(args.displays))
    failed = True
    started = time.monotonic()
    try:
        cases[args.case](session)
        failed = False
    except Failure as e:
        session.note("FAIL %s: %s" % (args.case, e))
    except BaseException:
        session.note(traceback.format_exc())
    finally:
        session.close(failed)
    print("%s %s in %.1f s" % ("FAILED" if failed else "passed", args.case, time.monotonic() - started))
    sys.exit(1 if failed else 0)
