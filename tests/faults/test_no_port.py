"""Every control clicked before any port is open: a warning for each that
needs the port, nothing sent anywhere, the program still there afterwards.

Stop needs no port to save: it says the stop command could not go out, and
still saves the (empty) record, numbered as usual."""

import faults
from faults import Failure, RECORD_SIZE

# Every control that talks to the sensor: one warning box each.
NEED_PORT = (["Command1"] + ["Option%d" % n for n in range(1, 16)]
             + ["Command2", "Command3", "Text1"])
# Controls that answer nothing: no box may come up.
SILENT = ["Label1", "Label14", "Picture1", "Label7"]


def case_no_port_controls(s):
    # A sensor on a port nobody picked: it must hear nothing.
    sim = s.start_simulator(1, "--source", "ramp")
    program = s.start_program()
    window = program.window()
    window.settled_capture()

    for name in NEED_PORT:
        window.click_control(name)
        faults.expect_one_warning(window, timeout=5, after=name)

    for name in SILENT:
        window.click_control(name)
    window.caught_up()
    window.expect_no_warning("after clicking controls that need no port")

    # The port list drops down and goes away again without a pick.
    popup = window.drop_port_list()
    window.desktop.key("Escape")
    popup.wait_gone(5)

    # Stop: a note that the stop command could not go out, and a record of
    # nothing, under the first number and then the next.
    for number in (1, 2):
        window.click_control("Command5")
        faults.expect_one_warning(window, timeout=5, label="stop-%d" % number)
        faults.check_record(program.wait_record(number), str(number), expected=bytes(RECORD_SIZE))

    faults.check_alive(program, window)
    if sim.received():
        raise Failure("the sensor received %s though no port was picked" % sim.received().hex(" "))
    if sim.sent():
        raise Failure("the sensor streamed though no port was picked")
    faults.exit_cleanly(program, window)
    if sim.received():
        raise Failure("Exit sent %s" % sim.received().hex(" "))


if __name__ == "__main__":
    faults.main({"no-port-controls": case_no_port_controls})
