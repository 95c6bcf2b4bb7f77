"""What every fault case checks, on top of the end-to-end harness: the
program still answers, nothing crashed, and every record file is whole."""

import os
import re
import subprocess
import sys
import time

from pulsetest import harness, layout, recording  # noqa: F401
from pulsetest.procstat import cpu_seconds, cpu_share, memory_kb  # noqa: F401
from pulsetest.wire import INITIAL_COMMANDS, RECORD_SIZE, START_STREAM, STOP_STREAM  # noqa: F401
from pulsetest.xwindow import Failure, wait_until  # noqa: F401

# Set by CMake for a sanitizer build: memory figures there measure the
# sanitizer's shadow and quarantine, not the program, so they are reported
# but not judged.
SANITIZED = os.environ.get("PULSE_FAULTS_SANITIZED") == "1"

# A sanitizer's report in the program's output means a fault even when the
# process carried on.
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")

# An idle program wakes only for the operator: well under 1 % of a core. A
# loop spinning on a dead line takes all of it.
IDLE_SHARE = 0.01


def seconds_setting(name, default):
    """A duration from the environment (CMake sets it for ctest runs)."""
    value = os.environ.get(name)
    return float(value) if value else float(default)


# Records

def ramp_breaks(record):
    """Places where the ramp source's samples do not follow on: each is a
    discard, a new Start, a wrap or the boundary of the newest sweep. The
    never-written tail of zeros is left out, and so is the last entry, which
    the sweep never reaches."""
    body = record[:RECORD_SIZE - 1].rstrip(b"\0")
    return sum(1 for a, b in zip(body, body[1:]) if b != (a + 1) % 256)


def check_record(record, name, max_breaks=None, expected=None):
    if record is None:
        raise Failure("no record file %r" % name)
    if len(record) != RECORD_SIZE:
        raise Failure("record %r holds %d bytes, expected %d" % (name, len(record), RECORD_SIZE))
    if expected is not None and record != expected:
        first = next(i for i, (a, b) in enumerate(zip(record, expected)) if a != b)
        raise Failure("record %r differs from what it should hold at offset %d (%02x, expected %02x)"
                      % (name, first, record[first], expected[first]))
    if record[RECORD_SIZE - 1] != 0:
        raise Failure("record %r: its last byte is %d; the sweep never writes that entry"
                      % (name, record[RECORD_SIZE - 1]))
    if max_breaks is not None:
        breaks = ramp_breaks(record)
        if breaks > max_breaks:
            raise Failure("record %r breaks the stream %d times, at most %d expected"
                          % (name, breaks, max_breaks))


def check_steady_record(record, name):
    """A record saved after at least a sweep of uninterrupted ramp: the
    newest sweep (from entry 0) and the rest of the one before it, which it
    continues with one sample, entry 0, left out of the file. The last two
    entries are the first sweep's last sample and the never-written one."""
    check_record(record, name)
    body = record[:RECORD_SIZE - 2]
    breaks = [i for i in range(len(body) - 1) if body[i + 1] != (body[i] + 1) % 256]
    if not breaks:
        return
    if len(breaks) > 1 or body[0] != (body[-1] + 2) % 256:
        raise Failure("record %r is not one stream of samples: breaks after offsets %s, first %d, last %d"
                      % (name, breaks[:10], body[0], body[-1]))


def directory_files(folder):
    """The records folder's entries, but for the session recordings' folder."""
    return sorted(name for name in os.listdir(folder) if name != recording.FOLDER)


INDEX = "index.tsv"
BACKUP = re.compile(r"^(\d+)\.~(\d+)~$")


def records(folder):
    """Record files by number; fails on anything else in the folder, such as
    the temporary file of an interrupted save. The index, the numbered
    backups of earlier records and the session recordings are left out."""
    out = {}
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if (name == INDEX or BACKUP.match(name)) and os.path.isfile(path):
            continue
        if name == recording.FOLDER and os.path.isdir(path):
            continue
        if not name.isdigit() or not os.path.isfile(path):
            raise Failure("unexpected %r in the working directory" % name)
        with open(path, "rb") as f:
            out[int(name)] = f.read()
    return out


