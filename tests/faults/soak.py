"""Soak: the probe build streams 960 samples/s for a long run, with a Stop
and a parameter change every minute, and the simulated sensor pulled out
while streaming and plugged back in every few minutes. Not a ctest test;
scripts/soak.sh runs it and writes its figures to bench/soak-result.md.

Counting every sample: the simulator says how many it sent, the probe build
says how many the program took. A parameter change discards what waits in
the port, by design, so each minute goes: Stop (the sensor stops), wait until
the simulator has been quiet for a while and the program has caught up, then
the change, whose restart command starts the stream again. The change
discards its input before that restart, so nothing sent after it is lost,
however late the program runs again on a loaded machine. At an
unplug the simulator reads away what the program had not read yet and says
how much that was: those samples went with the cable. Every other sample
sent must be a sample taken: sent == taken + unread at the unplugs.

The session recording is read back at the end: it must hold every sample
sent, in order, but those unread at each unplug (at its Lost event), and
every Stop's event must carry its record's name and checksum.

The program reconnects by itself: after its one warning it watches COM1
(linked through a stable name, as /dev/serial/by-id links an adapter, so the
device comes back under another name), reopens it when the device is back,
sends the window's gain, baseline and rate and, as it was streaming, Start;
the warning box closes itself. Nobody picks the port.

Usage: soak.py --program <pulse-demo-probe> --simulator <pulse-sensor-sim>
               --artefacts <folder> [--minutes N] [--plugged MINUTES]
               [--unplugged SECONDS] [--short] --result <markdown file>
"""

import argparse
import datetime
import hashlib
import math
import os
import statistics
import subprocess
import sys
import time

import faults
from faults import Failure, harness, recording, START_STREAM

LINE_RATE = 960
# 48 samples a write: one write every 50 ms at the line rate.
WRITE_SIZE = 48
RATE_1000HZ = "Option5"
RATES_HZ = [200, 300, 400, 500, 1000]
BASELINE_LEVELS = 6
# Changes that keep the rate: every gain, both baseline buttons, and the
# 1000 Hz option picked again.
CHANGES = ["Option%d" % n for n in range(6, 16)] + ["Command2", "Command3", RATE_1000HZ]
QUIET = 0.5       # the simulator has sent nothing for this long: it stopped
RSS_EVERY = 10    # seconds between memory and CPU readings
# Resident memory may wander by this much after the first minute (allocator
# noise); a leak of even one sample's worth per Stop goes far beyond it.
RSS_FLAT_KB = 1024
# A Stop and a change take a few seconds; none starts this close to an unplug.
GUARD = 15
# The first Stop after a reconnect comes at least this long after it, so its
# record holds two sweeps of the new stream.
AFTER_RECONNECT = 10
# From the device coming back to the warning box closing itself.
RECONNECT_TIMEOUT = 30
# CPU share over one reading interval may wander this far above the run's
# median (percentage points) before it counts as growing.
CPU_FLAT_POINTS = 1.0
SHORT = {"minutes": 5, "plugged": 1.5, "unplugged": 5}


class Sensor:
    """What the window shows, and so what the sensor must be set to."""

    def __init__(self):
        self.rate, self.gain, self.baseline = 0, 0, 0  # after a pick: 200 Hz, 1x, 0

    def clicked(self, name):
        if name == "Command2":
            self.baseline = (self.baseline + 1) % BASELINE_LEVELS
        elif name == "Command3":
            self.baseline = (self.baseline - 1) % BASELINE_LEVELS
        elif name == RATE_1000HZ:
            self.rate = 4
        else:
            self.gain = int(name[len("Option"):]) - 6

    def commands(self):
        """The three settings as the sensor's commands."""
        return [b" 4" + bytes([self.gain]), b" 5" + bytes([self.baseline]), b" 7" + bytes([self.rate])]

    def index_fields(self):
        """rate_hz, gain and baseline as the index line gives them."""
        return [str(RATES_HZ[self.rate]), str(self.gain + 1), str(self.baseline)]


