"""The simulated sensor against input no program would send: a megabyte of
noise in one go, parameters out of range, a long run of spaces, commands cut
into single bytes. It must keep every byte in its log, answer afterwards and
still stream on request.

Short noise and truncated commands on the line, and the parser's own fuzzing,
are in tests/sim (sim_end_to_end.py, tst_commandparser.cpp); this adds sizes
far beyond one read of the line."""

import os
import random
import re
import select
import time
import tty

import faults
from faults import Failure

NOISE_BYTES = 1 << 20
SPACES = 100000
REPLY = bytes([0xAA, 0x55, 2, 4, 6, 8])  # the default serial number 2468
OUT_OF_RANGE = b" 4\x0a" + b" 4\xff" + b" 5\x06" + b" 7\x05" + b" 7\x80"
RATE_200HZ = b" 7\x00"


class Line:
    """The port end of the simulator's line, as a program would open it."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)
        self.written = 0

    def write(self, data):
        """Writes everything, reading (and dropping) what comes back so that
        neither side's buffer fills."""
        view = memoryview(data)
        while view:
            readable, writable, _ = select.select([self.fd], [self.fd], [], 5)
            if not readable and not writable:
                raise Failure("the simulator stopped reading with %d bytes to go" % len(view))
            if readable:
                self.read_now()
            if writable:
                try:
                    n = os.write(self.fd, view)
                except BlockingIOError:
                    continue
                view = view[n:]
                self.written += n

    def read_now(self):
        data = bytearray()
        while True:
            try:
                chunk = os.read(self.fd, 65536)
            except BlockingIOError:
                return bytes(data)
            if not chunk:
                return bytes(data)
            data += chunk

    def read_for(self, seconds):
        data = bytearray()
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if select.select([self.fd], [], [], max(0, end - time.monotonic()))[0]:
                data += self.read_now()
        return bytes(data)

    def quiet(self):
        """Stops the stream and waits until nothing more comes."""
        self.write(b" 3")
        while self.read_for(0.3):
            pass


def case_sim_oversized(s):
    sim = s.start_simulator(1)
    line = Line(sim.pty)

    noise = random.Random(20240607)
    line.write(bytes(noise.randrange(256) for _ in range(NOISE_BYTES)))
    line.write(OUT_OF_RANGE)
    line.write(b" " * SPACES + b"3")
    for byte in b" 5\x02 4\x01":  # whole commands, a byte per write
        line.write(bytes([byte]))
        time.sleep(0.01)
    line.write(b" 4")  # and one cut short: its parameter never comes
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
    os.close(line.fd)
    code = sim.stop()
    if code != 0:
        raise Failure("the simulator ended with %s on SIGTERM" % code)
    logged = sum(len(data) for _, data in sim.reads())
    if logged != written:
        raise Failure("the simulator logged %d bytes of the %d written" % (logged, written))
    match = re.search(r"^sent (\d+)$", sim.read_output(), re.M)
    if not match or int(match.group(1)) != len(sim.sent()):
        raise Failure("'sent' line %s, --sent file %d bytes" % (match and match.group(0), len(sim.sent())))
    print("%d bytes fed, all logged; it still answers and streams" % written)


if __name__ == "__main__":
    faults.main({"sim-oversized": case_sim_oversized})
