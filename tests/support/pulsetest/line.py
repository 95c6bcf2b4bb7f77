"""The simulated sensor without a display: started on a private port folder,
and the port end of its pseudo-terminal opened raw, as a program would."""

import os
import re
import select
import subprocess
import time
import tty

from .xwindow import Failure


def start_simulator(binary, runtime, *args):
    """The simulator with its port links under `runtime`, once it has said
    where its line is: (process, "COMn", pty path). Its stdout is a text pipe."""
    sim = subprocess.Popen([binary, *args], env=dict(os.environ, XDG_RUNTIME_DIR=runtime),
                           stdout=subprocess.PIPE, text=True)
    ready, _, _ = select.select([sim.stdout], [], [], 5)
    line = sim.stdout.readline().strip() if ready else ""
    match = re.fullmatch(r"ready (COM\d+) (/dev/pts/\d+)", line)
    if not match:
        sim.kill()
        raise Failure("no ready line from the simulator, got %r" % line)
    return sim, match.group(1), match.group(2)


def logged(path):
    """Every read a simulator's --log file holds, as (seconds, bytes), in
    order; a line still being written is left out."""
    if not os.path.exists(path):
        return []
    out = []
    with open(path) as f:
        for line in f:
            words = line.split()
            if line.endswith("\n") and words:
                out.append((float(words[0]), bytes(int(w, 16) for w in words[1:])))
    return out


class Line:
    """The port end of the simulator's line: raw, non-blocking."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)
        self.written = 0

    def close(self):
        os.close(self.fd)

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
        """Whatever is waiting, without waiting."""
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
        """Everything that arrives within `seconds`."""
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
