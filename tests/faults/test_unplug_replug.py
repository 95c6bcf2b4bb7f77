"""The sensor goes away mid-stream and comes back on the same COM number:
one warning, no spinning on the dead line, Stop still saves what was
recorded, and a new pick of the port plots on."""


import faults
from faults import Failure, INITIAL_COMMANDS, RECORD_SIZE, START_STREAM

# From the simulator's start: the pick and Start leave a few seconds of stream.
UNPLUG_AFTER = 5
CPU_SECONDS = 3
SECOND_RUN = 300


def case_unplug_replug(s):
    program = s.start_program()
    window = program.window()
    blank = window.surface(window.settled_capture())
    first = s.start_simulator(1, "--source", "ramp", "--unplug-after", str(UNPLUG_AFTER))
    window.pick_port(1)
    first.wait_received(INITIAL_COMMANDS, timeout=10)
    window.click_control("Command1")
    first.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
    first.wait_sent(1, timeout=UNPLUG_AFTER)
    if first.wait(timeout=UNPLUG_AFTER + 10) != 0:
        raise Failure("the simulator did not unplug cleanly")

    faults.expect_one_warning(window, timeout=10, label="unplugged")
    share = faults.cpu_share(program.pid, CPU_SECONDS)
    print("CPU after the unplug: %.2f %% of a core" % (share * 100))
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
    record1 = faults.wait_record(program, 1)
    faults.check_record(record1, "1", max_breaks=0)
    taken = record1[:RECORD_SIZE - 1].rstrip(b"\0")
    if not taken or not first.sent()[1:].startswith(taken):
        raise Failure('record "1" does not hold the samples sent before the unplug')

    # The sensor is back on the same number; the operator picks it again.
    second = s.start_simulator(1, "--source", "ramp")
    window.pick_port(1)
    second.wait_received(INITIAL_COMMANDS, timeout=10)
    window.click_control("Command1")
    second.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
    faults.wait_plotting(window)
    second.wait_sent(SECOND_RUN, timeout=10)
    window.click_control("Command5")
    sent = second.wait_sent_settled()
    window.caught_up()
    window.click_control("Command5")
    record3 = faults.wait_record(program, 3)
    if len(taken) + 1 + len(sent) <= RECORD_SIZE:
        # Start writes from entry 0 again; the sweep has not wrapped, so the
        # entries beyond the new run still hold the first sensor's samples.
        entries = bytearray(1) + bytearray(record1)
        entries[:len(sent)] = sent
        faults.check_record(record3, "3", expected=bytes(entries[1:RECORD_SIZE + 1]))
        print('record "3" holds the second sensor\'s %d samples over the first\'s' % len(sent))
    else:
        faults.check_record(record3, "3", max_breaks=2)
    if window.warning_boxes():
        raise Failure("a warning box after the sensor came back")
    faults.exit_cleanly(program, window)


if __name__ == "__main__":
    faults.main({"unplug-replug": case_unplug_replug})
