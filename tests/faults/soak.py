"""Soak: the probe build streams 960 samples/s for a long run, with a Stop
and a parameter change every minute. Not a ctest test; scripts/soak.sh runs
it and writes its figures to bench/soak-result.md.

Counting every sample: the simulator says how many it sent, the probe build
says how many the program took. A parameter change discards what waits in
the port, by design, so each minute goes: Stop (the sensor stops), wait until
the simulator has been quiet for a while and the program has had time to take
the rest, then the change, whose restart command starts the stream again.
Nothing is on the line when the change discards its input, because the
simulator writes its first batch only a write's worth of time (50 ms) after
the restart. So every sample sent must be a sample taken: sent == taken.

Usage: soak.py --program <pulse-demo-probe> --simulator <pulse-sensor-sim>
               --artefacts <folder> --minutes N --result <markdown file>
"""

import argparse
import datetime
import os
import re
import subprocess
import sys
import time

import faults
from faults import Failure, harness

LINE_RATE = 960
# 48 samples a write: one write every 50 ms at the line rate.
WRITE_SIZE = 48
RATE_1000HZ = "Option5"
# Changes that keep the rate: every gain, both baseline buttons, and the
# 1000 Hz option picked again.
CHANGES = ["Option%d" % n for n in range(6, 16)] + ["Command2", "Command3", RATE_1000HZ]
QUIET = 0.5       # the simulator has sent nothing for this long: it stopped
TAKE_TIME = 1.0   # then the program has this long to take the last bytes
RSS_EVERY = 10    # seconds between memory readings
# Resident memory may wander by this much after the first minute (allocator
# noise); a leak of even one sample's worth per Stop goes far beyond it.
RSS_FLAT_KB = 1024


def probe_samples(path):
    with open(path) as f:
        match = re.search(r"^samples (\d+)$", f.read(), re.M)
    if not match:
        raise Failure("no sample count in the probe file %s" % path)
    return int(match.group(1))


def wait_change_sent(sim, before, timeout=5):
    faults.wait_until(lambda: faults.start_signals_sent(sim) > before, timeout, "the restart after a change")


def soak(s, minutes, log):
    sim, program, window = s.start_streaming("--source", "ramp", "--write-size", str(WRITE_SIZE))

    built_from = revision()
    stops = changes = 0
    memory = []  # (seconds, VmRSS KiB)
    started = time.monotonic()

    def stop_and_settle():
        nonlocal stops
        before = faults.stop_signals_sent(sim)
        window.click_control("Command5")
        faults.wait_until(lambda: faults.stop_signals_sent(sim) > before, 5, "the stop command")
        stops += 1
        record = faults.wait_record(program, stops)
        sim.wait_sent_settled(quiet=QUIET)
        time.sleep(TAKE_TIME)
        # The first Stop comes within the first sweep; every later one after
        # a minute of uninterrupted stream.
        if stops == 1:
            faults.check_record(record, "1", max_breaks=0)
        else:
            faults.check_steady_record(record, str(stops))
        if window.warning_boxes():
            raise Failure("a warning box after Stop %d" % stops)

    def change(name):
        nonlocal changes
        before = faults.start_signals_sent(sim)
        window.click_control(name)
        wait_change_sent(sim, before)
        changes += 1

    # A short run at power-on 200 Hz, then to 1000 Hz the counted way.
    sim.wait_sent(200, timeout=10)
    stop_and_settle()
    change(RATE_1000HZ)

    next_rss = time.monotonic()
    for minute in range(1, minutes + 1):
        minute_end = started + 60 * minute
        while time.monotonic() < minute_end:
            if time.monotonic() >= next_rss:
                rss, _ = faults.memory_kb(program.pid)
                memory.append((time.monotonic() - started, rss))
                next_rss += RSS_EVERY
            faults.check_alive(program, window)
            time.sleep(min(1.0, max(0.0, minute_end - time.monotonic())))
        stop_and_settle()
        if minute < minutes:
            change(CHANGES[(minute - 1) % len(CHANGES)])
        rss, hwm = faults.memory_kb(program.pid)
        log("minute %d: %d samples sent, RSS %d KiB, peak %d KiB" % (minute, len(sim.sent()), rss, hwm))

    _, hwm = faults.memory_kb(program.pid)
    cpu = faults.cpu_seconds(program.pid)
    elapsed = time.monotonic() - started
    faults.exit_cleanly(program, window)
    sim.stop()
    match = re.search(r"^sent (\d+)$", sim.read_output(), re.M)
    sent_file = len(sim.sent())
    if not match or int(match.group(1)) != sent_file:
        raise Failure("the simulator's count (%s) and its --sent file (%d) disagree"
                      % (match and match.group(1), sent_file))
    taken = probe_samples(os.environ["PULSE_PROBE_FILE"])

    if sorted(faults.records(s.workdir)) != list(range(1, stops + 1)):
        raise Failure("record files %s after %d Stops" % (sorted(faults.records(s.workdir)), stops))
    after_first = [kb for t, kb in memory if t >= 60]
    return {
        "minutes": minutes,
        "revision": built_from,
        "elapsed": elapsed,
        "sent": sent_file,
        "taken": taken,
        "stops": stops,
        "changes": changes,
        "records": len(faults.records(s.workdir)),
        "rss_first_minute": after_first[0] if after_first else None,
        "rss_min": min(after_first) if after_first else None,
        "rss_max": max(after_first) if after_first else None,
        "rss_last": memory[-1][1] if memory else None,
        "hwm": hwm,
        "cpu": cpu,
        "memory": memory,
    }


