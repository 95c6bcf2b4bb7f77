"""A records folder that cannot take the session recording, in one run of
the program: a file where the sessions folder goes at Start, the sessions
folder moved away while streaming, and a full disk under it mid-recording. Each
time: one warning, the trace and the records go on, what was written stays
readable, and the next Start records again."""

import contextlib
import os

import faults
from faults import Failure, recording
from test_saving import can_mount, fill_up, mount, unmount

SAMPLES = 300


def stop_saves(s, sim, program, window, number):
    """Stop saves its record with no warning: records do not need the recording."""
    window.click_control("Command5")
    faults.check_record(program.wait_record(number), str(number))
    sim.wait_sent_settled()
    window.caught_up()
    window.expect_no_warning("after Stop %d" % number)


def start_recording(s, sim, window):
    """Start records again: a new recording that takes the samples."""
    before = len(recording.stems(s.workdir))
    window.click_control("Command1")
    sim.wait_sent(len(sim.sent()) + SAMPLES, timeout=10)
    window.caught_up()
    window.expect_no_warning("after a Start that could record")
    stems = recording.stems(s.workdir)
    faults.wait_until(lambda: len(recording.read(recording.stems(s.workdir)[-1])[0]) > 0, 5, "recorded samples")
    if len(stems) != before + 1:
        raise Failure("recordings %s after a Start" % stems)
    return stems[-1]


def readable_part_of(stem, sim):
    samples, _ = recording.read(stem)
    if not samples or samples not in sim.sent():
        raise Failure("%s holds %d samples, not a stretch of those sent" % (stem, len(samples)))


def case_recording_faults(s):
    sessions = os.path.join(s.workdir, recording.FOLDER)
    with open(sessions, "wb"):
        pass  # a file in the folder's place
    sim, program, window = faults.streaming_session(s)
    faults.expect_one_warning(window, timeout=10, label="cannot-begin")
    faults.wait_plotting(window)
    stop_saves(s, sim, program, window, 1)

    os.remove(sessions)
    first = start_recording(s, sim, window)
    # Moved away, so that what was written can be read where it went.
    aside = os.path.join(s.artefacts, "sessions-moved")
    os.rename(sessions, aside)
    first = os.path.join(aside, os.path.basename(first))
    faults.expect_one_warning(window, timeout=10, label="folder-removed")
    faults.wait_plotting(window)
    stop_saves(s, sim, program, window, 2)

    if not can_mount(s.workdir):
        print("no small file system can be mounted here: the full disk is left out")
        faults.exit_cleanly(program, window)
        readable_part_of(first, sim)
        return
    with contextlib.ExitStack() as cleanup:
        os.mkdir(sessions)
        if mount("-t", "tmpfs", "-o", "size=64k", "tmpfs", sessions).returncode != 0:
            raise Failure("mount tmpfs on the sessions folder failed")
        cleanup.callback(unmount, sessions)
        window.click_control("Option5")  # 1000 Hz: the files' last pages fill within seconds
        second = start_recording(s, sim, window)
        filler = os.path.join(sessions, "filler")
        fill_up(filler)
        faults.expect_one_warning(window, timeout=20, label="disk-full")
        faults.wait_plotting(window)
        stop_saves(s, sim, program, window, 3)
        readable_part_of(second, sim)
        os.remove(filler)
        third = start_recording(s, sim, window)
        readable_part_of(third, sim)
        faults.exit_cleanly(program, window)
    readable_part_of(first, sim)


if __name__ == "__main__":
    faults.main({"recording-faults": case_recording_faults})
