"""The session recording through the real window against the simulated
sensor: Start, a rate and a gain change, markers by a click on the trace and
by F2, Stop, Start, the cable pulled and back, Stop, Exit. The recording
holds every sample sent but those the unplug took, every event at its
sample, and each Stop's record checksum; pulse-record's EDF+ export of it
reads back with EDFlib, every sample exact and one annotation per event.

session-killed: the program killed while streaming leaves a recording that
pulse-record shows and exports, holding every sample taken until well
before the kill."""

import glob
import hashlib
import os
import subprocess
import time

from pulsetest import harness, layout, recording
from pulsetest.wire import START_STREAM
from pulsetest.xwindow import Failure, wait_until

UNPLUG_AFTER = 25  # from the simulator's start: time for everything before the second Start
STEP = 300  # samples between the steps


def case_session_recording(s):
    sim, program, window = s.start_streaming("--source", "ramp", "--unplug-after", str(UNPLUG_AFTER),
                                             "--replug-after", "2", "--by-id")

    def more(count=STEP):
        sim.wait_sent(len(sim.sent()) + count, timeout=20)

    def restarts():
        return sim.received().count(START_STREAM)

    more()
    for option in ("Option4", "Option10"):  # 500 Hz, then 5x
        before = restarts()
        window.click_control(option)
        wait_until(lambda: restarts() > before, 5, "the restart after %s" % option)
        more()
    window.click(*layout.control_centre("Picture1"))
    window.focus()
    s.desktop.plain_key("F2")
    more(100)
    window.click_control("Command5")
    record1 = program.wait_record(1)
    sim.wait_sent_settled()
    window.click_control("Command1")
    if sim.unread_at_unplugs():
        raise Failure("the sensor was pulled before the second Start; raise UNPLUG_AFTER")
    wait_until(lambda: len(sim.plugged_in()) == 2, UNPLUG_AFTER + 20, "the sensor to come back")
    wait_until(lambda: not window.warning_boxes(), 15, "the lost port's box to close itself")
    more()
    window.click_control("Command5")
    record2 = program.wait_record(2)
    sent = sim.wait_sent_settled()
    window.caught_up()
    window.click_control("Command4")
    if program.wait(timeout=10) != 0:
        raise Failure("the program did not end cleanly")

    stem, samples, events = recording.only(s.workdir)
    kinds = recording.kinds(events)
    print("%d samples; events: %s" % (len(samples), kinds))
    sha = [hashlib.sha256(r).hexdigest() for r in (record1, record2)]
    expected = ["start 200 1 0", "rate 500", "gain 5", "marker 1", "marker 2", "stop 1 " + sha[0],
                "start 500 5 0", "lost", "back", "stop 2 " + sha[1]]
    if kinds != expected:
        raise Failure("the events are %s, expected %s" % (kinds, expected))
    discarded = recording.check_against_sent(samples, events, sent, sim.unread_at_unplugs())
    print("unread at the unplug %s, discarded at the changes %s" % (sim.unread_at_unplugs(), discarded))
    # Each Stop at its sample: its record is the sweep over what was taken
    # up to there, stale entries included. Bytes still on their way after a
    # Stop are drawn too, so a run ends at the next Start.
    starts = [e.sample for e in events if e.kind == "start"] + [len(samples)]
    runs = [samples[a:b] for a, b in zip(starts, starts[1:])]
    for k, (stop, record) in enumerate(zip([e for e in events if e.kind == "stop"], (record1, record2))):
        if record != layout.Sweep.record_after(*runs[:k], samples[starts[k]:stop.sample]):
            raise Failure("record %d is not the sweep at its Stop's sample %d" % (k + 1, stop.sample))

    exported, notes = edf_export(stem, s.artefacts)
    if exported != samples:
        raise Failure("the EDF+ export holds %d samples, not the %d recorded" % (len(exported), len(samples)))
    words = ["开始", "采样速率 500Hz", "放大倍率 5x", "标记 1", "标记 2", "停止 记录 1", "开始", "端口断开", "端口恢复",
             "停止 记录 2"]
    if sorted(notes) != sorted(words):
        raise Failure("the EDF+ annotations are %s, expected %s" % (notes, words))


def case_session_killed(s):
    sim, program, window = s.start_streaming("--source", "ramp")
    sim.wait_sent(300, timeout=10)
    # Taken once the window has answered; written within a second of that.
    taken = len(sim.sent())
    window.caught_up()
    time.sleep(1.5)
    window.caught_up()
    program.popen.kill()
    program.wait(timeout=10)
    stem, samples, _ = recording.only(s.workdir)
    if len(samples) < taken or not sim.sent().startswith(samples):
        raise Failure("the killed program's recording holds %d samples; %d were taken more than a second before"
                      % (len(samples), taken))
    shown = recording.pulse_record("show", stem)
    print(shown)
    if "%d 个采样" % len(samples) not in shown:
        raise Failure("pulse-record show does not count the %d samples:\n%s" % (len(samples), shown))
    exported, notes = edf_export(stem, s.artefacts)
    if exported != samples or "开始" not in notes:
        raise Failure("the EDF+ export of the killed recording holds %d samples and %s" % (len(exported), notes))


def edf_export(stem, folder):
    """pulse-record edf's files (a rate change starts the next, FILE-2.edf),
    read back with EDFlib: all their samples, and the annotations of the
    events (the detected beats and the padding left out)."""
    target = os.path.join(folder, "export.edf")
    recording.pulse_record("edf", stem, "-o", target)
    more = sorted(glob.glob(os.path.join(folder, "export-*.edf")), key=lambda p: int(p.rsplit("-", 1)[1][:-4]))
    samples, notes = bytearray(), []
    for path in [target] + more:
        p = subprocess.run([os.environ["PULSE_EDF_DUMP"], path], capture_output=True, timeout=60)
        if p.returncode != 0:
            raise Failure("EDFlib cannot read %s: %s" % (path, p.stderr.decode()))
        values, end = [], None
        for line in p.stdout.decode("utf-8").splitlines():
            words = line.split(" ")
            if words[0] == "rate":
                rate = float(words[1])
            elif words[0] == "samples":
                values = [int(v) for v in words[1:]]
            elif words[0] == "note" and words[2] == "补齐，无数据":
                end = round(float(words[1]) * rate)  # the last data record's padding starts here
            elif words[0] == "note" and words[2] != "心跳":
                notes.append(" ".join(words[2:]))
        samples += bytes(values[:end])
    return bytes(samples), notes


if __name__ == "__main__":
    harness.main({"session-recording": case_session_recording, "session-killed": case_session_killed})
