"""An impatient operator: random clicks and keys on every control while the
sensor streams, warning boxes dismissed as they come. Nothing may crash, and
every record file must be whole.

The storm is drawn from a seed printed first; PULSE_FAULTS_SEED=<seed> draws
the same storm again (the program's timing may still differ). Its length is
PULSE_FAULTS_STORM_SECONDS.

Exit is left out, and so are Space and Return, which would press Exit when
the focus has wandered onto it."""

import os
import random
import time

import faults
from faults import Failure, INITIAL_COMMANDS, START_STREAM, STOP_STREAM

STORM_SECONDS = faults.seconds_setting("PULSE_FAULTS_STORM_SECONDS", 30)
CONTROLS = (["Command1", "Command5", "Command2", "Command3", "Text1", "Picture1", "Label1", "Label7"]
            + ["Option%d" % n for n in range(1, 16)])
KEYS = ["Tab", "shift+Tab", "Left", "Right", "Up", "Down", "Home", "End", "Page_Up", "Page_Down",
        "Escape", "BackSpace", "Delete", "1", "9", "c", "o", "m", "x"]
# Most picks go to the sensor's own port, so that it keeps streaming.
PICK_SENSOR = 0.5
MAX_PAUSE = 0.15
# The last, clean run at 1000 Hz: Start keeps the pen where it stands, so
# the first sweep may be short; after two, every entry is from this run.
CLEAN_SAMPLES = 2 * 1145 + 100



def resting_cursor(window):
    """The cursor over the instructions, which change it only while busy."""
    left, top, _, _ = window.geometry()
    x, y = faults.layout.control_centre("Label1")
    # A synchronous move to where the pointer already is would wait for ever.
    if window.desktop.pointer() != (left + x, top + y):
        window.desktop.xdotool("mousemove", "--sync", left + x, top + y)
    return window.desktop.cursor()


def initial_commands_since(sim, before):
    received = sim.received()
    return len(received) >= before + len(INITIAL_COMMANDS) and received.endswith(INITIAL_COMMANDS)


class Storm:
    def __init__(self, window, seed):
        self.window = window
        self.desktop = window.desktop
        self.random = random.Random(seed)
        self.counts = {"click": 0, "pick": 0, "key": 0, "dismissed": 0}

    def point_in(self, name):
        left, top, width, height = faults.layout.control_rect(name)
        return left + self.random.randrange(2, max(3, width - 2)), top + self.random.randrange(2, max(3, height - 2))

    def dismiss(self):
        """Escape on each warning box: its one button is also its escape
        button. Boxes may close or open meanwhile; that is fine."""
        for box in self.window.warning_boxes():
            if self.desktop.run("xdotool", "windowfocus", "--sync", str(box.id), check=False).returncode == 0:
                self.desktop.key("Escape")
                self.counts["dismissed"] += 1

    def click(self, x, y):
        left, top, _, _ = self.window.geometry()
        self.desktop.xdotool("mousemove", left + x, top + y)
        self.desktop.xdotool("click", 1)

    def step(self):
        kind = self.random.choices(["click", "pick", "key"], weights=[6, 1, 2])[0]
        self.counts[kind] += 1
        if kind == "click":
            self.click(*self.point_in(self.random.choice(CONTROLS)))
        elif kind == "key":
            self.desktop.key(self.random.choice(KEYS))
        else:
            left, top, width, height = faults.layout.control_rect("Combo1")
            self.click(left + width - height // 3, top + height // 2)
            port = 1 if self.random.random() < PICK_SENSOR else self.random.randrange(2, 17)
            time.sleep(0.2)
            # A pick whose arrow lands in a pause finds no list yet: the list
            # drops down once the pause is over.
            popup = self.window.port_list()
            if popup is not None:
                x, y, w, h = popup.geometry()
                row = (h - 2) / 16
                self.desktop.xdotool("mousemove", x + w // 2, y + 1 + int(row * (port - 0.5)))
                self.desktop.xdotool("click", 1)
        time.sleep(self.random.uniform(0, MAX_PAUSE))


def case_click_storm(s):
    seed = int(os.environ.get("PULSE_FAULTS_SEED") or random.SystemRandom().randrange(1 << 32))
    print("click storm seed %d (replay: PULSE_FAULTS_SEED=%d), %.0f s" % (seed, seed, STORM_SECONDS), flush=True)
    sim, program, window = faults.streaming_session(s)
    storm = Storm(window, seed)
    idle_cursor = resting_cursor(window)

    started = time.monotonic()
    while time.monotonic() - started < STORM_SECONDS:
        storm.dismiss()
        storm.step()
        faults.check_alive(program, window)
    print("storm: %(click)d clicks, %(pick)d port picks, %(key)d keys, %(dismissed)d warning boxes dismissed"
          % storm.counts)

    # Calm again: the program has caught up with the storm (clicks and keys
    # made during a pause are handled after it), boxes gone, the list closed.
    # Twice in a row: a pick clicked last is held back for a moment while the
    # window repaints, and the first look may fall into that moment.
    deadline = time.monotonic() + 15
    calm = 0
    while calm < 2:
        storm.dismiss()
        if window.port_list() is not None:
            window.desktop.key("Escape")
        window.caught_up()
        quiet = not window.warning_boxes() and window.port_list() is None and resting_cursor(window) == idle_cursor
        calm = calm + 1 if quiet else 0
        if time.monotonic() > deadline:
            raise Failure("warning boxes keep coming, the program stays busy or its port list stays open "
                          "after the storm")
    faults.check_alive(program, window)

    # Records so far: numbered without gaps, each whole.
    saved = faults.records(s.workdir)
    if sorted(saved) != list(range(1, len(saved) + 1)):
        raise Failure("record files %s: a number was skipped" % sorted(saved))
    for number, record in saved.items():
        faults.check_record(record, str(number))

    # And the program still does its job: the sensor's port, 1000 Hz, Start,
    # more than a sweep, Stop; the record is one unbroken stream. The port is
    # picked, and the arrow clicked again while that pick's pauses run: the
    # click is handled after them, and the list drops down.
    before = len(sim.received())
    window.pick_port(1)
    if initial_commands_since(sim, before):
        raise Failure("the pick's initial commands were out before the arrow could be clicked during them")
    popup = window.drop_port_list()
    if not initial_commands_since(sim, before):
        raise Failure("the port list dropped down before the pick's initial commands were out: %s"
                      % sim.received()[before:].hex(" "))
    before = len(sim.received())
    window.pick_from_list(popup, 1)
    faults.wait_until(lambda: initial_commands_since(sim, before), 10, "the sensor's initial commands")
    expected = sim.received()
    window.click_control("Option5")
    window.click_control("Command1")
    faults.wait_until(lambda: sim.received().endswith(START_STREAM) and len(sim.received()) > len(expected),
                      5, "the start command")
    start = sim.sent_so_far()
    faults.wait_until(lambda: sim.sent_so_far() > start + CLEAN_SAMPLES, 10, "a sweep of samples")
    window.click_control("Command5")
    faults.wait_until(lambda: sim.received().endswith(STOP_STREAM), 5, "the stop command")
    window.expect_no_warning("during the clean run")
    last = len(saved) + 1
    faults.check_steady_record(program.wait_record(last), str(last))
    print("%d records, all whole; the clean run's record %d is one stream" % (last, last))
    faults.exit_cleanly(program, window)


if __name__ == "__main__":
    faults.main({"click-storm": case_click_storm})
