"""What /proc says about one process: CPU time to the nanosecond, wake-ups,
resident memory, and where the resident pages come from."""

import os
import time


def cpu(pid):
    """{thread id: (CPU ns, times scheduled in)} for the process's threads,
    from the scheduler's own accounting rather than the tick-based
    utime/stime."""
    out = {}
    task = "/proc/%d/task" % pid
    for tid in os.listdir(task):
        try:
            with open("%s/%s/schedstat" % (task, tid)) as f:
                fields = f.read().split()
        except OSError:
            continue  # the thread ended while we looked
        out[tid] = (int(fields[0]), int(fields[2]))
    return out


def cpu_seconds(pid):
    """CPU time of every thread so far, in seconds."""
    return sum(ns for ns, _ in cpu(pid).values()) / 1e9


def cpu_share(pid, seconds):
    """Fraction of one core the process uses over the next `seconds`."""
    meter = Meter(pid)
    time.sleep(seconds)
    return meter.reading()["cpu_percent"] / 100.0


class Meter:
    """CPU share of one core and wake-ups per second between two readings.
    Threads are followed one by one: one that starts in between counts from
    zero, one that ends counts up to the last reading that saw it."""

    def __init__(self, pid):
        self.pid = pid
        self.t = time.monotonic()
        self.threads = cpu(pid)

    def reading(self):
        t = time.monotonic()
        threads = cpu(self.pid)
        ns = runs = 0
        for tid, (n, r) in threads.items():
            n0, r0 = self.threads.get(tid, (0, 0))
            ns += n - n0
            runs += r - r0
        dt = t - self.t
        self.t, self.threads = t, threads
        return {"seconds": dt, "cpu_percent": 100.0 * ns / (dt * 1e9), "runs_per_s": runs / dt}


def status(pid):
    """The memory lines of /proc/<pid>/status, in bytes."""
    out = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            words = value.split()
            if key.startswith(("Vm", "Rss")) and len(words) == 2 and words[1] == "kB":
                out[key] = int(words[0]) * 1024
    return out


def memory_kb(pid):
    """(VmRSS, VmHWM) in KiB."""
    memory = status(pid)
    return memory["VmRSS"] // 1024, memory["VmHWM"] // 1024


def mapping_kind(path):
    if not path:
        return "anonymous"
    if path in ("[heap]", "[stack]"):
        return path
    if path.startswith("["):
        return "other"
    if path.startswith("/SYSV") or path.startswith("/dev/shm") or path.startswith("/memfd:"):
        return "shared memory"
    name = os.path.basename(path.split(" (deleted)")[0])
    if name.endswith((".ttc", ".ttf", ".otf", ".pcf", ".pcf.gz")):
        return "font " + name
    if "fontconfig" in path:
        return "fontconfig caches"
    if ".so" in name:
        if "Qt6" in name or "/qt6/" in path:
            return "Qt libraries and plugins"
        if name.startswith("libicu"):
            return "ICU"
        return "other libraries"
    return "file " + path


def resident_by_mapping(pid):
    """Resident bytes per mapped path ("" for anonymous memory), from
    /proc/<pid>/smaps."""
    out = {}
    path = None
    with open("/proc/%d/smaps" % pid) as f:
        for line in f:
            words = line.split()
            if not words:
                continue
            if not words[0].endswith(":") or "-" in words[0]:
                # A mapping's header: address perms offset dev inode [path]
                path = line.split(None, 5)[5].strip() if len(words) >= 6 else ""
                continue
            if words[0] == "Rss:":
                out[path] = out.get(path, 0) + int(words[1]) * 1024
    return out


def resident_by_kind(pid):
    """Resident bytes per kind of mapping."""
    out = {}
    for path, size in resident_by_mapping(pid).items():
        kind = mapping_kind(path)
        out[kind] = out.get(kind, 0) + size
    return out
