"""The Windows program under Wine, driven as the Linux program is: real X
input on Xvfb, the Linux simulator's pseudo-terminal as COM1. One case walks
a whole session, so Wine starts few times; each step says when it passed.

The program is started through a wrapper (scripts/test-windows.sh writes it)
that runs it under Wine with the port folder's links as COM1..COM16."""

import os
import sys
import time

sys.path[:0] = [os.path.join(os.path.dirname(__file__), d) for d in ("../faults", "../e2e")]

import faults  # noqa: E402
from faults import Failure, INITIAL_COMMANDS, RECORD_SIZE, START_STREAM, STOP_STREAM, layout, wait_until  # noqa: E402
from pulsetest.layout import Sweep  # noqa: E402
from test_sensor_controls import FIRST_SWEEP, arrival  # noqa: E402

# Wine's answer to the once-a-second look for the lost port costs 20 to 30 ms
# of the program's own threads in some seconds and 1 ms in others (measured
# second by second after the unplug); a loop spinning on the dead line would
# still take all of a core.
WINE_IDLE_SHARE = 0.05

SERIAL = "2468"
# Wine starts its services on a program's first launch.
SHOWN_WITHIN = 60
# The program pauses 500 ms between the initial commands; half is a floor.
MIN_INIT_PAUSE = 0.25
RATE_300 = bytes.fromhex("20 37 01")
GAIN_5X = bytes.fromhex("20 34 04")


def step(name):
    print("step passed: %s" % name, flush=True)


def warning_text(window):
    """The one warning box's text (Ctrl+C copies a message box), then dismissed."""
    box = window.wait_warning(10)
    time.sleep(0.4)
    if len(window.warning_boxes()) != 1:
        raise Failure("%d warning boxes where one was expected" % len(window.warning_boxes()))
    box.focus()
    window.desktop.key("ctrl+c")

    def copied():
        text = window.desktop.copied_text()
        return text if layout.WARNING_TITLE in text else None

    text = wait_until(copied, 5, "the warning's text on the clipboard")
    window.dismiss(box)
    return text


def refused_pick(window, port, reason):
    """Picks COM<port>, which must bring one warning naming `reason`; its
    text on one line."""
    window.pick_port(port)
    text = warning_text(window)
    if reason not in text:
        raise Failure("the warning for COM%d says %r" % (port, text))
    return text.strip().replace("\n", " / ")


def pick_and_check_init(window, sim, before=b""):
    window.pick_port(1)
    sim.wait_received(before + INITIAL_COMMANDS, timeout=10)
    base = len(before)
    first, second, third = (arrival(sim, base + n) for n in (3, 6, 9))
    if second - first < MIN_INIT_PAUSE or third - second < MIN_INIT_PAUSE:
        raise Failure("no pauses between the initial commands: %.3f, %.3f, %.3f s" % (first, second, third))


def stop_and_record(window, sim, program, number, expected):
    window.click_control("Command5")
    sim.wait_received(expected + STOP_STREAM, timeout=5)
    record = program.wait_record(number)
    if record is None or len(record) != RECORD_SIZE:
        raise Failure('record "%d" missing or not %d bytes' % (number, RECORD_SIZE))
    faults.check_alive(program, window)
    return expected + STOP_STREAM, record


