"""Where things are on the main window, in twips and in pixels, and where the
sweep puts each sample on the drawing surface."""

from collections import namedtuple

from .wire import RECORD_SIZE

TWIPS_PER_PIXEL = 15
TITLE = "脉搏数字传感器采样演示"
WARNING_TITLE = "警告"
CLIENT_SIZE = (682, 477)

# Left, top, width, height in twips, relative to each control's container.
_FRAMES = {
    "Frame1": (120, 5040, 6255, 735),
    "Frame2": (120, 5880, 6255, 1095),
    "Frame3": (6600, 5040, 855, 1935),
    "Frame4": (7680, 5160, 2295, 735),
}
_ON_WINDOW = {
    "Label1": (120, 120, 8055, 1695),
    "Label14": (8280, 240, 1695, 735),
    "Combo1": (8280, 1320, 1695, 405),
    "Picture1": (120, 2040, 9975, 2655),
    "Command1": (7560, 6360, 855, 495),
    "Command5": (8400, 6360, 855, 495),
    "Command4": (9240, 6360, 855, 495),
}
_IN_FRAME = {
    "Option1": ("Frame1", (240, 360, 975, 300)),
    "Option2": ("Frame1", (1200, 360, 975, 300)),
    "Option3": ("Frame1", (2160, 360, 975, 300)),
    "Option4": ("Frame1", (3120, 360, 855, 255)),
    "Option5": ("Frame1", (4080, 360, 855, 255)),
    "Option6": ("Frame2", (120, 480, 495, 495)),
    "Option7": ("Frame2", (720, 480, 495, 495)),
    "Option8": ("Frame2", (1320, 480, 495, 495)),
    "Option9": ("Frame2", (1920, 480, 495, 495)),
    "Option10": ("Frame2", (2520, 480, 495, 495)),
    "Option11": ("Frame2", (3120, 480, 495, 495)),
    "Option12": ("Frame2", (3720, 480, 495, 495)),
    "Option13": ("Frame2", (4320, 480, 495, 555)),
    "Option14": ("Frame2", (4920, 480, 495, 495)),
    "Option15": ("Frame2", (5520, 480, 615, 495)),
    "Label7": ("Frame3", (240, 240, 375, 255)),
    "Command2": ("Frame3", (120, 600, 615, 615)),
    "Command3": ("Frame3", (120, 1200, 615, 615)),
    "Text1": ("Frame4", (120, 240, 2055, 375)),
}


def to_pixels(twips):
    # The window places every control at whole pixels, rounding down.
    return twips // TWIPS_PER_PIXEL


def control_rect(name):
    """(left, top, width, height) in pixels from the window's client origin."""
    if name in _ON_WINDOW:
        left, top, width, height = _ON_WINDOW[name]
        return to_pixels(left), to_pixels(top), to_pixels(width), to_pixels(height)
    if name in _FRAMES:
        left, top, width, height = _FRAMES[name]
        return to_pixels(left), to_pixels(top), to_pixels(width), to_pixels(height)
    frame, (left, top, width, height) = _IN_FRAME[name]
    fx, fy, _, _ = control_rect(frame)
    return fx + to_pixels(left), fy + to_pixels(top), to_pixels(width), to_pixels(height)


def controls_in(frame):
    return [name for name, (container, _) in _IN_FRAME.items() if container == frame]


def control_centre(name):
    left, top, width, height = control_rect(name)
    return left + width // 2, top + height // 2


# The drawing surface's inside starts one pixel inside its border.
SURFACE_BORDER = 1


def surface_inside():
    """(left, top, width, height) of Picture1's inside, in client pixels."""
    left, top, width, height = control_rect("Picture1")
    b = SURFACE_BORDER
    return left + b, top + b, width - 2 * b, height - 2 * b


LOWER_LINE_Y = 2440  # Line1, the level of a sample of 0
UPPER_LINE_Y = 105  # Line2


# Sample number k from launch, the sweep it belongs to (0 for the first), the
# sample buffer's entry that holds it, and its segment from (x0, y0) to (x1, y1).
Segment = namedtuple("Segment", "k sweep entry x0 y0 x1 y1")


class Sweep:
    """The positions the sweep gives to consecutive samples from launch, in
    twips of the surface's inside, and the sample buffer's entries that hold
    them. Only the x rule matters across repeated Starts, since they keep the
    pen where it stands."""

    FIRST_X = -300
    START_Y = 1600
    STEP = 9
    WRAP_BEYOND = 10000
    MARKER_OFFSET = 50
    BAND = (41, 245)  # wiped ahead of the newest segment's start
    BUFFER_ENTRIES = 2049
    # The sample drawn beyond WRAP_BEYOND is a sweep's last; later sweeps
    # start a step right of FIRST_X and hold one sample fewer.
    FIRST_SWEEP_SAMPLES = (WRAP_BEYOND - FIRST_X) // STEP + 2

    @staticmethod
    def y_for(sample):
        return LOWER_LINE_Y - 9 * sample

    @classmethod
    def _steps(cls, *runs):
        """(x, sweep, entry, value) for each sample from launch, in order.
        Each run is one Start's samples; a Start writes from entry 0 again,
        with the pen where it stands."""
        x, sweep = cls.FIRST_X, 0
        for run in runs:
            entry = 0
            for value in run:
                yield x, sweep, entry, value
                entry += 1
                if x > cls.WRAP_BEYOND:
                    x, entry = cls.FIRST_X, 0
                    sweep += 1
                x += cls.STEP

    @classmethod
    def segments(cls, samples):
        """One Segment per sample, in order."""
        out, previous_y = [], cls.START_Y
        for k, (x, sweep, entry, value) in enumerate(cls._steps(samples)):
            y = cls.y_for(value)
            out.append(Segment(k, sweep, entry, x, previous_y, x + cls.STEP, y))
            previous_y = y
        return out

    @classmethod
    def record_after(cls, *runs):
        """What a Stop saves once the program has taken exactly these runs of
        samples since launch: entries 1 to RECORD_SIZE of the buffer."""
        buffer = bytearray(cls.BUFFER_ENTRIES)
        for _, _, entry, value in cls._steps(*runs):
            buffer[entry] = value
        return bytes(buffer[1:1 + RECORD_SIZE])
