"""A sensor sending as fast as the line takes bytes: the window keeps
answering clicks, memory stays bounded, and the records stay whole.

How fast the window answers: a click on a gain option sends the stop command
first, so the time from the click to the simulator's log showing 20 33 is how
long the click waited for the program (plus a few milliseconds of polling
the log; faults.timed_click). Several clicks, spread over the flood."""

import time

import faults
from faults import Failure, STOP_STREAM

FLOOD_SECONDS = faults.seconds_setting("PULSE_FAULTS_FLOOD_SECONDS", 30)
CLICK_EVERY = 2.5
# A window that has stopped answering, not a figure: how fast it answers is
# the bench's to measure (BENCHMARKS.md), on a machine doing nothing else.
ANSWER_WITHIN = 1.0
# Generous: the program idles at about 45 MB here. A backlog kept in memory
# would pass this within seconds at flood rates.
HWM_LIMIT_KB = 80 * 1024
# The last stretch of the flood in which resident memory must not grow.
STEADY_SECONDS = min(10, FLOOD_SECONDS / 2)
STEADY_SLACK_KB = 1024
GAINS = ["Option%d" % n for n in range(6, 16)]


def case_flood(s):
    sim, program, window = faults.streaming_session(s, "--unpaced")
    faults.wait_until(lambda: sim.sent_so_far() > 100000, 10, "the flood to begin")
    started = time.monotonic()
    answers, memory = [], []
    next_click = started + 1
    cpu0 = faults.cpu_seconds(program.pid)
    while time.monotonic() - started < FLOOD_SECONDS:
        rss, _ = faults.memory_kb(program.pid)
        memory.append((time.monotonic() - started, rss))
        if time.monotonic() >= next_click:
            gain = GAINS[len(answers) % len(GAINS)]
            answers.append(faults.timed_click(window, sim, gain))
            next_click += CLICK_EVERY
        faults.check_alive(program, window)
        time.sleep(0.5)
    elapsed = time.monotonic() - started
    cpu = (faults.cpu_seconds(program.pid) - cpu0) / elapsed
    _, hwm = faults.memory_kb(program.pid)
    sent_during = sim.sent_so_far()

    print("answers to %d clicks: %s ms" % (len(answers), " ".join("%.0f" % (a * 1000) for a in answers)))
    print("%.0f kB/s sent over %.0f s; the program used %.0f %% of a core; VmHWM %d KiB"
          % (sent_during / 1000 / (elapsed + 1), elapsed, cpu * 100, hwm))
    late = [a for a in answers if a > ANSWER_WITHIN]
    if late:
        raise Failure("%d of %d clicks waited longer than %d ms: %s" % (
            len(late), len(answers), ANSWER_WITHIN * 1000, ", ".join("%.0f ms" % (a * 1000) for a in late)))
    if len(answers) < 3:
        raise Failure("only %d clicks measured" % len(answers))

    early = [kb for t, kb in memory if t < elapsed - STEADY_SECONDS]
    steady = [kb for t, kb in memory if t >= elapsed - STEADY_SECONDS]
    print("resident memory: %d KiB before the last %.0f s, at most %d KiB in them"
          % (max(early), STEADY_SECONDS, max(steady)))
    if faults.SANITIZED:
        print("a sanitizer build: memory figures reported only")
    else:
        if hwm > HWM_LIMIT_KB:
            raise Failure("peak resident memory %d KiB, over %d KiB" % (hwm, HWM_LIMIT_KB))
        if max(steady) > max(early) + STEADY_SLACK_KB:
            raise Failure("resident memory still grows: %d KiB, then %d KiB in the last %.0f s"
                          % (max(early), max(steady), STEADY_SECONDS))

    # Stop mid-flood: the record is a snapshot of the sweeps, whole.
    window.click_control("Command5")
    faults.wait_until(lambda: sim.received().endswith(STOP_STREAM), 5, "the stop command")
    faults.check_steady_record(program.wait_record(1), "1")
    window.expect_no_warning("during the flood")
    faults.exit_cleanly(program, window)


if __name__ == "__main__":
    faults.main({"flood": case_flood})
