"""The end-to-end measurements: the probe build of the program under Xvfb,
driven with real clicks, against the simulated sensor on a pseudo-terminal.

Each scenario returns a dict of figures, lists for figures taken more than
once (CPU windows, clicks). CPU is read from the scheduler over windows that
leave out start-up; the probe file the program writes when it ends gives
samples taken, the largest arrival-to-paint delay and the time of the first
paint."""

import os
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))

from pulsetest import harness, layout, procstat  # noqa: E402
from pulsetest.wire import INITIAL_COMMANDS, START_STREAM, STOP_STREAM  # noqa: E402
from pulsetest.xwindow import Failure  # noqa: E402

SET_RATE_1000HZ = bytes.fromhex("20 37 04")
SERIAL_QUERY = bytes.fromhex("20 31")
# The window's controls, by object name.
START, STOP, EXIT, RATE_1000HZ, SERIAL_BOX = "Command1", "Command5", "Command4", "Option5", "Text1"

# Streaming runs settle this long before the first CPU window.
SETTLE_SECONDS = 2.0
# Once the sensor has stopped sending, every byte it sent is read within this.
DRAIN_SECONDS = 1.0


class Bench:
    """Where the binaries are and where runs keep their files."""

    def __init__(self, program, simulator, artefacts, displays, windows=3, extra_env=None):
        self.program = program
        self.simulator = simulator
        self.artefacts = artefacts
        self.displays = displays
        self.windows = windows
        self.extra_env = extra_env or {}

    @classmethod
    def arguments(cls, parser):
        """The options every bench script takes: the build, the X displays
        and another probe program."""
        here = os.path.dirname(os.path.abspath(__file__))
        parser.add_argument("--build", default=os.path.join(here, "..", "build-bench"))
        parser.add_argument("--displays", default="80-89", help="X display numbers to choose from")
        parser.add_argument("--program", help="another build of the probe program, to compare (default: the build's)")

    @classmethod
    def from_arguments(cls, args, **options):
        """The build's probe program and simulator, as the options say."""
        build = os.path.abspath(args.build)
        return cls(program=os.path.abspath(args.program or os.path.join(build, "bench", "pulse-demo-probe")),
                   simulator=os.path.join(build, "tools", "pulse-sensor-sim", "pulse-sensor-sim"),
                   artefacts=os.path.join(build, "bench-artefacts"),
                   displays=harness.display_range(args.displays), **options)

    def session(self, case):
        return BenchSession(case, self)


class BenchSession(harness.Session):
    """A harness session whose program writes the probe file, with any extra
    environment a memory experiment asks for."""

    def __init__(self, case, bench):
        super().__init__(case, bench.program, bench.simulator, bench.artefacts, bench.displays)
        self.extra_env = bench.extra_env
        self.probe_path = os.path.join(self.artefacts, "probe.txt")

    def env(self, display=False):
        env = super().env(display)
        if display:
            env["PULSE_PROBE_FILE"] = self.probe_path
            env.update(self.extra_env)
        return env

    def probe(self):
        """The counters the program wrote when it ended."""
        return harness.probe_counters(self.probe_path)

    def __enter__(self):
        return self

    def __exit__(self, kind, value, tb):
        failed = kind is not None
        if failed:
            self.note("FAIL %s: %s" % (self.case, value))
        self.close(failed)
        return False


def windows_of(pid, count, seconds, sim=None):
    """`count` consecutive CPU windows of `seconds` each; with `sim`, also
    the samples it sent per second in each."""
    meter = procstat.Meter(pid)
    sent = sim.sent_so_far() if sim else 0
    out = []
    for _ in range(count):
        time.sleep(seconds)
        reading = meter.reading()
        if sim:
            now = sim.sent_so_far()
            reading["samples_per_s"] = (now - sent) / reading["seconds"]
            sent = now
        out.append(reading)
    return out


def click_exit(program, window):
    """Exit clicked; the program must end, and cleanly."""
    window.click_control(EXIT)
    if program.wait(15) != 0:
        raise Failure("the program exited with %s" % program.popen.returncode)


def end_program(program, window, sim, click_stop=True):
    """Stops the stream with the window's Stop (the program goes on taking
    what is on the line, and the line stays up, so no warning box), lets the
    program read the rest, clicks Exit, ends the simulator and returns
    (samples sent, probe counters)."""
    os.kill(sim.pid, signal.SIGCONT)
    if click_stop:
        window.click_control(STOP)
    sim.wait_sent_settled()
    time.sleep(DRAIN_SECONDS)
    click_exit(program, window)
    sim.stop()
    return sim.sent_count(), program.session.probe()


def watching(bench, seconds=30.0, unplug_after=6):
    """The sensor pulled out with the port open: after its one warning (left
    open, as an operator away from the desk would) the program looks for the
    port once a second, and it does not come back."""
    with bench.session("bench-watching") as s:
        sim, program, window = s.open_port("--unplug-after", str(unplug_after))
        box = window.wait_warning(unplug_after + 10)
        time.sleep(SETTLE_SECONDS)
        windows = windows_of(program.pid, bench.windows, seconds / bench.windows)
        window.dismiss(box)
        click_exit(program, window)
    return {"watch_cpu": [w["cpu_percent"] for w in windows],
            "watch_runs_per_s": [w["runs_per_s"] for w in windows]}


