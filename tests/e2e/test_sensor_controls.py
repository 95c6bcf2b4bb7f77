"""The sensor's settings, the record on Stop and the serial number, through
the real window against the simulated sensor."""

import subprocess

from pulsetest import harness, layout
from pulsetest.layout import Sweep
from pulsetest.wire import INITIAL_COMMANDS, RECORD_SIZE, START_STREAM, STOP_STREAM
from trace_check import rightmost_trace_column
from pulsetest.xwindow import Failure, wait_until

FIRST_SWEEP = Sweep.FIRST_SWEEP_SAMPLES
SERIAL = "7305"
# The program pauses 100 ms between the steps of a change; sleeping never
# ends early, so half of it is a floor that load cannot break.
MIN_PAUSE = 0.05


def arrival(sim, count):
    """When the simulator had received `count` bytes, by its log."""
    total = 0
    for t, data in sim.reads():
        total += len(data)
        if total >= count:
            return t
    raise Failure("the simulator never received %d bytes" % count)


def case_gain_while_streaming(s):
    sim, _, window = s.start_streaming("--source", "ramp", "--no-variability")
    sim.wait_sent(150, timeout=10)
    window.click_control("Option10")  # 5x
    change = STOP_STREAM + bytes.fromhex("20 34 04") + START_STREAM
    sim.wait_received(INITIAL_COMMANDS + START_STREAM + change, timeout=5)
    # Each step of the change is a pause after the one before it.
    base = len(INITIAL_COMMANDS + START_STREAM)
    stop_at = arrival(sim, base + 2)
    command_at = arrival(sim, base + 5)
    restart_at = arrival(sim, base + 7)
    if command_at - stop_at < MIN_PAUSE or restart_at - command_at < MIN_PAUSE:
        raise Failure("no pause between the steps: stop %.3f, command %.3f, restart %.3f s"
                      % (stop_at, command_at, restart_at))
    # Plotting goes on with no new Start: the pen moves right.
    before = sim.sent()
    first = rightmost_trace_column(window.surface(window.screenshot("after-change")))
    wait_until(lambda: len(sim.sent()) >= len(before) + 200, 10, "200 more samples")
    second = rightmost_trace_column(window.surface(window.screenshot("later")))
    if second <= first:
        raise Failure("the trace stopped growing after the gain change: column %d, then %d" % (first, second))
    if sim.received().count(START_STREAM) != 2:
        raise Failure("expected exactly the Start's and the restart's start commands")


def case_record_matches_stream(s):
    sim, program, window = s.start_streaming("--source", "ramp", "--no-variability")
    sim.wait_sent(FIRST_SWEEP + 300, timeout=20)
    window.click_control("Command5")
    sim.wait_received(INITIAL_COMMANDS + START_STREAM + STOP_STREAM, timeout=5)
    sent = sim.wait_sent_settled()
    record = wait_until(lambda: program.record(1), 5, 'record file "1"')
    if len(record) != RECORD_SIZE:
        raise Failure('record "1" holds %d bytes' % len(record))
    # The record is a snapshot at the click: some count of the samples sent.
    for taken in range(len(sent), FIRST_SWEEP - 1, -1):
        if Sweep.record_after(sent[:taken]) == record:
            s.note("record matches the first %d of %d samples sent" % (taken, len(sent)))
            break
    else:
        raise Failure('record "1" matches no prefix of the %d samples sent' % len(sent))
    # A second Stop with nothing received in between saves the same bytes as "2".
    window.caught_up()
    window.click_control("Command5")
    second = wait_until(lambda: program.record(2), 5, 'record file "2"')
    if second != Sweep.record_after(sent):
        raise Failure('record "2" does not hold every sample sent before it')


def case_serial_number(s):
    sim, program, window = s.open_port("--serial", SERIAL)
    window.click_control("Text1")
    sim.wait_received(INITIAL_COMMANDS + bytes.fromhex("20 31"), timeout=5)
    display = s.env(display=True)

    def shown():
        # Select the box's text and read the X selection it then owns.
        window.desktop.key("ctrl+a")
        out = subprocess.run(["xclip", "-o", "-selection", "primary"], env=display,
                             capture_output=True, text=True, timeout=5)
        return out.stdout if out.stdout == SERIAL else None

    wait_until(shown, 10, "the serial number %s in the box" % SERIAL, interval=0.3)
    # Readable: dark, full-height digits (Tab takes the selection and the
    # text cursor away).
    window.desktop.key("Tab")
    x, y, w, h = layout.control_rect("Text1")
    box = window.settled_capture().crop(x + 3, y + 3, w - 6, h - 6)
    ink = [(yy, sum(box.pixel(xx, yy))) for yy in range(box.height) for xx in range(box.width)
           if sum(box.pixel(xx, yy)) < 3 * 128]
    rows = {yy for yy, _ in ink}
    if len(ink) < 40 or max(rows) - min(rows) < 7 or min(v for _, v in ink) > 3 * 32:
        raise Failure("the serial number is faint or small: %d dark pixels on %d rows" % (len(ink), len(rows)))
    if not program.running():
        raise Failure("the program is gone")


if __name__ == "__main__":
    harness.main({
        "gain-while-streaming": case_gain_while_streaming,
        "record-matches-stream": case_record_matches_stream,
        "serial-number": case_serial_number,
    })
