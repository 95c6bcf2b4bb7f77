#!/usr/bin/python3
"""The real simulator binary on a real pseudo-terminal, opened as a serial
port: link, replies, pacing, logs, exclusive-open clean-up, unplugging,
replugging and the exit on SIGTERM.

Usage: sim_end_to_end.py <pulse-sensor-sim>
"""
import fcntl
import os
import random
import re
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

from pulsetest.line import Line, logged, start_simulator
from pulsetest.xwindow import wait_until

SIM = sys.argv[1]
TIOCGEXCL = 0x80045440  # _IOR('T', 0x40, int): not in the termios module
RATE_TOLERANCE = 0.04
LINE_BYTES_PER_SECOND = 960
MEASURE_SECONDS = 3.0
SETTLE_SECONDS = 0.3

failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def wait_logged(log, written):
    """Until the simulator's log shows every byte written to it."""
    wait_until(lambda: b"".join(data for _, data in logged(log)) == bytes(written), 10, "the simulator to read them")


def bytes_per_second(line, stalled=None):
    """Bytes a second over MEASURE_SECONDS; with `stalled`, that simulator is
    held up for 150 ms just before, as a loaded machine does."""
    time.sleep(SETTLE_SECONDS)
    if stalled:
        stalled.send_signal(signal.SIGSTOP)
        time.sleep(0.15)
    line.read_now()
    if stalled:
        stalled.send_signal(signal.SIGCONT)
    start = time.monotonic()
    count = len(line.read_for(MEASURE_SECONDS))
    return count / (time.monotonic() - start)


def stop(sim):
    sim.send_signal(signal.SIGTERM)
    try:
        out, _ = sim.communicate(timeout=5)
    except subprocess.TimeoutExpired:
        sim.kill()
        out, _ = sim.communicate()
    return sim.returncode, out


def main_session(runtime, work):
    log = os.path.join(work, "received.log")
    sent = os.path.join(work, "sent.bin")
    sim, name, pts = start_simulator(SIM, runtime, "--serial", "1357", "--log", log, "--sent", sent)
    link = os.path.join(runtime, "pulse-demo", "ports", "COM1")
    check(name == "COM1", "ready line names COM1")
    check(os.path.islink(link) and os.readlink(link) == pts, "COM1 links to the pty named on the ready line")

    line = Line(link)
    written = bytearray()

    def send(data):
        written.extend(data)
        line.write(data)

    check(line.read_for(0.3) == b"", "nothing is sent before the start command")
    send(b" 2")
    rate = bytes_per_second(line)
    check(abs(rate - 200) <= 200 * RATE_TOLERANCE, "200 Hz gives %.1f bytes/s" % rate)

    send(b" 7")  # the parameter in a later read
    wait_logged(log, written)
    send(b"\x04")
    # The machine's own hiccups (100 ms and more, even idle) cost a window the
    # bytes the line would have carried, since catching up would outrun it: the
    # line's rate is the best of up to three windows, and none may outrun it.
    rates = []
    while len(rates) < 3 and (not rates or rates[-1] < LINE_BYTES_PER_SECOND * (1 - RATE_TOLERANCE)):
        rates.append(bytes_per_second(line, stalled=sim))
    check(abs(max(rates) - LINE_BYTES_PER_SECOND) <= LINE_BYTES_PER_SECOND * RATE_TOLERANCE
          and max(rates) <= LINE_BYTES_PER_SECOND * 1.005,
          "1000 Hz is held to the line, after a stall too: %s bytes/s" % ", ".join("%.1f" % r for r in rates))

    # Garbage, truncated commands, then stop: " 3" is understood after anything.
    noise = random.Random(7)
    send(bytes(noise.randrange(256) for _ in range(3000)) + b" 4 5 7")
    send(b" 3")
    wait_logged(log, written)
    line.read_now()
    send(b" 1")
    reply = line.read_for(0.3)
    check(reply == bytes([0xAA, 0x55, 1, 3, 5, 7]), "serial-number reply after garbage: %s" % reply.hex(" "))

    # A program killed with the port open leaves it exclusive; the simulator clears that.
    fcntl.ioctl(line.fd, termios.TIOCEXCL)
    line.close()
    time.sleep(0.2)
    line = Line(link)
    exclusive = struct.unpack("i", fcntl.ioctl(line.fd, TIOCGEXCL, struct.pack("i", 0)))[0]
    check(exclusive == 0, "exclusive-open flag cleared after the port was left open")
    send(b" 1")
    check(line.read_for(0.3) == bytes([0xAA, 0x55, 1, 3, 5, 7]), "replies after the port was reopened")
    line.close()

    code, out = stop(sim)
    check(code == 0, "exit code 0 on SIGTERM (got %s)" % code)
    check(not os.path.lexists(link), "COM1 link removed on SIGTERM")
    match = re.search(r"^sent (\d+)$", out, re.M)
    with open(sent, "rb") as f:
        sent_bytes = f.read()
    check(match is not None and int(match.group(1)) == len(sent_bytes) > 0,
          "'sent N' matches the --sent file (%s, %d bytes)" % (match and match.group(0), len(sent_bytes)))

    with open(log) as f:
        lines = f.read().splitlines()
    pattern = re.compile(r"\d+\.\d{6}( [0-9a-f]{2})+")
    check(lines and all(pattern.fullmatch(line) for line in lines), "log lines are time-stamped hex")
    logged = bytes(int(h, 16) for line in lines for h in line.split()[1:])
    check(logged == bytes(written), "the log holds every byte received, in order")
    times = [float(line.split()[0]) for line in lines]
    check(times == sorted(times), "log time stamps rise")


