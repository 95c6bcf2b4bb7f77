"""The simulated sensor against input no program would send: a megabyte of
noise in one go, then a long run of spaces. It must keep every byte in its
log, answer afterwards and still stream on request.

Short noise, parameters out of range and commands cut short or into single
bytes, on the line and in the parser's own fuzzing, are tests/sim's
(sim_end_to_end.py, tst_commandparser.cpp); this adds sizes far beyond one
read of the line."""

import random

import faults
from faults import Failure
from pulsetest.line import Line

NOISE_BYTES = 1 << 20
SPACES = 100000
REPLY = bytes([0xAA, 0x55, 2, 4, 6, 8])  # the default serial number 2468
RATE_200HZ = b" 7\x00"


def case_sim_oversized(s):
    sim = s.start_simulator(1)
    line = Line(sim.pty)

    noise = random.Random(20240607)
    line.write(bytes(noise.randrange(256) for _ in range(NOISE_BYTES)))
    line.write(b" " * SPACES + b"3")
    line.quiet()
    if not sim.running():
        raise Failure("the simulator ended: %s" % sim.read_output()[-2000:])

    line.write(b" 1")
    reply = line.read_for(0.5)
    if reply != REPLY:
        raise Failure("serial-number reply %s, expected %s" % (reply.hex(" "), REPLY.hex(" ")))

    # Its pace is tests/sim's business; here it only has to stream again.
    line.write(RATE_200HZ + b" 2")
    if not line.read_for(0.5):
        raise Failure("no samples after the start command")
    line.quiet()

    written = line.written
    line.close()
    code = sim.stop()
    if code != 0:
        raise Failure("the simulator ended with %s on SIGTERM" % code)
    logged = sum(len(data) for _, data in sim.reads())
    if logged != written:
        raise Failure("the simulator logged %d bytes of the %d written" % (logged, written))
    sim.sent_count()
    print("%d bytes fed, all logged; it still answers and streams" % written)


if __name__ == "__main__":
    faults.main({"sim-oversized": case_sim_oversized})
