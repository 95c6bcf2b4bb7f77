"""Exit while the sensor streams ends the program at once and says nothing
more to the sensor; the session recording keeps what was taken."""

import os

from pulsetest import harness, recording
from pulsetest.wire import INITIAL_COMMANDS, START_STREAM
from pulsetest.xwindow import Failure


def case_exit_while_streaming(s):
    sim, program, window = s.start_streaming()
    sim.wait_sent(200, timeout=10)
    window.screenshot("streaming")

    window.click_control("Command4")
    code = program.wait(timeout=10)
    if code != 0:
        raise Failure("the program ended with %s" % code)
    # The simulator reads what the line still holds before it ends.
    sim.stop()
    if sim.received() != INITIAL_COMMANDS + START_STREAM:
        raise Failure("bytes after the start command: %s" % sim.received()[len(INITIAL_COMMANDS + START_STREAM):].hex(" "))
    # No record; the session recording, written out at Exit, holds what was
    # taken up to then.
    if os.listdir(s.workdir) != [recording.FOLDER]:
        raise Failure("Exit left files behind: %s" % os.listdir(s.workdir))
    _, samples, _ = recording.only(s.workdir)
    if not samples or not sim.sent().startswith(samples):
        raise Failure("the recording holds %d samples, not the first of the %d sent" % (len(samples), len(sim.sent())))


if __name__ == "__main__":
    harness.main({"exit-while-streaming": case_exit_while_streaming})
