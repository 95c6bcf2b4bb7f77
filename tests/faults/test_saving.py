"""A Stop whose record cannot be saved: a working directory that cannot be
written, a full file system, an earlier "1" that cannot be renamed to its
backup (a folder named "1" is tst_session's). Each time: one warning, no
partial file, an earlier file of that name left as it was, and once the
cause is gone the next Stop saves under the same number, keeping the
earlier file as "1.~1~".

Each case streams a short ramp (less than a sweep) first, so that the record
saved in the end has a known content: the samples sent, from the second on.

And two launches in one folder: the second session's "1" keeps the first's
as "1.~1~", and pulse-record reads from the index how each was made."""

import contextlib
import os
import re
import subprocess

import faults
from faults import Failure, RECORD_SIZE
from pulsetest import recording

SAMPLES = 300
# An earlier run's file "1": longer than a record, so a save that wrote in
# place would show its tail.
EARLIER = b"\x55" * 2000
SMALL_FS = "size=64k"


def mount(*args):
    return subprocess.run(["mount", *args], capture_output=True, text=True)


def unmount(path):
    # Lazily: the program's working directory is inside.
    subprocess.run(["umount", "-l", path], capture_output=True)


def can_mount(workdir):
    """Whether this machine lets the tests mount (root with the capability);
    PULSE_FAULTS_NO_MOUNT=1 tries the fallbacks where it does."""
    if os.geteuid() != 0 or os.environ.get("PULSE_FAULTS_NO_MOUNT") == "1":
        return False
    probe = os.path.join(workdir, "..", "mount-probe")
    os.makedirs(probe, exist_ok=True)
    ok = mount("-t", "tmpfs", "-o", "size=4k", "tmpfs", probe).returncode == 0
    if ok:
        unmount(probe)
    os.rmdir(probe)
    return ok


def fill_up(path):
    """Writes `path` until its file system is full."""
    fd = os.open(path, os.O_WRONLY | os.O_CREAT, 0o644)
    with contextlib.suppress(OSError):
        while True:
            os.write(fd, bytes(4096))
    os.close(fd)


class WriteShim:
    """Makes the program's writes (or renames) in its working directory fail
    while a flag file exists (a preloaded library), where nothing can be
    mounted or nothing else can stop a rename; with `how` "slow", makes its
    syncs of session recordings slow instead."""

    def __init__(self, s, what="writes", how="fail"):
        print("a preloaded library makes the %s %s" % (what, how))
        self.flag = os.path.join(s.artefacts, how + "-" + what)
        os.environ["PULSE_FAIL_WRITES_IN"] = os.path.realpath(s.workdir)
        os.environ["PULSE_%s_%s_WHILE" % (how.upper(), what.upper())] = self.flag
        self.log = os.path.join(s.artefacts, "slow-syncs.log")
        if how == "slow":
            os.environ["PULSE_SLOW_SYNCS_LOG"] = self.log
        start_program = s.start_program

        def start_with_shim():
            # Only the program carries it; a sanitizer runtime otherwise
            # insists on coming first.
            saved = dict(os.environ)
            os.environ["LD_PRELOAD"] = os.environ["PULSE_FAULTS_WRITE_SHIM"]
            os.environ["ASAN_OPTIONS"] = ":".join(
                filter(None, [os.environ.get("ASAN_OPTIONS"), "verify_asan_link_order=0"]))
            try:
                return start_program()
            finally:
                os.environ.clear()
                os.environ.update(saved)

        s.start_program = start_with_shim

    def slow_syncs(self):
        """(start, end) of every slow sync so far, in time.monotonic() seconds."""
        if not os.path.exists(self.log):
            return []
        with open(self.log) as log:
            return [tuple(float(t) for t in line.split()) for line in log if line.strip()]

    def fail(self, on):
        if on:
            open(self.flag, "w").close()
        elif os.path.exists(self.flag):
            os.remove(self.flag)


