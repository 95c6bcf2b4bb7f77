"""Picking a port in the list: the sensor's three initial commands, and the
warning box for a port that is not there."""

import time

from pulsetest import harness
from pulsetest.wire import INITIAL_COMMANDS
from pulsetest.xwindow import Failure

# Long enough for a stray fourth command to show up after the three.
AFTERWARDS_SECONDS = 1.5
# COM9 stands for /dev/ttyUSB4 when the port folder has no COM9 entry.
ABSENT_PORT = 9


def case_initial_commands(s):
    sim, _, window = s.open_port()
    time.sleep(AFTERWARDS_SECONDS)
    if sim.received() != INITIAL_COMMANDS:
        raise Failure("after the initial commands came %s" % sim.received()[len(INITIAL_COMMANDS):].hex(" "))
    if window.warning_boxes():
        raise Failure("a warning box after picking a port that exists")
    window.screenshot("after-pick")


def case_absent_port(s):
    sim = s.start_simulator(1)
    program = s.start_program()
    window = program.window()
    window.settled_capture()
    window.pick_port(ABSENT_PORT)
    box = window.wait_warning(timeout=10)
    # Let a second box show itself if there were one.
    time.sleep(0.5)
    boxes = window.warning_boxes()
    if len(boxes) != 1:
        raise Failure("%d warning boxes for one failed pick" % len(boxes))
    box.screenshot("warning", settled=True)
    window.dismiss(box)
    if window.warning_boxes():
        raise Failure("another warning box after dismissing the first")
    if sim.received():
        raise Failure("COM1 received %s though COM%d was picked" % (sim.received().hex(" "), ABSENT_PORT))

    window.pick_port(1)
    sim.wait_received(INITIAL_COMMANDS, timeout=10)
    if window.warning_boxes():
        raise Failure("a warning box after picking COM1")
    if not program.running():
        raise Failure("the program ended")


if __name__ == "__main__":
    harness.main({"initial-commands": case_initial_commands, "absent-port": case_absent_port})