def idle(bench, seconds=30.0):
    """Port open and nothing coming; then a serial-number query that never
    gets its reply (the sensor is stopped, so the query waits in the line)."""
    with bench.session("bench-idle") as s:
        sim, program, window = s.open_port()
        time.sleep(SETTLE_SECONDS)
        quiet = windows_of(program.pid, bench.windows, seconds / bench.windows)

        os.kill(sim.pid, signal.SIGSTOP)
        window.click_control(SERIAL_BOX)
        time.sleep(DRAIN_SECONDS)
        waiting = windows_of(program.pid, bench.windows, seconds / bench.windows)
        os.kill(sim.pid, signal.SIGCONT)
        sim.wait_received(INITIAL_COMMANDS + SERIAL_QUERY, timeout=5)
        memory = procstat.status(program.pid)
        end_program(program, window, sim, click_stop=False)
    return {
        "idle_cpu": [w["cpu_percent"] for w in quiet],
        "idle_runs_per_s": [w["runs_per_s"] for w in quiet],
        "query_wait_cpu": [w["cpu_percent"] for w in waiting],
        "query_wait_runs_per_s": [w["runs_per_s"] for w in waiting],
        "vmhwm": memory["VmHWM"],
    }


def paced(bench, write_size, seconds=60.0):
    """960 samples a second in writes of `write_size` bytes. The sensor is
    held (SIGSTOP) while Start and the 1000 Hz rate are clicked, so the rate
    change's pauses and its discarding of input meet no samples: every byte
    it then sends reaches a program that is already acquiring."""
    with bench.session("bench-paced-%d" % write_size) as s:
        sim, program, window = s.open_port("--write-size", str(write_size))
        os.kill(sim.pid, signal.SIGSTOP)
        window.click_control(START)
        window.click_control(RATE_1000HZ)
        time.sleep(DRAIN_SECONDS)  # the rate change's two pauses
        os.kill(sim.pid, signal.SIGCONT)
        sim.wait_received(INITIAL_COMMANDS + START_STREAM + STOP_STREAM + SET_RATE_1000HZ + START_STREAM, timeout=5)
        streaming_since = time.monotonic()
        time.sleep(SETTLE_SECONDS)

        xvfb = procstat.Meter(s.xvfb.pid)
        cpu = windows_of(program.pid, bench.windows, seconds / bench.windows, sim)
        x_cpu = xvfb.reading()["cpu_percent"]
        memory = procstat.status(program.pid)
        by_kind = procstat.resident_by_kind(program.pid)
        streamed = time.monotonic() - streaming_since
        sent, probe = end_program(program, window, sim)
    return {
        "cpu": [w["cpu_percent"] for w in cpu],
        "runs_per_s": [w["runs_per_s"] for w in cpu],
        "samples_per_s": [w["samples_per_s"] for w in cpu],
        "xvfb_cpu": [x_cpu],
        "streamed_s": streamed,
        "sent": sent,
        "taken": probe["samples"],
        "max_delay_ms": probe["max_delay_us"] / 1000.0,
        "trace_paints": probe["trace_paints"],
        "vmhwm": memory["VmHWM"],
        "vmrss": memory["VmRSS"],
        "rss_anon": memory.get("RssAnon", 0),
        "rss_file": memory.get("RssFile", 0),
        "rss_by_kind": by_kind,
    }


def click_latency(window, sim, control, command, timeout=2.0):
    """Seconds from the click (the xdotool call included) to the command's
    bytes reaching the simulator: an upper bound on the window's answer."""
    x, y = window.geometry()[:2]
    cx, cy = layout.control_centre(control)
    window.desktop.xdotool("mousemove", "--sync", x + cx, y + cy)
    before = sim.received().count(command)
    t0 = time.monotonic()
    # Without --delay, xdotool sleeps 100 ms after the click before it ends.
    window.desktop.xdotool("click", "--delay", 0, 1)
    while sim.received().count(command) == before:
        if time.monotonic() - t0 > timeout:
            raise Failure("no %s reached the sensor within %.1f s of the click" % (command.hex(" "), timeout))
        time.sleep(0.001)
    return time.monotonic() - t0


def unpaced(bench, seconds=30.0, clicks=8, flood_between=1.5):
    """As fast as the pseudo-terminal carries bytes, then Stop clicked in the
    middle of the flood a few times (Start again after each) to time the
    window's answer. Stop keeps taking what is in flight, so nothing is lost."""
    with bench.session("bench-unpaced") as s:
        sim, program, window = s.open_port("--unpaced")
        window.click_control(START)
        sim.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
        streaming_since = time.monotonic()
        time.sleep(SETTLE_SECONDS)

        cpu = windows_of(program.pid, bench.windows, (seconds - SETTLE_SECONDS) / bench.windows, sim)
        streamed = time.monotonic() - streaming_since
        memory = procstat.status(program.pid)

        latencies = []
        for i in range(clicks):
            if i:
                window.click_control(START)
                time.sleep(flood_between)
            latencies.append(click_latency(window, sim, STOP, STOP_STREAM))
        sent, probe = end_program(program, window, sim, click_stop=False)
    return {
        "cpu": [w["cpu_percent"] for w in cpu],
        "runs_per_s": [w["runs_per_s"] for w in cpu],
        "samples_per_s": [w["samples_per_s"] for w in cpu],
        "streamed_s": streamed,
        "sent": sent,
        "taken": probe["samples"],
        "max_delay_ms": probe["max_delay_us"] / 1000.0,
        "click_ms": [1000.0 * v for v in latencies],
        "vmhwm": memory["VmHWM"],
        "vmrss": memory["VmRSS"],
    }


def startup(bench, launches=5):
    """Launch to the window's first paint, on a display that is already up."""
    times = []
    with bench.session("bench-startup") as s:
        s.start_display()
        for _ in range(launches):
            if os.path.exists(s.probe_path):
                os.remove(s.probe_path)
            launched = time.time_ns()  # CLOCK_REALTIME, as the probe's first paint
            program = s.start_program()
            window = program.window()
            window.settled_capture()
            click_exit(program, window)
            times.append((s.probe()["first_paint_realtime_ns"] - launched) / 1e6)
    return {"first_paint_ms": times}
