"""Picking a port in the list: the sensor's three initial commands. A port
that is not there is a fault case (tests/faults/test_ports.py)."""

import time

from pulsetest import harness
from pulsetest.wire import INITIAL_COMMANDS
from pulsetest.xwindow import Failure

# Long enough for a stray fourth command to show up after the three.
AFTERWARDS_SECONDS = 1.5


def case_initial_commands(s):
    sim, _, window = s.open_port()
    time.sleep(AFTERWARDS_SECONDS)
    if sim.received() != INITIAL_COMMANDS:
        raise Failure("after the initial commands came %s" % sim.received()[len(INITIAL_COMMANDS):].hex(" "))
    if window.warning_boxes():
        raise Failure("a warning box after picking a port that exists")
    window.screenshot("after-pick")


if __name__ == "__main__":
    harness.main({"initial-commands": case_initial_commands})
