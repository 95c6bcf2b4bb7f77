"""Compares the drawing surface in a screenshot with where the sweep must have
drawn the samples that the simulator sent."""

from pulsetest.image import TRACE
from pulsetest.layout import TWIPS_PER_PIXEL, Sweep
from pulsetest.xwindow import Failure

# A sample's end point shows a trace pixel at most this far from where the
# twips round to; the rasteriser picks pixels along the segment.
NEAR = 1
# Room for rounding where trace pixels are accounted for, and at band edges.
SLACK = 2


def px(twips):
    return int(round(twips / TWIPS_PER_PIXEL))


def _describe(misses, what):
    shown = ", ".join("sample %d at %d,%d" % m for m in misses[:5])
    return "%d %s, e.g. %s" % (len(misses), what, shown)


def missing_samples(surface, segments, first_column, last_column):
    """Segments whose end lies in the columns but shows no trace pixel near it."""
    misses = []
    for seg in segments:
        x, y = px(seg.x1), px(seg.y1)
        if first_column <= x <= last_column and not surface.has_near(x, y, TRACE, NEAR):
            misses.append((seg.k, x, y))
    return misses


def stray_points(surface, segments, first_column, last_column):
    """Trace pixels in the columns that none of the segments accounts for."""
    allowed = {}
    for seg in segments:
        top, bottom = px(min(seg.y0, seg.y1)) - SLACK, px(max(seg.y0, seg.y1)) + SLACK
        for c in range(px(seg.x0) - SLACK, px(seg.x1) + SLACK + 1):
            allowed.setdefault(c, []).append((top, bottom))
    return [(x, y) for x, y in surface.points(TRACE)
            if first_column <= x <= last_column and not any(t <= y <= b for t, b in allowed.get(x, ()))]


def rightmost_trace_column(surface):
    points = surface.points(TRACE)
    return max(x for x, _ in points) if points else -1


def check_first_sweep_live(surface, sent_before, sent_after):
    """A capture taken while the first sweep is drawn, between two readings of
    what the simulator had sent: the trace is a prefix of those samples, each
    where it belongs, and nothing lies right of the newest possible one.
    Returns the rightmost trace column."""
    after = Sweep.segments(sent_after)
    if not sent_before or after[-1].sweep != 0:
        raise Failure("expected to look during the first sweep (%d samples sent)" % len(sent_after))
    right = rightmost_trace_column(surface)
    newest_end = px(after[-1].x1)
    if right < 0:
        raise Failure("no trace on the surface after %d samples were sent" % len(sent_before))
    if right > newest_end + SLACK:
        raise Failure("trace at column %d, right of the newest sample's end at %d" % (right, newest_end))
    misses = missing_samples(surface, after, 0, right - SLACK - 1)
    if misses:
        raise Failure(_describe(misses, "samples missing from the trace"))
    strays = stray_points(surface, after, 0, surface.width - 1)
    if strays:
        raise Failure("%d trace pixels where no sample lies, e.g. %s" % (len(strays), strays[:5]))
    return right


def check_held_sweep(surface, sent):
    """A capture of a stream that has stopped, every sent sample drawn: the
    sweep in progress left of the pen, the band ahead of it clear, the sweep
    before right of the band."""
    segments = Sweep.segments(sent)
    current = segments[-1].sweep
    pen = segments[-1].x0
    band_left = px(pen + Sweep.BAND[0])
    band_right = px(pen + Sweep.BAND[1])
    if current < 1 or band_right + 10 > surface.width:
        raise Failure("expected to look in a later sweep with room right of the band (pen at %d twips)" % pen)
    new = [s for s in segments if s.sweep == current]
    old = [s for s in segments if s.sweep == current - 1]

    problems = []
    misses = missing_samples(surface, new, SLACK, band_left - SLACK - 1)
    if misses:
        problems.append(_describe(misses, "samples of the sweep in progress missing"))
    misses = missing_samples(surface, [s for s in old if px(s.x0) > band_right + SLACK], band_right + SLACK,
                             surface.width - SLACK - 1)
    if misses:
        problems.append(_describe(misses, "samples of the previous sweep missing right of the band"))
    strays = stray_points(surface, new, 0, band_left - SLACK - 1)
    if strays:
        problems.append("%d trace pixels left of the pen off the sweep in progress, e.g. %s" % (len(strays), strays[:5]))
    in_band = [(x, y) for x, y in surface.points(TRACE) if band_left + SLACK <= x <= band_right - SLACK]
    if in_band:
        problems.append("%d trace pixels in the band ahead of the pen (columns %d..%d), e.g. %s"
                        % (len(in_band), band_left, band_right, in_band[:5]))
    strays = stray_points(surface, old, band_right + SLACK, surface.width - 1)
    if strays:
        problems.append("%d trace pixels right of the band off the previous sweep, e.g. %s" % (len(strays), strays[:5]))
    if problems:
        raise Failure("; ".join(problems))
