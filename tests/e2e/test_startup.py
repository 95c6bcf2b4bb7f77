"""The window as it first appears, before the operator does anything."""

import time

from pulsetest import harness, layout
from pulsetest.image import BACKGROUND, REFERENCE_LINE
from pulsetest.xwindow import Failure

SCREEN_SIZE = (1024, 768)
# The marker starts at the surface's left edge and is this many pixels wide.
MARKER_COLUMNS = 195 // layout.TWIPS_PER_PIXEL
QUIET_SECONDS = 3


def line_rows(surface):
    """Rows of the surface inside that are reference-line red from edge to edge
    (the marker's columns aside)."""
    rows = []
    for y in range(surface.height):
        if all(surface.pixel(x, y) == REFERENCE_LINE for x in range(MARKER_COLUMNS + 1, surface.width)):
            rows.append(y)
    return rows


def case_startup(s):
    sim = s.start_simulator(1)
    program = s.start_program()
    window = program.window()
    image = window.screenshot("startup", settled=True)

    if window.title() != layout.TITLE:
        raise Failure("title %r" % window.title())
    x, y, width, height = window.geometry()
    if (width, height) != layout.CLIENT_SIZE:
        raise Failure("client area %dx%d, expected %dx%d" % (width, height, *layout.CLIENT_SIZE))
    # Centred, give or take the rounding of an odd difference.
    centred = ((SCREEN_SIZE[0] - width) // 2, (SCREEN_SIZE[1] - height) // 2)
    if abs(x - centred[0]) > 1 or abs(y - centred[1]) > 1:
        raise Failure("window at %d,%d, centred would be %d,%d" % (x, y, *centred))

    surface = window.surface(image)
    rows = line_rows(surface)
    expected = [layout.UPPER_LINE_Y // layout.TWIPS_PER_PIXEL, layout.LOWER_LINE_Y // layout.TWIPS_PER_PIXEL]
    if len(rows) != 2 or any(abs(r - e) > 1 for r, e in zip(rows, expected)):
        raise Failure("reference lines at rows %s of the surface, expected %s" % (rows, expected))
    # Everything else right of the marker is the background: no trace yet.
    stray = {}
    for yy in range(surface.height):
        if yy in rows:
            continue
        for xx in range(MARKER_COLUMNS + 1, surface.width):
            c = surface.pixel(xx, yy)
            if c != BACKGROUND:
                stray[c] = stray.get(c, 0) + 1
    if stray:
        raise Failure("the empty surface shows other colours: %s" % stray)

    time.sleep(QUIET_SECONDS)
    if sim.received():
        raise Failure("bytes written before any port was picked: %s" % sim.received().hex(" "))
    if not program.running():
        raise Failure("the program ended by itself")


if __name__ == "__main__":
    harness.main({"startup": case_startup})
