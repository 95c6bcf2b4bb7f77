"""The program's session recordings: STEM.samples (one byte a sample) and
STEM.events (one tab-separated line an event), read as another program would
(a torn last line is left out), lined up with what the simulator sent, and
written for tests that make recordings of their own."""

import datetime
import glob
import math
import os
import subprocess

from .xwindow import Failure

FOLDER = "sessions"
MAGIC = "pulse-demo-session"
VERSION = 1


class Event:
    def __init__(self, fields):
        self.sample, self.time, self.kind, self.values = int(fields[0]), fields[1], fields[2], fields[3:]

    def __repr__(self):
        return "%s@%d%s" % (self.kind, self.sample, "".join(" " + v for v in self.values))


def pulse_record(*args):
    """What pulse-record (PULSE_RECORD_TOOL) prints for `args`, once it has
    ended with exit 0 and nothing on stderr."""
    p = subprocess.run([os.environ["PULSE_RECORD_TOOL"], *args], capture_output=True, timeout=60)
    if p.returncode != 0 or p.stderr:
        raise Failure("pulse-record %s: exit %d, %s" % (" ".join(args), p.returncode, p.stderr.decode()))
    return p.stdout.decode("utf-8")


def stems(records_folder):
    """Every recording in the records folder, oldest first."""
    return sorted(p[:-len(".samples")] for p in glob.glob(os.path.join(records_folder, FOLDER, "*.samples")))


def only(records_folder):
    """(stem, samples, events) of the folder's one recording."""
    found = stems(records_folder)
    if len(found) != 1:
        raise Failure("expected one recording, found %s" % found)
    return (found[0],) + read(found[0])


def read(stem):
    """(samples, events) of one recording."""
    with open(stem + ".samples", "rb") as f:
        samples = f.read()
    with open(stem + ".events", "rb") as f:
        text = f.read().decode("utf-8")
    events = [Event(line.split("\t")) for line in text.split("\n")[:-1]]
    if not events or events[0].kind != MAGIC:
        raise Failure("%s.events does not start with its header: %s" % (stem, events[:1]))
    for e in events:
        if e.sample > len(samples):
            raise Failure("%s: %r refers past the %d samples written" % (stem, e, len(samples)))
    return samples, events[1:]


def kinds(events):
    """The events other than time points, as 'kind value...' texts."""
    return [" ".join([e.kind] + e.values) for e in events if e.kind != "time"]


def check_against_sent(samples, events, sent, unread, gaps=("rate", "gain", "baseline")):
    """The recording holds what the simulator sent, in order: it may skip
    sent bytes only where a change discarded waiting input (at its event),
    at each Lost exactly the bytes still unread at that unplug, and at each
    gap the samples it says were left out. `unread` lists the unplugs'
    counts in order. Returns the discards' sizes.
    Needs the simulator's ramp, so that a discard lines up only one way."""
    cuts = sorted({(e.sample, e.kind, int(e.values[0]) if e.kind == "gap" else 0)
                   for e in events if e.kind in gaps + ("lost", "gap")})
    unread = list(unread)
    at, got, discarded = 0, 0, []
    for sample, kind, left_out in cuts + [(len(samples), "end", 0)]:
        n = sample - got
        if samples[got:sample] != sent[at:at + n]:
            first = next((i for i in range(n) if at + i >= len(sent) or samples[got + i] != sent[at + i]), n)
            raise Failure("recorded sample %d differs from sent byte %d (before %s at %d)"
                          % (got + first, at + first, kind, sample))
        got, at = sample, at + n
        if kind == "lost":
            if not unread:
                raise Failure("a lost event at %d with no unplug" % sample)
            at += unread.pop(0)
        elif kind == "gap":
            at += left_out
        elif kind in gaps and sample < len(samples):
            # Where the recording goes on after the discard.
            probe = samples[sample:sample + 64]
            skip = sent.find(probe, at)
            if skip < 0 or skip - at > 200:
                raise Failure("after %s at %d the recording does not go on with what was sent" % (kind, sample))
            discarded.append(skip - at)
            at = skip
    if at != len(sent):
        raise Failure("%d sent bytes at the end are not recorded" % (len(sent) - at))
    return discarded


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
