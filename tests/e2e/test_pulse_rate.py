"""The pulse rate below the serial number, read through the window's
accessibility, against the simulated sensor: the rate of a steady pulse and
of one that steps from 72 to 150 a minute, dashes for a flat line, and the
words for a trace that clips."""

import math
import os
import re
import time

from pulsetest import harness
from pulsetest.a11y import Accessibility
from pulsetest.xwindow import Failure

RATE = re.compile(r"脉率 (\d+|---) 次/分")
TOO_HIGH = "信号过强，请降低放大倍率"
# Four beats, a reading a second, and room for a loaded machine.
READOUT_TIMEOUT = 30


def readout(a11y, what, matches=lambda text: True, timeout=READOUT_TIMEOUT):
    return a11y.wait_label(lambda t: (RATE.fullmatch(t) or t == TOO_HIGH) and matches(t), timeout, what)


def rate_of(text):
    m = RATE.fullmatch(text)
    return int(m.group(1)) if m and m.group(1) != "---" else None


def first_rate(a11y, per_minute, what="a rate"):
    """Waits for a rate; fails unless it is within 2 of `per_minute`."""
    shown = readout(a11y, what, lambda t: rate_of(t) is not None)
    if abs(rate_of(shown) - per_minute) > 2:
        raise Failure("a pulse of %d a minute shows %r" % (per_minute, shown))


def streaming(s, *sim_options):
    a11y = Accessibility(s)
    sim, program, window = s.start_streaming(*sim_options)
    return a11y, sim, window


# A steady 72 is the first reading of the step and the clipping cases.
def case_rate_150(s):
    first_rate(streaming(s, "--heart-rate", "150", "--no-variability")[0], 150)


def case_rate_step(s):
    # The pulse's own clock is the samples sent: 200 of them a second.
    step = 20
    a11y, sim, _ = streaming(s, "--heart-rate", "72", "--heart-rate-step", "%d:150" % step, "--no-variability")
    first_rate(a11y, 72, "the rate before the step")
    sim.wait_sent(step * 200, timeout=READOUT_TIMEOUT + step)
    stepped = time.monotonic()
    readout(a11y, "150 within 10 s of the step", lambda t: rate_of(t) is not None and abs(rate_of(t) - 150) <= 2,
            timeout=10)
    print("150 shown %.1f s after the step" % (time.monotonic() - stepped))


def case_flat_line(s):
    # 20 s of a pulse at 75 a minute (160 samples a beat), then 30 s flat:
    # the dashes must replace the rate, not be the readout left unchanged.
    beat = [90 + (50 * (1 - math.cos(math.pi * i / 24)) if i < 24 else 100 * math.exp(-(i - 24) / 30))
            for i in range(160)]
    path = os.path.join(s.artefacts, "pulse-then-flat.bin")
    with open(path, "wb") as f:
        f.write(bytes(round(v) for v in beat) * 25 + bytes([100]) * 30 * 200)
    a11y, _, _ = streaming(s, "--source", "file:" + path)
    first_rate(a11y, 75)
    readout(a11y, "dashes once the line is flat", lambda t: t == "脉率 --- 次/分")


def case_clipping(s):
    a11y, _, window = streaming(s, "--heart-rate", "72", "--no-variability")
    first_rate(a11y, 72)
    # 10x from baseline 2: the top of every beat is cut at 255.
    for control in ("Option15", "Command2", "Command2"):
        window.click_control(control)
    readout(a11y, "the clipping words", lambda t: t == TOO_HIGH)
    window.click_control("Option9")  # back to 4x
    first_rate(a11y, 72, "the rate again once the gain came down")


if __name__ == "__main__":
    harness.main({"pulse-rate-150": case_rate_150, "pulse-rate-step": case_rate_step,
                  "pulse-flat-line": case_flat_line, "pulse-clipping": case_clipping})
