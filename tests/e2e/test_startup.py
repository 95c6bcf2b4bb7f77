"""The window as it first appears, before the operator does anything."""

from pulsetest import harness, layout
from pulsetest.image import BACKGROUND, REFERENCE_LINE
from pulsetest.xwindow import Failure

SCREEN_SIZE = (1024, 768)
# The marker starts at the surface's left edge and is this many pixels wide.
MARKER_COLUMNS = 195 // layout.TWIPS_PER_PIXEL
# A frame's caption starts this many pixels in from its left edge.
CAPTION_LEFT = 8
FACE = (224, 224, 224)
ICON_SIZE = 32


def dark(c):
    return sum(c) < 3 * 128


def line_rows(surface):
    """Rows of the surface inside that are reference-line red from edge to edge
    (the marker's columns aside)."""
    rows = []
    for y in range(surface.height):
        if all(surface.pixel(x, y) == REFERENCE_LINE for x in range(MARKER_COLUMNS + 1, surface.width)):
            rows.append(y)
    return rows


def check_frames(image):
    """Each frame's top line runs through the middle of its caption, and the
    controls inside the frame stay clear below it."""
    background = image.pixel(2, 2)
    for frame in ("Frame1", "Frame2", "Frame3", "Frame4"):
        fx, fy, fw, fh = layout.control_rect(frame)
        line = next(y for y in range(fy, fy + fh) if image.pixel(fx + fw - 6, y) != background)
        caption = [y for y in range(fy, line + 12)
                   if any(dark(image.pixel(x, y)) for x in range(fx + CAPTION_LEFT, fx + CAPTION_LEFT + 20))]
        if not caption or abs(line - (caption[0] + caption[-1]) / 2) > 2:
            raise Failure("%s: top line at y %d, caption on rows %s" % (frame, line, caption[:1] + caption[-1:]))
        for name in layout.controls_in(frame):
            x, y, w, h = layout.control_rect(name)
            ink = [yy for yy in range(y, y + h) for xx in range(x, x + w) if image.pixel(xx, yy) != background]
            if y <= line + 1 or (ink and min(ink) <= line + 1):
                raise Failure("%s reaches up to %s's top line at y %d" % (name, frame, line))


def check_picture_buttons(image):
    """The baseline buttons' face is flat and of the layout's colour."""
    for name in ("Command2", "Command3"):
        x, y, w, h = layout.control_rect(name)
        icon = (x + (w - ICON_SIZE) // 2, y + (h - ICON_SIZE) // 2)
        off = {image.pixel(xx, yy) for yy in range(y + 2, y + h - 2) for xx in range(x + 2, x + w - 2)
               if not (icon[0] <= xx < icon[0] + ICON_SIZE and icon[1] <= yy < icon[1] + ICON_SIZE)}
        if off != {FACE}:
            raise Failure("%s's face shows %s, expected only %s" % (name, sorted(off)[:4], FACE))


def case_startup(s):
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

    check_frames(image)
    check_picture_buttons(image)

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
    # That nothing reaches a sensor before a pick is no-port-controls' (faults).
    if not program.running():
        raise Failure("the program ended by itself")


def case_framed(s):
    """With a window manager the frame, title bar included, is centred."""
    s.start_window_manager()
    window = s.start_program().window()
    window.settled_capture()
    x, y, width, height = window.frame_geometry()
    if height <= layout.CLIENT_SIZE[1]:
        raise Failure("no frame round the window: %dx%d" % (width, height))
    centred = ((SCREEN_SIZE[0] - width) // 2, (SCREEN_SIZE[1] - height) // 2)
    if abs(x - centred[0]) > 1 or abs(y - centred[1]) > 1:
        raise Failure("frame %dx%d at %d,%d, centred would be %d,%d" % (width, height, x, y, *centred))


if __name__ == "__main__":
    harness.main({"startup": case_startup, "startup-framed": case_framed})