def revision():
    """The commit checked out when the run began (and the program was built)."""
    return subprocess.run(["git", "-C", os.path.dirname(os.path.abspath(__file__)), "rev-parse", "--short", "HEAD"],
                          capture_output=True, text=True).stdout.strip()


def write_result(path, r, verdict, program):
    lines = [
        "# Soak result",
        "",
        "Written by `scripts/soak.sh` (%s, commit %s, %s)." % (
            datetime.date.today().isoformat(), r["revision"] or "?", os.path.basename(program)),
        "",
        "%d minutes streaming at the line's 960 samples/s (1000 Hz selected), a Stop and a"
        " parameter change every minute (gain, baseline or the rate picked again)." % r["minutes"],
        "",
        "| Figure | Value |",
        "|---|---|",
        "| Verdict | %s |" % verdict,
        "| Samples sent by the simulator | %d |" % r["sent"],
        "| Samples taken by the program | %d |" % r["taken"],
        "| Lost (sent - taken) | %d |" % (r["sent"] - r["taken"]),
        "| Mean rate over the run | %.1f samples/s |" % (r["sent"] / r["elapsed"]),
        "| Stops / parameter changes | %d / %d |" % (r["stops"], r["changes"]),
        "| Record files, all 1146 bytes and continuous | %d |" % r["records"],
        "| Resident memory at 1 min | %s KiB |" % r["rss_first_minute"],
        "| Resident memory after 1 min, min - max | %s - %s KiB |" % (r["rss_min"], r["rss_max"]),
        "| Resident memory at the end | %s KiB |" % r["rss_last"],
        "| Peak resident memory (VmHWM) | %d KiB |" % r["hwm"],
        "| CPU time, all threads | %.1f s (%.1f %% of one core) |" % (r["cpu"], 100 * r["cpu"] / r["elapsed"]),
        "",
        "How samples are counted: the simulator's `sent N` against the probe build's"
        " `samples N`. A parameter change discards waiting input, so each minute the"
        " stream is stopped first (Stop), the simulator is left quiet for %.1f s and the"
        " program %.1f s more to take the rest; the change's restart command then starts"
        " the stream again, and the simulator writes its first batch of %d samples only"
        " 50 ms later, after the discard. Every sample sent is then one taken." % (QUIET, TAKE_TIME, WRITE_SIZE),
        "",
    ]
    with open(path, "w") as f:
        f.write("\n".join(lines))


def main():
    parser = argparse.ArgumentParser(description="Soak of the probe build")
    parser.add_argument("--program", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--artefacts", required=True)
    parser.add_argument("--minutes", type=int, default=30)
    parser.add_argument("--result", help="markdown file for the figures")
    parser.add_argument("--displays", default=os.environ.get("PULSE_E2E_DISPLAYS", "50-59"))
    args = parser.parse_args()

    harness.exit_on_signals()
    os.makedirs(args.artefacts, exist_ok=True)
    session = harness.Session("soak", args.program, args.simulator, args.artefacts,
                              harness.display_range(args.displays))
    os.environ["PULSE_PROBE_FILE"] = os.path.join(session.artefacts, "probe.txt")

    def log(text):
        print(text, flush=True)

    failed = True
    problems = []
    try:
        r = soak(session, args.minutes, log)
        if r["sent"] != r["taken"]:
            problems.append("%d samples lost (sent %d, taken %d)" % (r["sent"] - r["taken"], r["sent"], r["taken"]))
        if r["rss_max"] is not None and r["rss_max"] - r["rss_first_minute"] > RSS_FLAT_KB:
            problems.append("resident memory grew from %d to %d KiB after the first minute"
                            % (r["rss_first_minute"], r["rss_max"]))
        verdict = "pass" if not problems else "FAIL: " + "; ".join(problems)
        log("sent %d, taken %d, verdict %s" % (r["sent"], r["taken"], verdict))
        if args.result:
            write_result(args.result, r, verdict, args.program)
            log("figures written to %s" % args.result)
        failed = bool(problems)
    except Failure as e:
        session.note("FAIL soak: %s" % e)
    finally:
        session.close(failed)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
