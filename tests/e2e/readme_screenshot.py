"""Makes the README's picture: the window with a pulse on it, under a private
X server, driven like the end-to-end tests. Run by scripts/screenshot.sh."""

import argparse
import os
import subprocess
import sys
import tempfile

from pulsetest import harness
from pulsetest.wire import INITIAL_COMMANDS, START_STREAM, STOP_STREAM
from pulsetest.image import Image
from pulsetest.xwindow import CONVERT, Failure

# About 8 s at 200 samples a second: a sweep and a half, so the band and the
# sweep before it show to the right of the pen.
SAMPLES = 1700
SEED = "7"
PALETTE_SIZE = 256
GAIN = "Option9"  # 4x
SET_GAIN = STOP_STREAM + bytes.fromhex("20 34 03") + START_STREAM


def capture(s, out):
    sim, _, window = s.open_port("--seed", SEED)
    window.click_control("Command1")
    # Gain 4x shows the pulse at a size that reads well in a small picture.
    window.click_control(GAIN)
    sim.wait_received(INITIAL_COMMANDS + START_STREAM + SET_GAIN, timeout=5)
    sim.wait_sent(SAMPLES, timeout=30)
    # Stop holds the picture still for the capture.
    window.click_control("Command5")
    sim.wait_received(INITIAL_COMMANDS + START_STREAM + SET_GAIN + STOP_STREAM, timeout=5)
    sim.wait_sent_settled()
    write_small_png(window.settled_capture(), out)


def write_small_png(image, out):
    """A palette PNG without metadata. The palette holds the picture's most
    frequent colours exactly (backgrounds, trace, lines); only the rarer
    shades of smoothed text are mapped to their nearest."""
    counts = image.colours()
    common = sorted(counts, key=counts.get, reverse=True)[:PALETTE_SIZE]
    palette = Image(len(common), 1, b"".join(bytes(c) for c in common))
    with tempfile.TemporaryDirectory() as scratch:
        palette_path = os.path.join(scratch, "palette.ppm")
        with open(palette_path, "wb") as f:
            f.write(palette.to_ppm())
        subprocess.run([CONVERT, "ppm:-", "+dither", "-remap", palette_path, "-strip", "PNG8:" + out],
                       input=image.to_ppm(), check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", required=True)
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--displays", default=os.environ.get("PULSE_E2E_DISPLAYS", harness.DEFAULT_DISPLAYS))
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    harness.exit_on_signals()
    with tempfile.TemporaryDirectory(prefix="pulse-screenshot-") as scratch:
        # The programs run in folders of their own: relative paths would miss.
        s = harness.Session("screenshot", os.path.abspath(args.program), os.path.abspath(args.simulator), scratch,
                            harness.display_range(args.displays))
        failed = True
        try:
            capture(s, out)
            failed = False
        except Failure as e:
            print("screenshot: %s" % e, file=sys.stderr)
        finally:
            s.close(failed=False)
    if failed:
        sys.exit(1)
    print("wrote %s (%d bytes)" % (out, os.path.getsize(out)))


if __name__ == "__main__":
    main()