def record_and_stop(s, prepare, break_save, mend, expect_before, expect_after_failure, earlier=None,
                    recording_fails=False):
    """The common sequence; `break_save` and `mend` put the cause in place
    and take it away, `prepare` runs before the program starts. `earlier` is
    the file "1" that the first good save keeps as a backup. Where the cause
    stops the session recording too, its one warning comes first."""
    prepare()
    sim, program, window = faults.streaming_session(s)
    sim.wait_sent(SAMPLES, timeout=10)
    if faults.directory_files(s.workdir) != expect_before:
        raise Failure("the working directory holds %s before any Stop" % faults.directory_files(s.workdir))

    break_save()
    if recording_fails:
        faults.expect_one_warning(window, timeout=10, label="cannot-record")
    before = faults.stop_signals_sent(sim)
    window.click_control("Command5")
    try:
        faults.expect_one_warning(window, timeout=5, label="cannot-save")
    except Failure as e:
        # Without a warning, what happened to the files says more.
        expect_after_failure()
        raise e
    if faults.stop_signals_sent(sim) != before + 1:
        raise Failure("the stop command did not go out before the failed save")
    expect_after_failure()

    # The stream has stopped; the program takes its last samples.
    sent = sim.wait_sent_settled()
    window.caught_up()
    mend()
    window.click_control("Command5")
    expected = faults.layout.Sweep.record_after(sent)
    faults.check_record(program.wait_record(1), "1", expected=expected)
    window.expect_no_warning("after a save that worked")
    # The number moves on only now, and two Stops with nothing between agree.
    window.click_control("Command5")
    faults.check_record(program.wait_record(2), "2", expected=expected)
    if sorted(faults.records(s.workdir)) != [1, 2]:
        raise Failure("the working directory holds %s" % faults.directory_files(s.workdir))
    if faults.backups(s.workdir) != ({"1.~1~": earlier} if earlier else {}):
        raise Failure("backups after the saves: %s" % sorted(faults.backups(s.workdir)))
    if [line[0] for line in faults.index_lines(s.workdir)] != ["record", "1", "2"]:
        raise Failure("the index holds %s" % faults.index_lines(s.workdir))
    faults.exit_cleanly(program, window)


def leaves_earlier_file(s, expected=("1",)):
    def check():
        if faults.directory_files(s.workdir) != list(expected):
            raise Failure("after the failed save the working directory holds %s"
                          % faults.directory_files(s.workdir))
        with open(os.path.join(s.workdir, "1"), "rb") as f:
            if f.read() != EARLIER:
                raise Failure('the earlier file "1" was replaced by a failed save (%d bytes now)'
                              % os.path.getsize(os.path.join(s.workdir, "1")))
    return check


def write_earlier(s):
    with open(os.path.join(s.workdir, "1"), "wb") as f:
        f.write(EARLIER)


def case_read_only_dir(s):
    """Root writes through permissions, so the folder is made read-only by
    remounting a bind mount of it (or, for other users, by its mode)."""
    with contextlib.ExitStack() as cleanup:
        root = os.geteuid() == 0
        if root and can_mount(s.workdir):
            if mount("--bind", s.workdir, s.workdir).returncode != 0:
                raise Failure("bind mount failed")
            cleanup.callback(unmount, s.workdir)

            def read_only(on):
                flag = "remount,bind," + ("ro" if on else "rw")
                result = mount("-o", flag, s.workdir)
                if result.returncode != 0:
                    raise Failure("mount -o %s: %s" % (flag, result.stderr))
        elif not root:
            def read_only(on):
                os.chmod(s.workdir, 0o555 if on else 0o755)
            cleanup.callback(read_only, False)
        else:
            shim = WriteShim(s)
            cleanup.callback(shim.fail, False)
            read_only = shim.fail

        record_and_stop(s, lambda: write_earlier(s), lambda: read_only(True), lambda: read_only(False),
                        ["1"], leaves_earlier_file(s), EARLIER, recording_fails=root)


