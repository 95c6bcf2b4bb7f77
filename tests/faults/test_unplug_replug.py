"""The sensor goes away mid-stream and comes back on the same COM number.

unplug-replug: pulled while streaming, Stop pressed while it is away, back
after a while: one warning, no spinning on the dead line, Stop saves what
was recorded, a sensor appearing on another number is left alone, and the
lost one is opened again by itself, set as the window shows, not started.

replug-streaming: pulled while streaming and plugged back under another
device name behind the same link (as a by-id link does): the warning box
closes itself, the sensor gets the window's gain, baseline and rate and then
Start, and the trace goes on without a pick.

pick-ends-watch: a port picked while the lost one is away is the one used;
the lost one coming back later is not opened."""

import faults
from faults import Failure, INITIAL_COMMANDS, RECORD_SIZE, START_STREAM

# From the simulator's start: the pick and Start leave a few seconds of stream.
UNPLUG_AFTER = 5
CPU_SECONDS = 3
SECOND_RUN = 300


def stream_then_unplug(s, *options):
    program = s.start_program()
    window = program.window()
    blank = window.surface(window.settled_capture())
    sim = s.start_simulator(1, "--source", "ramp", "--unplug-after", str(UNPLUG_AFTER), *options)
    window.pick_port(1)
    sim.wait_received(INITIAL_COMMANDS, timeout=10)
    return program, window, blank, sim


def case_unplug_replug(s):
    program, window, blank, first = stream_then_unplug(s)
    window.click_control("Command1")
    first.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
    first.wait_sent(1, timeout=UNPLUG_AFTER)
    if first.wait(timeout=UNPLUG_AFTER + 10) != 0:
        raise Failure("the simulator did not unplug cleanly")

    faults.expect_one_warning(window, timeout=10, label="unplugged")
    share = faults.cpu_share(program.pid, CPU_SECONDS)
    print("CPU after the unplug, watching for the port: %.2f %% of a core" % (share * 100))
    if share > faults.IDLE_SHARE:
        raise Failure("the program uses %.1f %% of a core after the unplug" % (share * 100))
    faults.check_alive(program, window)
    # The trace drawn before the unplug stays on the surface, and stays still.
    kept = window.surface()
    if kept.rgb == blank.rgb:
        raise Failure("the trace is gone after the unplug")
    if faults.plotting(window, 0.5):
        raise Failure("the trace changes after the unplug")

    # Stop has no line to send on: it says so, and saves anyway.
    window.click_control("Command5")
    faults.expect_one_warning(window, timeout=5)
    record1 = program.wait_record(1)
    faults.check_record(record1, "1", max_breaks=0)
    taken = record1[:RECORD_SIZE - 1].rstrip(b"\0")
    if not taken or not first.sent()[1:].startswith(taken):
        raise Failure('record "1" does not hold the samples sent before the unplug')

    # Another sensor on another number is not the lost one: it is there at
    # the look that finds the lost one back (looks counted while only another
    # number's device is there are tst_session's). The lost one is opened by
    # itself, set as shown, and not started, since Stop was pressed meanwhile.
    other = s.start_simulator(2, "--source", "ramp")
    second = s.start_simulator(1, "--source", "ramp")
    second.wait_received(INITIAL_COMMANDS, timeout=10)
    window.caught_up()
    if other.received():
        raise Failure("COM2 was opened by itself: it received %s" % other.received().hex(" "))
    window.expect_no_warning("after the sensor came back")
    window.click_control("Command1")
    second.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
    faults.wait_plotting(window)
    second.wait_sent(SECOND_RUN, timeout=10)
    window.click_control("Command5")
    sent = second.wait_sent_settled()
    window.caught_up()
    window.click_control("Command5")
    record3 = program.wait_record(3)
    if len(taken) + 1 + len(sent) <= RECORD_SIZE:
        # Start writes from entry 0 again; the sweep has not wrapped, so the
        # entries beyond the new run still hold the first sensor's samples.
        entries = bytearray(1) + bytearray(record1)
        entries[:len(sent)] = sent
        faults.check_record(record3, "3", expected=bytes(entries[1:RECORD_SIZE + 1]))
        print('record "3" holds the second sensor\'s %d samples over the first\'s' % len(sent))
    else:
        faults.check_record(record3, "3", max_breaks=2)
    faults.exit_cleanly(program, window)


def case_replug_streaming(s):
    program, window, _, sim = stream_then_unplug(s, "--replug-after", "3", "--by-id")
    # 4x, baseline 1, 300 Hz, then Start: what the sensor must get again.
    window.click_control("Option9")
    window.click_control("Command2")
    window.click_control("Option2")
    window.click_control("Command1")
    settings = (bytes.fromhex("2033 2034 03 2032") + bytes.fromhex("2033 2035 01 2032")
                + bytes.fromhex("2033 2037 01 2032") + START_STREAM)
    sim.wait_received(INITIAL_COMMANDS + settings, timeout=10)
    faults.wait_until(lambda: len(sim.plugged_in()) == 2, UNPLUG_AFTER + 10, "the sensor to come back")
    again = bytes.fromhex("2034 03 2035 01 2037 01") + START_STREAM
    sim.wait_received(INITIAL_COMMANDS + settings + again, timeout=10)
    # Its warning is out of date: the box has closed itself.
    faults.wait_until(lambda: not window.warning_boxes(), 5, "the warning box to close itself")
    faults.wait_plotting(window)
    devices = sim.plugged_in()
    print("back as %s after %s; the sensor got %s" % (devices[1], devices[0], again.hex(" ")))
    window.click_control("Command5")
    record = program.wait_record(1)
    # The stream before and after the gap, and the entry never saved.
    faults.check_record(record, "1", max_breaks=3)
    faults.exit_cleanly(program, window)


def case_pick_ends_watch(s):
    program, window, _, first = stream_then_unplug(s)
    if first.wait(timeout=UNPLUG_AFTER + 10) != 0:
        raise Failure("the simulator did not unplug cleanly")
    faults.expect_one_warning(window, timeout=10)
    other = s.start_simulator(2, "--source", "ramp")
    window.pick_port(2)
    other.wait_received(INITIAL_COMMANDS, timeout=10)
    # The pick stops the watch at once (tst_session checks it has stopped);
    # here the lost one, back, is still closed once the picked one streams.
    back = s.start_simulator(1, "--source", "ramp")
    window.click_control("Command1")
    other.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
    faults.wait_plotting(window)
    if back.received():
        raise Failure("COM1 was opened after COM2 was picked: it received %s" % back.received().hex(" "))
    faults.exit_cleanly(program, window)


if __name__ == "__main__":
    faults.main({"unplug-replug": case_unplug_replug, "replug-streaming": case_replug_streaming,
                 "pick-ends-watch": case_pick_ends_watch})