def backups(folder):
    """The numbered backups by name, with their bytes."""
    out = {}
    for name in os.listdir(folder):
        if BACKUP.match(name):
            with open(os.path.join(folder, name), "rb") as f:
                out[name] = f.read()
    return out


def index_lines(folder):
    """The index's lines as lists of fields, header first; [] without one."""
    path = os.path.join(folder, INDEX)
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f]


# Process health

def sanitizer_report(program):
    text = program.read_output()
    for mark in SANITIZER_MARKS:
        at = text.find(mark)
        if at >= 0:
            return text[max(0, at - 200): at + 2000]
    return None


def check_alive(program, window):
    if not program.running():
        raise Failure("the program ended (%s):\n%s" % (program.popen.returncode, program.read_output()[-3000:]))
    report = sanitizer_report(program)
    if report:
        raise Failure("sanitizer report:\n%s" % report)
    if not window.visible():
        raise Failure("the main window is gone")


def exit_cleanly(program, window, timeout=10):
    """Exit ends the program with code 0 and nothing reported."""
    check_alive(program, window)
    window.click_control("Command4")
    code = program.wait(timeout)
    report = sanitizer_report(program)
    if report:
        raise Failure("sanitizer report:\n%s" % report)
    if code != 0:
        raise Failure("the program ended with %s after Exit:\n%s" % (code, program.read_output()[-3000:]))


# Warning boxes

def expect_one_warning(window, timeout=10, label=None, after=None):
    """Exactly one warning box comes up; it is dismissed and no other
    follows. Each count waits until the program has caught up, so a second
    box already on its way would be there. A failure names `after`, what
    was done, when given."""
    if after:
        try:
            return expect_one_warning(window, timeout, label)
        except Failure as e:
            raise Failure("%s: %s" % (after, e)) from None
    box = window.wait_warning(timeout)
    window.caught_up()
    boxes = window.warning_boxes()
    if len(boxes) != 1:
        raise Failure("%d warning boxes where one was expected" % len(boxes))
    if label:
        box.screenshot(label)
    window.dismiss(box)
    window.caught_up()
    window.expect_no_warning("after the first was dismissed")


# The simulator

def stop_signals_sent(sim):
    """How many stop commands the simulator has received."""
    return sim.received().count(STOP_STREAM)


def start_signals_sent(sim):
    return sim.received().count(START_STREAM)


def timed_click(window, sim, name):
    """Seconds from the button's release to the stop command on the line.
    Pressed and released by separate calls: a plain xdotool click lingers
    about 100 ms after the release, which would be counted against the
    program."""
    x, y = layout.control_centre(name)
    left, top, _, _ = window.geometry()
    window.desktop.xdotool("mousemove", "--sync", left + x, top + y)
    window.desktop.xdotool("mousedown", 1)
    before = stop_signals_sent(sim)
    started = time.monotonic()
    window.desktop.xdotool("mouseup", 1)
    while stop_signals_sent(sim) == before:
        if time.monotonic() - started > 10:
            raise Failure("a click on %s got no answer within 10 s" % name)
        time.sleep(0.005)
    return time.monotonic() - started


def streaming_session(s, *sim_options):
    """The simulator on COM1 with a ramp, the program, the port picked and
    Start clicked: samples flow."""
    return s.start_streaming("--source", "ramp", *sim_options)


def unmount_leftovers(argv):
    """Mounts a killed run left in its artefacts folder (a small file system,
    a read-only bind) would keep the next run from starting afresh."""
    if "--artefacts" not in argv or len(argv) < 2 or os.geteuid() != 0:
        return
    # This case's folder only: other cases may be running alongside.
    root = os.path.realpath(os.path.join(argv[argv.index("--artefacts") + 1], argv[1]))
    with open("/proc/self/mounts") as f:
        points = [line.split()[1] for line in f]
    for point in reversed(points):
        if point.startswith(root + "/"):
            subprocess.run(["umount", "-l", point], capture_output=True)


def main(cases):
    unmount_leftovers(sys.argv)
    harness.main(cases)


def plotting(window, seconds=1.0):
    """Whether the trace changes over `seconds`: samples are being drawn."""
    before = window.surface().rgb
    time.sleep(seconds)
    return window.surface().rgb != before


def wait_plotting(window, timeout=5):
    wait_until(lambda: plotting(window, 0.5), timeout, "the trace to move")
