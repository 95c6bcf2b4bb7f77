"""Session recordings as the program writes them: STEM.samples (one byte a
sample) and STEM.events (one tab-separated line an event), for tests that
make recordings of their own."""

import datetime
import math
import os

MAGIC = "pulse-demo-session"
VERSION = 1


def clock(when):
    """ISO 8601 with milliseconds and the UTC offset, as the events file says it."""
    text = when.isoformat(timespec="milliseconds")
    return text if when.utcoffset() else text.replace("+00:00", "") + "+00:00"


def event_line(sample, when, kind, *values):
    return "\t".join([str(sample), clock(when), kind, *map(str, values)]).encode("utf-8") + b"\n"


def pulse(count, rate, per_minute=72, start=0):
    """A pulse-like wave: a sharp rise once a beat over a steady floor."""
    out = bytearray()
    for i in range(start, start + count):
        phase = (i / rate * per_minute / 60) % 1.0
        out.append(40 + int(150 * math.exp(-((phase - 0.2) / 0.06) ** 2)))
    return bytes(out)


def write(stem, samples, events, start, torn=b""):
    """The two files of a recording starting at `start` (a datetime with its
    zone); `events` as (sample, seconds after start, kind, values...)."""
    os.makedirs(os.path.dirname(stem) or ".", exist_ok=True)
    with open(stem + ".samples", "wb") as f:
        f.write(samples)
    with open(stem + ".events", "wb") as f:
        f.write(event_line(0, start, MAGIC, VERSION))
        for sample, seconds, kind, *values in events:
            f.write(event_line(sample, start + datetime.timedelta(seconds=seconds), kind, *values))
        f.write(torn)
