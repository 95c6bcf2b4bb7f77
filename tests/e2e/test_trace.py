"""Start draws the samples as a sweeping trace: each where the sweep puts it,
growing to the right, the band ahead of the pen wiped in later sweeps."""

from pulsetest import harness
from pulsetest.layout import Sweep
from pulsetest.wire import INITIAL_COMMANDS, START_STREAM, STOP_STREAM
from trace_check import check_first_sweep_live, check_held_sweep
from pulsetest.xwindow import Failure

FIRST_SWEEP = Sweep.FIRST_SWEEP_SAMPLES
# Samples sent before each look: two during the first sweep, then a later
# sweep far enough on that the previous one still shows right of the band.
EARLY, LATER, HELD = 250, 600, FIRST_SWEEP + 450


def live_look(window, sim, label):
    before = sim.sent()
    image = window.screenshot(label)
    after = sim.sent()
    return check_first_sweep_live(window.surface(image), before, after)


def case_trace(s):
    # A ramp puts each sample at a height known from its position in the stream.
    sim, _, window = s.start_streaming("--source", "ramp", "--no-variability")

    sim.wait_sent(EARLY, timeout=15)
    early = live_look(window, sim, "early")
    sim.wait_sent(LATER, timeout=15)
    later = live_look(window, sim, "later")
    if later <= early:
        raise Failure("the trace did not grow: rightmost column %d, then %d" % (early, later))

    # Stop holds the picture still, so every sample sent is on it.
    sim.wait_sent(HELD, timeout=20)
    window.click_control("Command5")
    sim.wait_received(INITIAL_COMMANDS + START_STREAM + STOP_STREAM, timeout=5)
    sent = sim.wait_sent_settled()
    image = window.screenshot("held", settled=True)
    check_held_sweep(window.surface(image), sent)


if __name__ == "__main__":
    harness.main({"trace": case_trace})
