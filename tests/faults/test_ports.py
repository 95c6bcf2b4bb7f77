"""Port picks that fail, again and again, picks while the sensor streams,
and a second copy of the program picking the port in use: a warning for each
failure, the program lives, and a good pick afterwards plots on."""

import os

import faults
from faults import Failure, INITIAL_COMMANDS, RECORD_SIZE, START_STREAM, STOP_STREAM

# Ports that are not there on any machine: a link in the port folder to
# nothing, and a link to a file that is no serial line. COM9 and COM16 stand
# for /dev/ttyUSB4 and /dev/ttyACM3 when the folder has no entry for them.
DANGLING, NOT_A_LINE = 3, 4
ABSENT = [9, DANGLING, 16, NOT_A_LINE, 9, 9, DANGLING, 16]


def link_absent_ports(s):
    folder = os.path.join(s.runtime, "pulse-demo", "ports")
    os.makedirs(folder, exist_ok=True)
    os.symlink(os.path.join(s.artefacts, "no-such-device"), os.path.join(folder, "COM%d" % DANGLING))
    plain = os.path.join(s.artefacts, "plain-file")
    with open(plain, "wb") as f:
        f.write(b"not a serial line")
    os.symlink(plain, os.path.join(folder, "COM%d" % NOT_A_LINE))
    return plain


def expect_failed_pick(window, port):
    window.pick_port(port)
    faults.expect_one_warning(window, timeout=10, after="picking COM%d" % port)


def case_absent_ports_again(s):
    sim = s.start_simulator(1, "--source", "ramp")
    plain = link_absent_ports(s)
    program = s.start_program()
    window = program.window()
    window.settled_capture()

    for port in ABSENT:
        expect_failed_pick(window, port)
        faults.check_alive(program, window)
    if sim.received():
        raise Failure("COM1 received %s though only absent ports were picked" % sim.received().hex(" "))
    with open(plain, "rb") as f:
        if f.read() != b"not a serial line":
            raise Failure("the program wrote to a file that is no serial line")

    # A good pick after failed ones, and a failed one closing the open port,
    # are pick-while-streaming's.
    faults.exit_cleanly(program, window)


def case_pick_while_streaming(s):
    sim, program, window = faults.streaming_session(s)
    expected = INITIAL_COMMANDS + START_STREAM
    sim.wait_sent(300, timeout=10)

    # The same port again: reopened, initialised, and the acquisition goes on.
    window.pick_port(1)
    expected += INITIAL_COMMANDS
    sim.wait_received(expected, timeout=10)
    faults.wait_plotting(window)
    window.expect_no_warning("after picking the streaming port again")

    # An absent port: the open one is closed, and the operator told once.
    expect_failed_pick(window, 9)
    if faults.plotting(window):
        raise Failure("the trace still moves with the port closed")
    # Stop cannot reach the sensor, says so, and still saves.
    window.click_control("Command5")
    faults.expect_one_warning(window, timeout=5)
    faults.check_record(program.wait_record(1), "1", max_breaks=2)

    # The sensor never heard a stop: picking it again plots on at once.
    window.pick_port(1)
    expected += INITIAL_COMMANDS
    sim.wait_received(expected, timeout=10)
    faults.wait_plotting(window)
    window.click_control("Command5")
    sim.wait_received(expected + STOP_STREAM, timeout=5)
    faults.check_record(program.wait_record(2), "2", max_breaks=4)
    if program.record(1) == program.record(2):
        raise Failure("no new samples in the record after the port came back")
    window.expect_no_warning("after a Stop that reached the sensor")
    faults.exit_cleanly(program, window)


def case_port_in_use(s):
    sim, first, window = faults.streaming_session(s)
    sim.wait_sent(20, timeout=10)

    # A second copy on the same desktop, its window over the first's.
    second = s.start_program()
    other = second.window()
    other.settled_capture()
    other.pick_port(1)
    faults.expect_one_warning(other, timeout=10, label="in-use")
    # A byte from the second copy would also come before the Stop below.
    if sim.received() != INITIAL_COMMANDS + START_STREAM:
        raise Failure("the sensor heard the second copy: %s" % sim.received().hex(" "))
    window.expect_no_warning("in the copy that holds the port")
    faults.exit_cleanly(second, other)

    # The first copy took every sample, in order.
    faults.wait_plotting(window)
    window.click_control("Command5")
    sim.wait_received(INITIAL_COMMANDS + START_STREAM + STOP_STREAM, timeout=5)
    sent = sim.wait_sent_settled()
    record = first.wait_record(1)
    faults.check_record(record, "1", max_breaks=1)  # a wrap leaves one
    kept = record[:RECORD_SIZE - 1].rstrip(b"\0")
    if len(sent) < RECORD_SIZE and (not kept or not sent[1:].startswith(kept)):
        raise Failure('record "1" is not the samples the sensor sent')
    window.expect_no_warning("after a Stop that reached the sensor")
    faults.exit_cleanly(first, window)


if __name__ == "__main__":
    faults.main({"absent-ports-again": case_absent_ports_again, "pick-while-streaming": case_pick_while_streaming,
                 "port-in-use": case_port_in_use})
