#!/usr/bin/python3
"""The pulse rate on real pulses: every recording in a folder of real pleths
with reference beats (NumPy archives: x, scale, mid, fs, ref and, for some,
exclude), turned into the sensor's bytes at each rate and size, fed through
the live path as the window feeds it and through pulse-record's beats by
real-pulse-feed, and scored against the reference beats.

  /usr/bin/python3 bench/real_pulse.py [--folder ../shared/realpulse]
      [--feed build-bench/bench/real-pulse-feed] [--rates 200,300,1000]
      [--sizes standard,small,clipped] [--per-recording]

Needs Debian's python3-numpy. Prints Markdown tables: pooled per rate and
size, and with --per-recording one row per recording.
"""

import argparse
import glob
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

try:
    import numpy as np
except ImportError:
    sys.exit("real_pulse.py: needs NumPy (Debian's python3-numpy), run with /usr/bin/python3")

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
# Readings up to this long after an excluded span are left out too.
AFTER_EXCLUDED_S = 6.0
# A reading counts as "with a pulse" while the reference's last beat is this recent.
PULSE_RECENT_S = 2.5


def to_sensor_bytes(rec, rate, size):
    """The recording as the sensor would send it: resampled to the rate, a
    typical beat spanning about 40 % of the byte's range (15 % when small)
    with its foot near the middle of the lower half, or lifted until the tops
    of the beats are cut at 255 (clipped)."""
    x = rec["x"].astype(np.float64) * float(rec["scale"]) + float(rec["mid"])
    fs = float(rec["fs"])
    ref = np.asarray(rec["ref"], dtype=np.float64)
    idx = np.clip(np.round(ref * fs).astype(int), 0, len(x) - 1)
    # Each beat's swing: its peak above the lowest point since the beat before.
    feet, peaks = [], []
    for a, b in zip(idx[:-1], idx[1:]):
        if b - a < 2 or (b - a) > 3 * fs:
            continue
        feet.append(x[a:b].min())
        peaks.append(x[b])
    swing = float(np.median(np.array(peaks) - np.array(feet)))
    foot = float(np.median(feet))
    peak = float(np.median(peaks))
    span = {"standard": 0.40, "small": 0.15, "clipped": 0.40}[size] * 255.0
    gain = span / swing
    if size == "clipped":
        # The median peak a fifth of a swing above the top.
        offset = 255.0 + 0.2 * span - gain * peak
    else:
        offset = 64.0 - gain * foot
    n = int(len(x) / fs * rate)
    t = np.arange(n) / rate
    y = np.interp(t, np.arange(len(x)) / fs, x)
    return np.clip(np.round(gain * y + offset), 0, 255).astype(np.uint8)


def run_feed(feed, data, rate):
    out = subprocess.run([feed, str(rate)], input=data.tobytes(), capture_output=True, check=True).stdout
    live, record, readings, windows = [], [], [], []
    for line in out.decode().splitlines():
        kind, *fields = line.split()
        if kind == "live":
            live.append(int(fields[0]) / rate)
        elif kind == "record":
            record.append(int(fields[0]) / rate)
        elif kind == "reading":
            readings.append((int(fields[0]) / rate, int(fields[1]), int(fields[2])))
        elif kind == "window":
            windows.append((int(fields[0]) / rate, int(fields[1]) / rate, float(fields[2])))
    return np.array(live), np.array(record), readings, windows


def excluded(rec):
    spans = rec["exclude"] if "exclude" in rec.files else np.zeros((0, 2))
    return [(float(a), float(b)) for a, b in spans]


def in_spans(t, spans, after=0.0):
    return any(a <= t <= b + after for a, b in spans)


def match(ref, found, tol):
    """Beats matched one to one within tol seconds: (true positives, found, reference)."""
    i = j = tp = 0
    while i < len(ref) and j < len(found):
        d = found[j] - ref[i]
        if abs(d) <= tol:
            tp += 1
            i += 1
            j += 1
        elif d < 0:
            j += 1
        else:
            i += 1
    return tp, len(found), len(ref)