def case_session(s):
    sim = s.start_simulator(1, "--source", "ramp", "--no-variability", "--serial", SERIAL)
    program = s.start_program()
    window = program.window(SHOWN_WITHIN)
    _, _, width, height = window.geometry()
    if (width, height) != layout.CLIENT_SIZE:
        raise Failure("the window is %dx%d, not %dx%d" % (width, height, *layout.CLIENT_SIZE))
    window.screenshot("window-under-wine", settled=True)
    step("window shown, %dx%d" % (width, height))

    pick_and_check_init(window, sim)
    step("COM1 picked: nine initial bytes with their pauses")

    window.click_control("Command1")
    expected = INITIAL_COMMANDS + START_STREAM
    sim.wait_received(expected, timeout=5)
    sim.wait_sent(FIRST_SWEEP + 300, timeout=20)
    faults.wait_plotting(window)
    window.screenshot("streaming")
    step("Start: the trace is drawn")

    expected, record = stop_and_record(window, sim, program, 1, expected)
    sent = sim.wait_sent_settled()
    if not any(Sweep.record_after(sent[:n]) == record for n in range(len(sent), FIRST_SWEEP - 1, -1)):
        raise Failure('record "1" matches no prefix of the %d samples sent' % len(sent))
    first_record = record
    step('Stop: record "1" holds the samples, as on Linux')

    window.click_control("Command1")
    expected += START_STREAM
    sim.wait_received(expected, timeout=5)
    window.click_control("Option2")  # 300Hz
    expected += STOP_STREAM + RATE_300 + START_STREAM
    sim.wait_received(expected, timeout=5)
    window.click_control("Option10")  # 5x
    expected += STOP_STREAM + GAIN_5X + START_STREAM
    sim.wait_received(expected, timeout=5)
    faults.wait_plotting(window)
    window.screenshot("300Hz-5x")
    step("a rate and a gain change while streaming")
    sim.wait_sent(len(sim.sent()) + 300, timeout=10)
    expected, record = stop_and_record(window, sim, program, 2, expected)
    faults.check_record(record, "2")
    step('Stop again: record "2"')

    window.click_control("Text1")
    expected += bytes.fromhex("20 31")
    sim.wait_received(expected, timeout=5)

    def shown():
        window.desktop.key("ctrl+a", "ctrl+c")
        return window.desktop.copied_text() == SERIAL

    wait_until(shown, 10, "the serial number %s in the box" % SERIAL, interval=0.3)
    window.desktop.key("Tab")
    window.screenshot("serial-number", settled=True)
    step("serial number %s shown" % SERIAL)

    text = refused_pick(window, 5, "COM5 不存在")
    faults.check_alive(program, window)
    step("absent COM5: one warning with its reason: %s" % text)

    pick_and_check_init(window, sim, expected)
    expected += INITIAL_COMMANDS
    second = s.start_program()
    other = second.window(SHOWN_WITHIN)
    text = refused_pick(other, 1, "COM1 正被另一个程序使用")
    faults.exit_cleanly(second, other)
    step("a second copy on COM1 refused: %s" % text)

    # Whatever the second copy sent would stand before the start command:
    # wait_received fails on anything but exactly these bytes.
    window.click_control("Command1")
    sim.wait_received(expected + START_STREAM, timeout=5)
    sim.wait_sent(len(sim.sent()) + 200, timeout=10)
    sim.stop()  # the adapter pulled
    faults.expect_one_warning(window, timeout=10, label="unplugged")
    share = faults.cpu_share(program.pid, 3)
    if share > WINE_IDLE_SHARE:
        raise Failure("the program uses %.1f %% of a core after the unplug" % (share * 100))
    faults.check_alive(program, window)
    if faults.plotting(window, 0.5):
        raise Failure("the trace changes after the unplug")
    window.click_control("Command5")  # no line to send on: says so, and saves
    faults.expect_one_warning(window, timeout=5)
    faults.check_record(program.wait_record(3), "3")
    step("unplug while streaming: one warning, alive, idle (%.2f %% of a core), Stop still saves" % (share * 100))

    faults.exit_cleanly(program, window)
    step("Exit")

    sim = s.start_simulator(1, "--source", "ramp")
    program = s.start_program()
    window = program.window(SHOWN_WITHIN)
    pick_and_check_init(window, sim)
    window.click_control("Command1")
    sim.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
    sim.wait_sent(300, timeout=10)
    _, again = stop_and_record(window, sim, program, 1, INITIAL_COMMANDS + START_STREAM)
    if faults.backups(s.workdir) != {"1.~1~": first_record} or again == first_record:
        raise Failure('"1.~1~" does not hold the first launch\'s record: %s' % sorted(faults.backups(s.workdir)))
    lines = faults.index_lines(s.workdir)
    if [line[0] for line in lines[1:]] != ["1", "2", "3", "1"] or lines[-1][5] != "COM1":
        raise Failure("the index holds %s" % lines)
    faults.exit_cleanly(program, window)
    step('second launch: "1" kept as "1.~1~", index.tsv has a line for each record')


def case_installed(s):
    """The program as the installer put it: it starts and works on COM1."""
    sim = s.start_simulator(1, "--source", "ramp")
    program = s.start_program()
    window = program.window(SHOWN_WITHIN)
    window.screenshot("installed", settled=True)
    pick_and_check_init(window, sim)
    window.click_control("Command1")
    sim.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
    faults.wait_plotting(window)
    stop_and_record(window, sim, program, 1, INITIAL_COMMANDS + START_STREAM)
    faults.exit_cleanly(program, window)
    step("the installed program opens COM1, plots and saves")


if __name__ == "__main__":
    faults.main({"session": case_session, "installed": case_installed})