def case_disk_full(s):
    filler = os.path.join(s.workdir, "filler")
    with contextlib.ExitStack() as cleanup:
        if can_mount(s.workdir):
            result = mount("-t", "tmpfs", "-o", SMALL_FS, "tmpfs", s.workdir)
            if result.returncode != 0:
                raise Failure("mount tmpfs: %s" % result.stderr)
            cleanup.callback(unmount, s.workdir)

            def fill():
                fill_up(filler)
                # The folder stays listable and a new file can be made, but
                # nothing can be written to it.
                probe = os.path.join(s.workdir, "probe")
                fd = os.open(probe, os.O_WRONLY | os.O_CREAT, 0o644)
                try:
                    os.write(fd, b"x")
                    raise Failure("the small file system is not full")
                except OSError:
                    pass
                finally:
                    os.close(fd)
                    os.remove(probe)

            def mend():
                os.remove(filler)
            expected_after = ["1", "filler"]
            # The recording goes on in the room left in its files' last pages.
            recording_fails = False
        else:
            shim = WriteShim(s)
            cleanup.callback(shim.fail, False)

            def fill():
                shim.fail(True)

            def mend():
                shim.fail(False)
            expected_after = ["1"]
            recording_fails = True

        record_and_stop(s, lambda: write_earlier(s), fill, mend, ["1"], leaves_earlier_file(s, expected_after), EARLIER,
                        recording_fails)


def case_backup_impossible(s):
    """The earlier "1" cannot be renamed: the save fails before anything
    changes, and keeps its number."""
    with contextlib.ExitStack() as cleanup:
        shim = WriteShim(s, "renames")
        cleanup.callback(shim.fail, False)
        record_and_stop(s, lambda: write_earlier(s), lambda: shim.fail(True), lambda: shim.fail(False),
                        ["1"], leaves_earlier_file(s), EARLIER)


def case_two_launches(s):
    """The second session runs at 300 Hz and 4x with a steady pulse of 90 a
    minute for more than two sweeps, so its record joins two sweeps."""
    pulse = ("--heart-rate", "90", "--no-variability")
    sim, program, window = s.start_streaming(*pulse)
    sim.wait_sent(300, timeout=10)
    window.click_control("Command5")
    first = program.wait_record(1)
    faults.check_record(first, "1")
    faults.exit_cleanly(program, window)
    sim.stop()

    sim, program, window = s.start_streaming(*pulse)
    window.click_control("Option2")  # 300Hz
    window.click_control("Option9")  # 4x
    sim.wait_sent(len(sim.sent()) + 2 * RECORD_SIZE + 300, timeout=30)
    window.click_control("Command5")
    second = program.wait_record(1)
    faults.check_record(second, "1")
    if faults.backups(s.workdir) != {"1.~1~": first} or second == first:
        raise Failure('"1.~1~" does not hold the first session\'s record: %s' % sorted(faults.backups(s.workdir)))
    lines = faults.index_lines(s.workdir)
    if [(line[0], line[2], line[3], line[5]) for line in lines[1:]] != [("1", "200", "1", "COM1"), ("1", "300", "4", "COM1")]:
        raise Failure("the index holds %s" % lines)

    out = recording.pulse_record("show", os.path.join(s.workdir, "1"))
    print(out)
    if not re.search(r"保存于 %s，采样速率 300 Hz，放大倍率 4x，基线 0，端口 COM1（" % re.escape(lines[2][1]), out):
        raise Failure("show does not say how the record was made:\n" + out)
    if not re.search(r"按时间顺序：上一轮扫描 \d+ 个采样，交界处缺 1 个（未计入），本轮扫描 \d+ 个", out):
        raise Failure("show does not put the record in time order:\n" + out)
    m = re.search(r"脉率 ([0-9.]+) 次/分（依据 (\d+) 次脉搏，采样速率 300 Hz）", out)
    if not m or abs(float(m.group(1)) - 90) > 2:
        raise Failure("the heart rate is not 90 within 2 a minute:\n" + out)
    # The backup still finds its own line, by its content.
    if "采样速率 200 Hz，放大倍率 1x" not in recording.pulse_record("show", os.path.join(s.workdir, "1.~1~")):
        raise Failure("show does not describe the backup from its index line")
    faults.exit_cleanly(program, window)


if __name__ == "__main__":
    faults.main({
        "save-read-only-dir": case_read_only_dir,
        "save-disk-full": case_disk_full,
        "save-two-launches": case_two_launches,
        "save-backup-impossible": case_backup_impossible,
    })
