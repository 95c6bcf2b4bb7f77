"""The session recording through the real window against the simulated
sensor: Start, a rate and a gain change, markers by a click on the trace and
by F2, Stop, Start, the cable pulled and back, Stop, Exit. The recording
holds every sample sent but those the unplug took, every event at its
sample, and each Stop's record checksum."""

import hashlib
import os

from pulsetest import harness, layout, recording
from pulsetest.wire import INITIAL_COMMANDS, START_STREAM
from pulsetest.xwindow import Failure, wait_until

UNPLUG_AFTER = 25  # from the simulator's start: time for everything before the second Start
STEP = 300  # samples between the steps


def case_session_recording(s):
    sim, program, window = s.open_port("--source", "ramp", "--unplug-after", str(UNPLUG_AFTER), "--replug-after", "2", "--by-id")

    def more(count=STEP):
        sim.wait_sent(len(sim.sent()) + count, timeout=20)

    def restarts():
        return sim.received().count(START_STREAM)

    window.click_control("Command1")
    sim.wait_received(INITIAL_COMMANDS + START_STREAM, timeout=5)
    more()
    for option in ("Option4", "Option10"):  # 500 Hz, then 5x
        before = restarts()
        window.click_control(option)
        wait_until(lambda: restarts() > before, 5, "the restart after %s" % option)
        more()
    window.click(*layout.control_centre("Picture1"))
    window.focus()
    s.desktop.key("F2")
    more(100)
    window.click_control("Command5")
    record1 = whole_record(program, 1)
    sim.wait_sent_settled()
    window.click_control("Command1")
    if sim.unread_at_unplugs():
        raise Failure("the sensor was pulled before the second Start; raise UNPLUG_AFTER")
    wait_until(lambda: len(sim.plugged_in()) == 2, UNPLUG_AFTER + 20, "the sensor to come back")
    wait_until(lambda: not window.warning_boxes(), 15, "the lost port's box to close itself")
    more()
    window.click_control("Command5")
    record2 = whole_record(program, 2)
    sent = sim.wait_sent_settled()
    window.caught_up()
    window.click_control("Command4")
    if program.wait(timeout=10) != 0:
        raise Failure("the program did not end cleanly")

    stems = recording.stems(s.workdir)
    if len(stems) != 1:
        raise Failure("expected one recording, found %s" % stems)
    samples, events = recording.read(stems[0])
    kinds = recording.kinds(events)
    print("%d samples; events: %s" % (len(samples), kinds))
    sha = [hashlib.sha256(r).hexdigest() for r in (record1, record2)]
    expected = ["start 200 1 0", "rate 500", "gain 5", "marker 1", "marker 2", "stop 1 " + sha[0],
                "start 500 5 0", "lost", "back", "stop 2 " + sha[1]]
    if kinds != expected:
        raise Failure("the events are %s, expected %s" % (kinds, expected))
    discarded = recording.check_against_sent(samples, events, sent, sim.unread_at_unplugs())
    print("unread at the unplug %s, discarded at the changes %s" % (sim.unread_at_unplugs(), discarded))

    # Each record is the sweep as it stood at its Stop's sample: its newest
    # samples are the ones recorded just before that event.
    stops = [e for e in events if e.kind == "stop"]
    index = {line[0]: line for line in index_lines(s.workdir)}
    for stop, record in zip(stops, (record1, record2)):
        newest = int(index[stop.values[0]][7]) - 1  # entries 1 .. sample_index - 1
        if newest > 0 and record[:newest] != samples[stop.sample - newest:stop.sample]:
            raise Failure("record %s is not the sweep at its Stop's sample %d" % (stop.values[0], stop.sample))
    markers = [e.sample for e in events if e.kind == "marker"]
    gain = next(e.sample for e in events if e.kind == "gain")
    if not gain < markers[0] <= markers[1] <= stops[0].sample:
        raise Failure("the markers at %s are not between the gain change at %d and Stop at %d"
                      % (markers, gain, stops[0].sample))
    lost = next(e for e in events if e.kind == "lost")
    back = next(e for e in events if e.kind == "back")
    if back.sample != lost.sample:
        raise Failure("samples recorded while the line was lost: lost at %d, back at %d" % (lost.sample, back.sample))
    points = [e.sample for e in events if e.kind == "time"]
    if points != sorted(points) or len(points) < 5:
        raise Failure("time points %s" % points)


def whole_record(program, number, timeout=5):
    wait_until(lambda: (program.record(number) or b"").__len__() == 1146, timeout, "record %d" % number)
    return program.record(number)


def index_lines(folder):
    with open(os.path.join(folder, "index.tsv"), encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f]


if __name__ == "__main__":
    harness.main({"session-recording": case_session_recording})
