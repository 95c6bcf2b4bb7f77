#!/usr/bin/env python3
"""Heart rate recovered by pulse-record from what the simulated sensor really
sends: a steady pulse at a known rate, streamed at 200 Hz, cut to one record
at an arbitrary phase, as a saved record would be."""
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

from pulsetest.wire import RECORD_SIZE

TOOL = SIM = None


def sent_samples(workdir, heart_rate, count):
    """The first `count` samples the simulator sends at `heart_rate`."""
    sent = os.path.join(workdir, f"sent-{heart_rate}")
    runtime = tempfile.mkdtemp(dir=workdir)  # private port folder, mode 700
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
    sim = subprocess.Popen(
        [SIM, "--com", "16", "--stream", "--no-variability", "--unpaced",
         "--heart-rate", str(heart_rate), "--sent", sent],
        env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if os.path.exists(sent) and os.path.getsize(sent) >= count:
                break
            if sim.poll() is not None:
                raise AssertionError("simulator ended: " + sim.stderr.read().decode())
            time.sleep(0.05)
    finally:
        sim.terminate()
        sim.wait(timeout=10)
    with open(sent, "rb") as f:
        data = f.read(count)
    assert len(data) == count, f"only {len(data)} samples sent"
    return data


class RecordFromSimTest(unittest.TestCase):
    def test_heart_rate_within_two_per_minute(self):
        with tempfile.TemporaryDirectory() as workdir:
            for heart_rate, phase in ((75, 0), (75, 437), (110, 91), (48, 250)):
                samples = sent_samples(workdir, heart_rate, phase + RECORD_SIZE)
                record = os.path.join(workdir, "1")
                with open(record, "wb") as f:
                    f.write(samples[phase:])
                p = subprocess.run([TOOL, "show", record, "--rate", "200"], capture_output=True, timeout=30)
                out = p.stdout.decode("utf-8")
                self.assertEqual((p.returncode, p.stderr), (0, b""), out)
                m = re.search(r"心率 ([0-9.]+) 次/分（依据 (\d+) 次心跳", out)
                self.assertIsNotNone(m, out)
                bpm, beats = float(m.group(1)), int(m.group(2))
                self.assertLessEqual(abs(bpm - heart_rate), 2.0, (heart_rate, phase, out))
                # 5.7 s holds this many whole intervals; all but one are used at worst.
                whole = int((RECORD_SIZE - 1) / 200 * heart_rate / 60)
                self.assertGreaterEqual(beats, whole - 1, out)


if __name__ == "__main__":
    TOOL, SIM = sys.argv.pop(1), sys.argv.pop(1)
    unittest.main(verbosity=2)
