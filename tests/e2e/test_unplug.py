"""The sensor goes away while it streams: the operator is told once, and the
program lives on, idle, with what it had recorded."""

import time

from pulsetest import harness, procstat
from pulsetest.wire import INITIAL_COMMANDS, RECORD_SIZE, START_STREAM
from pulsetest.xwindow import Failure, wait_until

# Counted from the simulator's start; leaves a few seconds of streaming.
UNPLUG_AFTER = 5
# Idle means a few percent of a core at most; a spinning loop takes all of it.
IDLE_SHARE = 0.05
CPU_SECONDS = 3


def case_unplug(s):
    program = s.start_program()
    window = program.window()
    window.settled_capture()
    # Started only now, so that its clock leaves time to stream before the unplug.
    sim = s.start_simulator(1, "--unplug-after", str(UNPLUG_AFTER))
    window.pick_port(1)
    sim.wait_received(INITIAL_COMMANDS, timeout=10)
    window.click_control("Command1")
    sim.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
    sim.wait_sent(1, timeout=UNPLUG_AFTER)
    code = sim.wait(timeout=UNPLUG_AFTER + 10)
    sent = sim.sent()
    if code != 0:
        raise Failure("the simulator ended with %s instead of unplugging" % code)

    box = window.wait_warning(timeout=10)
    time.sleep(1)
    if len(window.warning_boxes()) != 1:
        raise Failure("%d warning boxes for one unplug" % len(window.warning_boxes()))
    box.screenshot("unplugged", settled=True)
    window.dismiss(box)
    time.sleep(1)
    if window.warning_boxes():
        raise Failure("another warning box after the first was dismissed")

    share = procstat.cpu_share(program.pid, CPU_SECONDS)
    if share > IDLE_SHARE:
        raise Failure("the program uses %.0f %% of a core while idle after the unplug" % (share * 100))

    # Still answering: Stop saves what was recorded before the sensor went.
    window.click_control("Command5")
    record = wait_until(lambda: program.record(1), 5, 'record file "1"')
    for box in window.warning_boxes():  # a note that the stop could not be sent is fair
        box.screenshot("after-stop", settled=True)
        window.dismiss(box)
    if len(record) != RECORD_SIZE:
        raise Failure('record "1" holds %d bytes, expected %d' % (len(record), RECORD_SIZE))
    # Entries 1.. of the first sweep; the last bytes may have been lost with the line.
    kept = record.rstrip(b"\0")
    if len(sent) <= RECORD_SIZE and (not kept or not sent[1:].startswith(kept)):
        raise Failure('record "1" does not hold the samples received before the unplug')
    if not program.running() or not window.visible():
        raise Failure("the program or its window is gone")
    window.screenshot("still-alive")


if __name__ == "__main__":
    harness.main({"unplug": case_unplug})