def score_readings(ref, readings, spans):
    """Per reading with a pulse: the shown rate against the mean of the last
    four reference intervals. Returns errors of shown rates, dashes, clipping
    words, count, and the longest stretch (s) at 60 % of the true rate or less."""
    errors, dashes, clipped, counted = [], 0, 0, 0
    longest = run = 0.0
    last_t = None
    for t, bpm, clip in readings:
        k = np.searchsorted(ref, t, side="right")
        if k < 5 or t - ref[k - 1] > PULSE_RECENT_S or in_spans(t, spans, AFTER_EXCLUDED_S):
            run = 0.0
            last_t = None
            continue
        truth = 60.0 * 4 / (ref[k - 1] - ref[k - 5])
        counted += 1
        if bpm <= 0 or clip:
            dashes += not clip
            clipped += bool(clip)
            shown_low = False
        else:
            errors.append(abs(bpm - truth))
            shown_low = bpm <= 0.6 * truth
        if shown_low:
            run += (t - last_t) if last_t is not None else 1.0
            longest = max(longest, run)
        else:
            run = 0.0
        last_t = t
    return errors, dashes, clipped, counted, longest


def score_windows(ref, windows, spans):
    """pulse-record's rate over each pulse window clear of excluded spans
    against the reference beats' mean rate in it: (errors, windows without a rate)."""
    errors, none = [], 0
    for a, b, bpm in windows:
        inside = ref[(ref >= a) & (ref < b)]
        if len(inside) < 3 or any(x < b and a < y for x, y in spans):
            continue
        if bpm <= 0:
            none += 1
        else:
            errors.append(abs(bpm - 60.0 * (len(inside) - 1) / (inside[-1] - inside[0])))
    return errors, none


class Tally:
    def __init__(self):
        self.beats = {("live", 0.15): [0, 0, 0], ("live", 0.05): [0, 0, 0],
                      ("record", 0.15): [0, 0, 0], ("record", 0.05): [0, 0, 0]}
        self.errors, self.dashes, self.clipped, self.counted, self.longest = [], 0, 0, 0, 0.0
        self.worst_f1 = (1.0, "")
        self.window_errors, self.windows_without = [], 0

    def add_beats(self, key, m):
        for k in range(3):
            self.beats[key][k] += m[k]


def f1(tp, found, ref):
    se = tp / ref if ref else 0.0
    ppv = tp / found if found else 0.0
    return se, ppv, (2 * se * ppv / (se + ppv) if se + ppv else 0.0)


def score_one(feed, path, rate, size):
    rec = np.load(path)
    data = to_sensor_bytes(rec, rate, size)
    live, record, readings, windows = run_feed(feed, data, rate)
    ref = np.asarray(rec["ref"], dtype=np.float64)
    spans = excluded(rec)
    keep = lambda beats: np.array([b for b in beats if not in_spans(b, spans)])
    ref_kept = keep(ref)
    result = {"name": os.path.splitext(os.path.basename(path))[0]}
    for what, beats in (("live", live), ("record", record)):
        for tol in (0.15, 0.05):
            result[(what, tol)] = match(ref_kept, keep(beats), tol)
    result["readings"] = score_readings(ref, readings, spans)
    result["windows"] = score_windows(ref, windows, spans)
    return result