def unplug_session(runtime, work):
    sent = os.path.join(work, "ramp.bin")
    sim, name, pts = start_simulator(SIM, runtime, "--com", "2", "--stream", "--source", "ramp", "--write-size", "10",
                               "--unplug-after", "1.2", "--sent", sent)
    link = os.path.join(runtime, "pulse-demo", "ports", "COM2")
    check(name == "COM2" and os.readlink(link) == pts, "--com 2 links COM2")
    fd = Line(link).fd
    data = bytearray()
    hung_up = False
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        if select.select([fd], [], [], 0.5)[0]:
            try:
                chunk = os.read(fd, 65536)
            except BlockingIOError:
                continue
            except OSError:
                hung_up = True
                break
            if not chunk:
                hung_up = True
                break
            data += chunk
    os.close(fd)
    check(hung_up, "the line hangs up on --unplug-after")
    try:
        code = sim.wait(timeout=3)
    except subprocess.TimeoutExpired:
        sim.kill()
        code = None
    out = sim.stdout.read()
    check(code == 0, "exit code 0 after unplugging (got %s)" % code)
    check(not os.path.lexists(link), "COM2 link removed after unplugging")
    check(len(data) > 0 and len(data) % 10 == 0, "%d bytes received in writes of 10" % len(data))
    first = data[0] if data else 0
    check(all(b == (first + i) % 256 for i, b in enumerate(data)), "the ramp counts up without a gap")
    with open(sent, "rb") as f:
        sent_bytes = f.read()
    check(len(sent_bytes) >= len(data) and all(b == i % 256 for i, b in enumerate(sent_bytes)),
          "--sent holds the ramp from 0")
    check(re.search(r"^sent %d$" % len(sent_bytes), out, re.M) is not None, "'sent N' printed after unplugging")


def replug_session(runtime, work, by_id):
    """Unplugged and back: a new line under the same COM number, at power-up
    settings; with --by-id the COM link stays and the device name changes.
    Every sample sent is either read or counted as unread at the unplug."""
    what = "--by-id" if by_id else "plain"
    output, sent = os.path.join(work, "replug-%s.out" % what), os.path.join(work, "replug-%s.bin" % what)
    with open(output, "w") as out:
        # Margins for a busy machine: the checks between the steps must fit.
        sim = subprocess.Popen([SIM, "--com", "3", "--source", "ramp", "--unplug-after", "2",
                                "--replug-after", "3", "--sent", sent] + (["--by-id"] if by_id else []),
                               env=dict(os.environ, XDG_RUNTIME_DIR=runtime), stdout=out, stderr=subprocess.STDOUT)

    def wait_for(pattern, count):
        deadline = time.monotonic() + 10
        while True:
            with open(output) as f:
                found = re.findall(pattern, f.read(), re.M)
            if len(found) >= count or time.monotonic() > deadline:
                return found
            time.sleep(0.02)

    link = os.path.join(runtime, "pulse-demo", "ports", "COM3")
    stable = os.path.join(runtime, "pulse-demo", "by-id", "pulse-sensor-sim-COM3")
    named = stable if by_id else link

    def linked(pts):
        return os.path.realpath(link) == pts and (not by_id or os.readlink(link) == stable)

    ready = wait_for(r"^ready COM3 (/dev/pts/\d+)$", 1)
    check(ready and linked(ready[0]), "%s: COM3 leads to the first line" % what)
    line = Line(link)
    line.write(b" 2")
    first = line.read_for(0.3)  # the rest is left unread
    unread = wait_for(r"^pulse-sensor-sim: unplugged, (\d+) sample byte\(s\) unread$", 1)
    with open(sent, "rb") as f:
        before = len(f.read())
    gone = os.path.lexists(link) == by_id and not os.path.lexists(named)
    check(gone, "%s: while unplugged, %s" % (what, "COM3 stays, its stable name goes" if by_id else "COM3 goes"))
    check(unread and len(first) + int(unread[0]) == before,
          "%s: %d read + %s unread at the unplug = %d sent" % (what, len(first), unread and unread[0], before))
    line.close()

    ready = wait_for(r"^ready COM3 (/dev/pts/\d+)$", 2)
    check(len(ready) == 2 and linked(ready[1]), "%s: COM3 leads to the line that came back" % what)
    if by_id:
        check(len(ready) == 2 and ready[0] != ready[1], "--by-id: back under another name: %s" % ready)
    # Not streaming, as at power-up, until started; and this time it stays.
    line = Line(link)
    check(line.read_for(0.3) == b"", "%s: the sensor that came back waits for the start command" % what)
    line.write(b" 2")
    again = line.read_for(1)
    check(len(again) > 100 and all(b == (again[0] + i) % 256 for i, b in enumerate(again)),
          "%s: then streams, and stays (%d bytes)" % (what, len(again)))
    line.close()
    code, out = stop(sim)
    with open(sent, "rb") as f:
        total = len(f.read())
    check(code == 0 and not os.path.lexists(link) and not os.path.lexists(stable)
          and ("sent %d\n" % total) in (out or open(output).read()),
          "%s: SIGTERM ends it with code %s, links removed, every sample counted" % (what, code))


def main():
    with tempfile.TemporaryDirectory() as runtime, tempfile.TemporaryDirectory() as work:
        os.chmod(runtime, 0o700)
        main_session(runtime, work)
        unplug_session(runtime, work)
        replug_session(runtime, work, by_id=False)
        replug_session(runtime, work, by_id=True)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
