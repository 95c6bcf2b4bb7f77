"""Picking a port in the list: the sensor's three initial commands, the list
gone and the window whole again. That the window repaints before the pauses
and shows the busy cursor through them is tst_window's (it counts paints and
cursors at each write, where a screen sample here would depend on speed). A
port that is not there is a fault case (tests/faults/test_ports.py)."""


from pulsetest import harness, layout
from pulsetest.image import BACKGROUND, REFERENCE_LINE
from pulsetest.wire import INITIAL_COMMANDS
from pulsetest.xwindow import Failure


def case_initial_commands(s):
    sim = s.start_simulator(1)
    window = s.start_program().window()
    window.settled_capture()
    idle_cursor = s.desktop.cursor()
    (x, y, w, h), _ = window.pick_port(1)
    sim.wait_received(INITIAL_COMMANDS, timeout=10)
    window.caught_up()
    image = window.capture()
    # Where the list was, the surface shows again.
    left, top, width, height = layout.surface_inside()
    wx, wy, _, _ = window.geometry()
    stale = {image.pixel(xx, yy) for yy in range(max(top, y - wy), min(top + height, y - wy + h))
             for xx in range(max(left, x - wx), min(left + width, x - wx + w))} - {BACKGROUND, REFERENCE_LINE}
    if stale:
        raise Failure("the window is not repainted where the list was: %s" % sorted(stale)[:4])
    if s.desktop.cursor() != idle_cursor:
        raise Failure("the cursor is %r after the pauses, %r before" % (s.desktop.cursor(), idle_cursor))
    window.expect_no_warning("after picking a port that exists")
    window.screenshot("after-pick")
    # A stray fourth command would be on the line by now: the simulator
    # reads what waits before it ends.
    sim.stop()
    if sim.received() != INITIAL_COMMANDS:
        raise Failure("after the initial commands came %s" % sim.received()[len(INITIAL_COMMANDS):].hex(" "))


if __name__ == "__main__":
    harness.main({"initial-commands": case_initial_commands})
