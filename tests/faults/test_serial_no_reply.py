"""A serial-number query the sensor never answers (the simulator is frozen
with SIGSTOP): the window keeps answering meanwhile, and Exit ends it."""

import os
import signal
import time

import faults
from faults import Failure

SERIAL_QUERY = b" 1"
GAIN_3X = b" 4\x02"  # Option8


def case_serial_no_reply(s):
    sim, program, window = s.open_port("--source", "ramp")

    os.kill(sim.pid, signal.SIGSTOP)
    try:
        window.click_control("Text1")
        window.click_control("Text1")  # a second query waits as well
        window.caught_up()  # answering meanwhile
        faults.check_alive(program, window)
        window.expect_no_warning("for a query that is only waiting")

        # Still answering: a gain click goes through, and Stop saves a
        # record at once.
        window.click_control("Option8")
        window.click_control("Command5")
        program.wait_record(1, timeout=3)
        faults.check_record(program.record(1), "1", expected=bytes(faults.RECORD_SIZE))
        window.expect_no_warning("while the sensor is silent")

        # Exit while both queries still wait, the sensor still frozen.
        started = time.monotonic()
        faults.exit_cleanly(program, window, timeout=5)
        print("Exit took %.2f s with the queries waiting" % (time.monotonic() - started))
    finally:
        os.kill(sim.pid, signal.SIGCONT)

    # Everything the program said did reach the line: the simulator reads
    # what waits before it ends.
    sim.stop()
    received = sim.received()
    if received.count(SERIAL_QUERY) != 2 or GAIN_3X not in received:
        raise Failure("the sensor got %s, expected two queries and the gain" % received.hex(" "))


if __name__ == "__main__":
    faults.main({"serial-no-reply": case_serial_no_reply})