def pct(a, b):
    return 100.0 * a / b if b else float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--folder", default=os.path.join(os.path.dirname(ROOT), "shared", "realpulse"))
    ap.add_argument("--feed", default=os.path.join(ROOT, "build-bench", "bench", "real-pulse-feed"))
    ap.add_argument("--rates", default="200,300,1000")
    ap.add_argument("--sizes", default="standard,small,clipped")
    ap.add_argument("--per-recording", action="store_true")
    args = ap.parse_args()

    paths = sorted(glob.glob(os.path.join(args.folder, "**", "*.npz"), recursive=True))
    if not paths:
        sys.exit("real_pulse.py: no recordings (*.npz) in %s: nothing measured" % args.folder)
    if not os.access(args.feed, os.X_OK):
        sys.exit("real_pulse.py: %s is not built (cmake --build build-bench --target real-pulse-feed)" % args.feed)

    print("%d recordings from %s\n" % (len(paths), args.folder))
    print("| rate | size | live F1 150 ms (Se / PPV) | live F1 50 ms | worst recording F1 150 ms | "
          "pulse-record F1 150 ms / 50 ms | rate error median / p95 | shown within 2 / 5 per min | "
          "dashes / clipping words | longest ≤ 60 % |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    rows, summaries = [], []
    for rate in [int(r) for r in args.rates.split(",")]:
        for size in args.sizes.split(","):
            with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
                results = list(pool.map(lambda p: score_one(args.feed, p, rate, size), paths))
            t = Tally()
            for r in results:
                for key in t.beats:
                    t.add_beats(key, r[key])
                errors, dashes, clipped, counted, longest = r["readings"]
                t.errors += errors
                t.dashes += dashes
                t.clipped += clipped
                t.counted += counted
                t.longest = max(t.longest, longest)
                t.window_errors += r["windows"][0]
                t.windows_without += r["windows"][1]
                one = f1(*r[("live", 0.15)])[2]
                if one < t.worst_f1[0]:
                    t.worst_f1 = (one, r["name"])
                rows.append((rate, size, r))
            se, ppv, live150 = f1(*t.beats[("live", 0.15)])
            live50 = f1(*t.beats[("live", 0.05)])[2]
            rec150 = f1(*t.beats[("record", 0.15)])[2]
            rec50 = f1(*t.beats[("record", 0.05)])[2]
            e = np.array(t.errors) if t.errors else np.array([np.nan])
            print("| %d Hz | %s | %.2f %% (%.2f / %.2f) | %.2f %% | %.2f %% (%s) | %.2f / %.2f %% | %.1f / %.1f | "
                  "%.1f / %.1f %% | %.1f / %.1f %% | %.0f s |" % (
                      rate, size, 100 * live150, 100 * se, 100 * ppv, 100 * live50,
                      100 * t.worst_f1[0], t.worst_f1[1], 100 * rec150, 100 * rec50,
                      np.median(e), np.percentile(e, 95),
                      pct(np.sum(e <= 2), len(t.errors)), pct(np.sum(e <= 5), len(t.errors)),
                      pct(t.dashes, t.counted), pct(t.clipped, t.counted), t.longest))
            w = np.array(t.window_errors) if t.window_errors else np.array([np.nan])
            summaries.append("| %d Hz | %s | %d | %.1f / %.1f | %.1f / %.1f %% | %.1f %% |" % (
                rate, size, len(t.window_errors) + t.windows_without, np.median(w), np.percentile(w, 95),
                pct(np.sum(w <= 2), len(t.window_errors)), pct(np.sum(w <= 5), len(t.window_errors)),
                pct(t.windows_without, len(t.window_errors) + t.windows_without)))
    print("\npulse-record's rate over a session's pulse windows:\n")
    print("| rate | size | windows | rate error median / p95 | within 2 / 5 per min | no rate |")
    print("|---|---|---|---|---|---|")
    print("\n".join(summaries))
    if args.per_recording:
        print("\n| rate | size | recording | live F1 150 / 50 ms | pulse-record F1 150 ms | shown within 5 per min | "
              "dashes / clipping words | longest ≤ 60 % |")
        print("|---|---|---|---|---|---|---|---|")
        for rate, size, r in rows:
            errors, dashes, clipped, counted, longest = r["readings"]
            e = np.array(errors) if errors else np.array([np.nan])
            print("| %d | %s | %s | %.2f / %.2f %% | %.2f %% | %.1f %% | %.1f / %.1f %% | %.0f s |" % (
                rate, size, r["name"], 100 * f1(*r[("live", 0.15)])[2], 100 * f1(*r[("live", 0.05)])[2],
                100 * f1(*r[("record", 0.15)])[2], pct(np.sum(e <= 5), len(errors)), pct(dashes, counted), pct(clipped, counted), longest))


if __name__ == "__main__":
    main()