class Soak:
    def __init__(self, s, minutes, plugged, unplugged, log):
        self.s, self.minutes, self.plugged, self.log = s, minutes, plugged, log
        self.replugs = int(minutes * 60 // plugged) + 2
        self.plugged_at = time.monotonic()  # a little before the simulator counts from
        self.sim, self.program, self.window = s.start_streaming(
            "--source", "ramp", "--write-size", str(WRITE_SIZE), "--by-id", "--unplug-after", str(plugged),
            "--replug-after", str(unplugged), "--replugs", str(self.replugs))
        self.sensor = Sensor()
        self.stops = self.changes = 0
        self.made = {}  # record number: the index fields its Stop should write
        self.reconnects = []  # (back to Start received, back to first new sample drawn), seconds
        self.looks = []  # how long each look at the screen for new samples took, seconds
        self.readings = []  # (seconds, VmRSS KiB, CPU seconds)
        # Seconds from the start until every kind of work (Stop, change,
        # warning box, reconnect) had run once: memory is judged from then.
        self.warm = None
        self.started = time.monotonic()

    # One minute's work

    def stop_and_settle(self):
        sim = self.sim
        before = faults.stop_signals_sent(sim)
        self.window.click_control("Command5")
        faults.wait_until(lambda: faults.stop_signals_sent(sim) > before, 5, "the stop command")
        self.stops += 1
        self.made[self.stops] = self.sensor.index_fields()
        record = self.program.wait_record(self.stops)
        sim.wait_sent_settled(quiet=QUIET)
        self.window.caught_up()  # it has taken the last samples
        # The first Stop comes within the first sweep; every later one after
        # a minute, or at least two sweeps since a reconnect, of unbroken stream.
        if self.stops == 1:
            faults.check_record(record, "1", max_breaks=0)
        else:
            faults.check_steady_record(record, str(self.stops))
        self.window.expect_no_warning("after Stop %d" % self.stops)

    def change(self, name):
        before = faults.start_signals_sent(self.sim)
        self.window.click_control(name)
        faults.wait_until(lambda: faults.start_signals_sent(self.sim) > before, 5, "the restart after a change")
        self.sensor.clicked(name)
        self.changes += 1

    # The cable

    def unplug_and_back(self):
        """The line has gone: one warning, then the device back and the
        program on it again by itself, streaming."""
        sim, window = self.sim, self.window
        plug = len(sim.plugged_in())
        window.wait_warning(10)
        window.caught_up()
        if len(window.warning_boxes()) != 1:
            raise Failure("%d warning boxes after unplug %d" % (len(window.warning_boxes()), plug))
        heard = len(sim.received())
        faults.wait_until(lambda: len(sim.plugged_in()) > plug, 60, "the sensor to come back", interval=0.02)
        back = time.monotonic()
        self.plugged_at = back
        if len(window.warning_boxes()) > 1:
            raise Failure("%d warning boxes while the sensor was away" % len(window.warning_boxes()))

        def box_closed():
            return not window.warning_boxes()

        try:
            faults.wait_until(box_closed, RECONNECT_TIMEOUT, "the box", interval=0.05)
        except Failure:
            raise Failure("the warning box is still open %d s after COM1 came back (as %s): the program did not "
                          "reconnect by itself" % (RECONNECT_TIMEOUT, sim.plugged_in()[-1])) from None

        def restarted():
            new = sim.received()[heard:]
            return new.rfind(START_STREAM) > max(new.rfind(c) for c in self.sensor.commands())

        faults.wait_until(restarted, RECONNECT_TIMEOUT, "the window's settings and Start on the new line",
                          interval=0.02)
        started = time.monotonic()
        # Where the box was is repainted by now; the first samples come 50 ms
        # after the Start.
        window.caught_up()
        surface = window.surface().rgb

        def drawn():
            looked = time.monotonic()
            changed = window.surface().rgb != surface
            self.looks.append(time.monotonic() - looked)
            return changed

        faults.wait_until(drawn, 10, "new samples drawn after the reconnect", interval=0)
        self.reconnects.append((started - back, time.monotonic() - back))
        if self.warm is None:
            self.warm = time.monotonic() - self.started
        faults.check_alive(self.program, window)
        new = sim.received()[heard:]
        missing = [c.hex(" ") for c in self.sensor.commands() if c not in new]
        if missing:
            raise Failure("after reconnect %d the sensor got %s, without %s" % (plug, new.hex(" "), missing))
        self.log("reconnect %d (%s): Start %.2f s and first sample drawn %.2f s after the device was back"
                 % (plug, sim.plugged_in()[-1], *self.reconnects[-1]))

    # The run

    def read_meters(self):
        rss, _ = faults.memory_kb(self.program.pid)
        self.readings.append((time.monotonic() - self.started, rss, faults.cpu_seconds(self.program.pid)))

    def run(self):
        # A short run at power-on 200 Hz, then to 1000 Hz the counted way.
        self.sim.wait_sent(200, timeout=10)
        self.stop_and_settle()
        self.change(RATE_1000HZ)

        end = self.started + 60 * self.minutes
        next_action = self.started + 60
        next_reading = time.monotonic()
        while True:
            now = time.monotonic()
            if now >= next_reading:
                self.read_meters()
                next_reading += RSS_EVERY
            faults.check_alive(self.program, self.window)
            if len(self.sim.unread_at_unplugs()) >= len(self.sim.plugged_in()):
                self.unplug_and_back()
                next_action = max(next_action, time.monotonic() + AFTER_RECONNECT)
                continue
            unplug_due = self.plugged_at + self.plugged
            clear = now + GUARD < unplug_due or len(self.sim.plugged_in()) > self.replugs
            if (now >= next_action or now >= end) and clear:
                self.stop_and_settle()
                if now < end:
                    self.change(CHANGES[(self.changes - 1) % len(CHANGES)])
                rss, hwm = faults.memory_kb(self.program.pid)
                self.log("minute %.0f: %d samples sent, %d reconnects, RSS %d KiB, peak %d KiB"
                         % ((now - self.started) / 60, self.sim.sent_so_far(), len(self.reconnects), rss, hwm))
                if now >= end:
                    break
                next_action += 60
            time.sleep(0.2)
        return self.finish()

    def finish(self):
        s, sim, program = self.s, self.sim, self.program
        self.read_meters()
        _, hwm = faults.memory_kb(program.pid)
        elapsed = time.monotonic() - self.started
        faults.exit_cleanly(program, self.window)
        sim.stop()
        sent = sim.sent_count()
        taken = harness.probe_counters(os.environ["PULSE_PROBE_FILE"])["samples"]
        check_records(s.workdir, self.made)
        recorded = check_recording(s.workdir, sim.sent(), sim.unread_at_unplugs(), self.stops)
        return {
            "minutes": self.minutes,
            "plugged": self.plugged,
            "revision": revision(),
            "elapsed": elapsed,
            "sent": sent,
            "taken": taken,
            "unread": sum(sim.unread_at_unplugs()),
            "unplugs": len(sim.unread_at_unplugs()),
            "recorded": recorded,
            "reconnects": self.reconnects,
            "look": statistics.median(self.looks) if self.looks else 0,
            "stops": self.stops,
            "changes": self.changes,
            "records": len(self.made),
            "hwm": hwm,
            "readings": self.readings,
            "warm": self.warm if self.warm is not None else 60,
        }


def check_records(folder, made):
    """Every record whole, and one index line for it that holds its checksum
    and the settings the window showed at its Stop."""
    records = faults.records(folder)
    if sorted(records) != sorted(made):
        raise Failure("record files %s after %d Stops" % (sorted(records), len(made)))
    lines = faults.index_lines(folder)
    header, lines = lines[0], lines[1:]
    column = {name: i for i, name in enumerate(header)}
    for number, fields in made.items():
        faults.check_record(records[number], str(number))
        mine = [line for line in lines if line[column["record"]] == str(number)]
        if len(mine) != 1:
            raise Failure("%d index lines for record %d" % (len(mine), number))
        line = mine[0]
        if line[column["sha256"]] != hashlib.sha256(records[number]).hexdigest():
            raise Failure("record %d does not match the checksum on its index line" % number)
        if [line[column[c]] for c in ("rate_hz", "gain", "baseline")] != fields:
            raise Failure("record %d: its index line says %s, the window showed %s" % (number, line, fields))
    if len(lines) != len(made):
        raise Failure("%d index lines for %d records" % (len(lines), len(made)))


def check_recording(folder, sent, unread, stops):
    """The one recording holds what was sent but what the unplugs took, and
    each Stop's event names its record with its checksum. Returns how many
    samples it holds."""
    _, samples, events = recording.only(folder)
    recording.check_against_sent(samples, events, sent, unread)
    marks = [e.values for e in events if e.kind == "stop"]
    if len(marks) != stops:
        raise Failure("%d stop events for %d Stops" % (len(marks), stops))
    for name, digest in marks:
        with open(os.path.join(folder, name), "rb") as f:
            if hashlib.sha256(f.read()).hexdigest() != digest:
                raise Failure("record %s does not match the checksum at its stop event" % name)
    return len(samples)


def intervals(readings, minutes=10):
    """(minute, RSS KiB, CPU % of a core) at the end of every `minutes`."""
    out, last = [], readings[0]
    for t, rss, cpu in readings[1:]:
        if t - last[0] >= 60 * minutes or (t, rss, cpu) == readings[-1]:
            out.append((t / 60, rss, 100 * (cpu - last[2]) / (t - last[0])))
            last = (t, rss, cpu)
    return out


def settled_rss(r):
    """Resident memory, KiB, from when every kind of work had run once."""
    return [kb for t, kb, _ in r["readings"] if t >= r["warm"]]


def judge(r):
    problems = []
    lost = r["sent"] - r["taken"] - r["unread"]
    if lost:
        problems.append("%d samples lost outside the unplugged spans (sent %d, taken %d, unread at unplugs %d)"
                        % (lost, r["sent"], r["taken"], r["unread"]))
    if r["recorded"] != r["taken"]:
        problems.append("%d samples recorded, %d drawn" % (r["recorded"], r["taken"]))
    if len(r["reconnects"]) != r["unplugs"]:
        problems.append("%d reconnects after %d unplugs" % (len(r["reconnects"]), r["unplugs"]))
    settled = settled_rss(r)
    if settled and max(settled) - settled[0] > RSS_FLAT_KB:
        problems.append("resident memory grew from %d to %d KiB after minute %.1f"
                        % (settled[0], max(settled), r["warm"] / 60))
    shares = [share for _, _, share in intervals(r["readings"], 1)]
    if len(shares) > 2 and max(shares[1:]) > statistics.median(shares) + CPU_FLAT_POINTS:
        problems.append("CPU share rose to %.1f %% of a core, median %.1f %%"
                        % (max(shares[1:]), statistics.median(shares)))
    return "pass" if not problems else "FAIL: " + "; ".join(problems)


def revision():
    """The commit checked out when the run began (and the program was built)."""
    return subprocess.run(["git", "-C", os.path.dirname(os.path.abspath(__file__)), "rev-parse", "--short", "HEAD"],
                          capture_output=True, text=True).stdout.strip()


def write_result(path, r, verdict, program, command):
    cpu = r["readings"][-1][2]
    starts = [a for a, _ in r["reconnects"]]
    drawn = [b for _, b in r["reconnects"]]

    def spread(values):
        if not values:
            return "-"
        return "%.2f / %.2f / %.2f s" % (min(values), statistics.median(values), max(values))

    settled = settled_rss(r)
    first_minute = [kb for t, kb, _ in r["readings"] if t < 60]
    lines = [
        "# Soak result",
        "",
        "Written by `scripts/soak.sh` (%s, commit %s, %s): `%s`." % (
            datetime.date.today().isoformat(), r["revision"] or "?", os.path.basename(program), command),
        "",
        "%d minutes streaming at the line's 960 samples/s (1000 Hz selected), a Stop and a parameter change"
        " every minute (gain, baseline or the rate picked again), and the sensor pulled out while streaming"
        " every %g minute%s and plugged back in, under another device name behind the same COM1." % (
            r["minutes"], r["plugged"] / 60, "" if r["plugged"] == 60 else "s"),
        "",
        "| Figure | Value |",
        "|---|---|",
        "| Verdict | %s |" % verdict,
        "| Samples sent by the simulator | %d |" % r["sent"],
        "| Samples drawn by the program | %d |" % r["taken"],
        "| Unread when the cable was pulled | %d |" % r["unread"],
        "| Lost outside the unplugged spans (sent - drawn - unread) | %d |" % (r["sent"] - r["taken"] - r["unread"]),
        "| Samples in the session recording, each the one sent | %d |" % r["recorded"],
        "| Mean rate over the run | %.1f samples/s |" % (r["sent"] / r["elapsed"]),
        "| Unplugs / reconnects made | %d / %d |" % (r["unplugs"], len(r["reconnects"])),
        "| Device back to Start received, min / median / max | %s |" % spread(starts),
        "| Device back to first new sample drawn, min / median / max | %s |" % spread(drawn),
        "| Stops / parameter changes | %d / %d |" % (r["stops"], r["changes"]),
        "| Record files, all 1146 bytes, continuous and matching their index line and their stop event | %d |"
        % r["records"],
        "| Resident memory after the first reconnect (minute %.1f), min - max | %s - %s KiB |" % (
            r["warm"] / 60, min(settled, default="-"), max(settled, default="-")),
        "| Resident memory in the first minute, min - max | %s - %s KiB |" % (
            min(first_minute, default="-"), max(first_minute, default="-")),
        "| Peak resident memory (VmHWM) | %d KiB |" % r["hwm"],
        "| CPU time, all threads | %.1f s (%.1f %% of one core) |" % (cpu, 100 * cpu / r["elapsed"]),
        "",
        "Over time:",
        "",
        "| Minute | Resident memory | CPU over the interval |",
        "|---|---|---|",
    ]
    # About a dozen rows, whatever the length of the run.
    lines += ["| %.0f | %d KiB | %.1f %% |" % row for row in intervals(r["readings"], max(1, round(r["minutes"] / 12)))]
    lines += [
        "",
        "How samples are counted: the simulator's `sent N` against the probe build's `samples N`, less what the"
        " simulator found unread on the line at each unplug. A parameter change discards waiting input, so each"
        " minute the stream is stopped first (Stop), the simulator is left quiet for %.1f s and the program"
        " catches up; the change then discards, and its restart command starts the stream again, in writes of"
        " %d samples. The reconnect delays are measured from"
        " when the harness saw the device back (its ready line) to the Start in the simulator's log and to the"
        " first change of the trace on screen, to within one look at the screen (%.0f ms on median)."
        % (QUIET, WRITE_SIZE, 1000 * r["look"]),
        "",
    ]
    with open(path, "w") as f:
        f.write("\n".join(lines))


def main():
    parser = argparse.ArgumentParser(description="Soak of the probe build, with replugs")
    parser.add_argument("--program", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--artefacts", required=True)
    parser.add_argument("--minutes", type=float, default=120)
    parser.add_argument("--plugged", type=float, default=3, help="minutes from plugging in to the next unplug")
    parser.add_argument("--unplugged", type=float, default=10, help="seconds the sensor stays away")
    parser.add_argument("--short", action="store_true",
                        help="a trial: %(minutes)d minutes, unplugged every %(plugged)g for %(unplugged)d s" % SHORT)
    parser.add_argument("--result", help="markdown file for the figures")
    parser.add_argument("--displays", default=os.environ.get("PULSE_E2E_DISPLAYS", "50-59"))
    args = parser.parse_args()
    if args.short:
        args.minutes, args.plugged, args.unplugged = SHORT["minutes"], SHORT["plugged"], SHORT["unplugged"]
    command = os.environ.get("SOAK_COMMAND") or " ".join(sys.argv)

    harness.exit_on_signals()
    os.makedirs(args.artefacts, exist_ok=True)
    session = harness.Session("soak", args.program, args.simulator, args.artefacts,
                              harness.display_range(args.displays))
    os.environ["PULSE_PROBE_FILE"] = os.path.join(session.artefacts, "probe.txt")

    def log(text):
        print(text, flush=True)

    failed = True
    try:
        r = Soak(session, args.minutes, math.ceil(args.plugged * 60), args.unplugged, log).run()
        verdict = judge(r)
        log("sent %d, drawn %d, unread at %d unplugs %d, verdict %s"
            % (r["sent"], r["taken"], r["unplugs"], r["unread"], verdict))
        if args.result:
            write_result(args.result, r, verdict, args.program, command)
            log("figures written to %s" % args.result)
        failed = verdict != "pass"
    except Failure as e:
        session.note("FAIL soak: %s" % e)
    finally:
        session.close(failed)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
