"""Where the program's resident memory goes, and what a few changes of its
surroundings would save. Not part of the table: run it by hand.

    /usr/bin/python3 bench/memory_study.py --build build-bench [--list]

Each variant launches the probe build, picks the port, presses Start, lets
the sensor stream for a few seconds and reads /proc/<pid>/status and smaps.
The variants change only the environment (fontconfig's view of the fonts, Qt
and glibc settings), so they show what a change in the program would save
before it is made. "window looks" compares the window as first drawn, pixel
for pixel, with the one as shipped. --program measures another build."""

import argparse
import glob
import hashlib
import os
import subprocess
import sys
import tempfile
import time

import scenarios
from pulsetest import procstat  # noqa: E402 (found through scenarios)

MIB = 1024 * 1024
STREAM_SECONDS = 5

# A fontconfig setup that is the system's, with one font file hidden.
HIDE_FONT = """<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="no">/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont><glob>*/%s</glob></rejectfont></selectfont>
  <cachedir>%s</cachedir>
</fontconfig>
"""


SUBSET_FONTS = """<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="no">/etc/fonts/fonts.conf</include>
  <dir>%s</dir>
  <selectfont><rejectfont><glob>*/ukai.ttc</glob><glob>*/uming.ttc</glob></rejectfont></selectfont>
  <cachedir>%s</cachedir>
</fontconfig>
"""
ARPHIC = "/usr/share/fonts/truetype/arphic"
# Qt's own Chinese button texts that the warning boxes show.
QT_TEXTS = "确定取消"
# FreeType's auto-hinter sizes its CJK zones from these characters (its
# afblue.dat); without them a subset font renders some glyphs differently.
AUTOHINT_CJK = ("他们你來們到和地对對就席我时時會来為能舰說说这這齊军同已愿既星是景民照现現理用置要軍那配里開雷露面顾"
                "个为人他以们到和大对對就我时時有来為要說说主些因它想意理生當看着置者自著裡过还进進過道還里面"
                "些们你來們到和地她将將就年得情最样樣理能說说这這通即吗吧听呢品响嗎师師收断斷明眼間间际陈限除陳随際隨"
                "事前學将將情想或政斯新样樣民沒没然特现現球第經谁起例別别制动動吗嗎增指明朝期构物确种調调費费那都間间")


def fontconfig_without(folder, font_file):
    path = os.path.join(folder, "hide-%s.conf" % font_file)
    with open(path, "w") as f:
        f.write(HIDE_FONT % (font_file, os.path.join(folder, "fc-cache")))
    return {"FONTCONFIG_FILE": path}


def program_characters():
    """Every character the program's own texts use, and printable ASCII."""
    src = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    chars = set(QT_TEXTS) | set(AUTOHINT_CJK) | {chr(c) for c in range(0x20, 0x7F)}
    for path in glob.glob(os.path.join(src, "**", "*.*"), recursive=True):
        with open(path, encoding="utf-8") as f:
            chars |= {c for c in f.read() if ord(c) > 0x7F}
    return "".join(sorted(chars))


def fontconfig_with_subsets(folder):
    """Both Arphic faces cut down to the program's characters (fontTools'
    subsetter, Debian's python3-fonttools), in place of the full files.
    None when the subsetter is not installed."""
    fonts = os.path.join(folder, "subset-fonts")
    os.makedirs(fonts, exist_ok=True)
    text = os.path.join(folder, "chars.txt")
    with open(text, "w", encoding="utf-8") as f:
        f.write(program_characters())
    for name in ("ukai", "uming"):
        done = subprocess.run(
            ["/usr/bin/python3", "-m", "fontTools.subset", os.path.join(ARPHIC, name + ".ttc"), "--font-number=0",
             "--text-file=" + text, "--output-file=" + os.path.join(fonts, name + "-subset.ttf"),
             "--layout-features=*", "--name-IDs=*", "--name-languages=*", "--notdef-outline", "--no-prune-unicode-ranges", "--hinting-tables=*", "--drop-tables=", "--no-recalc-bounds", "--no-recalc-max-context"],
            capture_output=True)
        if done.returncode != 0:
            return None
    path = os.path.join(folder, "subset.conf")
    with open(path, "w") as f:
        f.write(SUBSET_FONTS % (fonts, os.path.join(folder, "fc-cache")))
    return {"FONTCONFIG_FILE": path}


def variants(folder):
    subsets = fontconfig_with_subsets(folder)
    return [
        ("as shipped", {}),
        *([("both CJK faces cut to the program's characters", subsets)] if subsets else []),
        ("both CJK faces UMing (UKai hidden from fontconfig)", fontconfig_without(folder, "ukai.ttc")),
        ("both CJK faces UKai (UMing hidden from fontconfig)", fontconfig_without(folder, "uming.ttc")),
        ("no GL integration plugin (QT_XCB_GL_INTEGRATION=none)", {"QT_XCB_GL_INTEGRATION": "none"}),
        ("one malloc arena (MALLOC_ARENA_MAX=1)", {"MALLOC_ARENA_MAX": "1"}),
        ("no input-method plugin (QT_IM_MODULE=none)", {"QT_IM_MODULE": "none"}),
        ("no session bus (DBUS_SESSION_BUS_ADDRESS=disabled:)", {"DBUS_SESSION_BUS_ADDRESS": "disabled:"}),
    ]


def measure(bench, label, listing=False):
    with bench.session("bench-memory") as s:
        sim, program, window = s.open_port("--write-size", "10")
        # The window as first drawn, to tell whether a variant changes its look.
        look = hashlib.sha1(window.first_look.rgb).hexdigest()[:12]
        window.click_control(scenarios.START)
        time.sleep(STREAM_SECONDS)
        status = procstat.status(program.pid)
        kinds = procstat.resident_by_kind(program.pid)
        threads = []
        for tid in sorted(os.listdir("/proc/%d/task" % program.pid)):
            with open("/proc/%d/task/%s/comm" % (program.pid, tid)) as f:
                threads.append(f.read().strip())
        if listing:
            print_listing(program.pid)
        scenarios.end_program(program, window, sim)
    fonts = sum(v for k, v in kinds.items() if k.startswith("font "))
    return {"label": label, "hwm": status["VmHWM"], "rss": status["VmRSS"], "anon": status.get("RssAnon", 0),
            "file": status.get("RssFile", 0), "shmem": status.get("RssShmem", 0), "fonts": fonts,
            "kinds": kinds, "threads": threads, "look": look}


def print_listing(pid):
    per = procstat.resident_by_mapping(pid)
    for p, size in sorted(per.items(), key=lambda x: -x[1]):
        print("%8d kB  %s" % (size // 1024, p or "[anonymous]"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    scenarios.Bench.arguments(parser)
    parser.add_argument("--list", action="store_true", help="every mapping's resident size, as shipped")
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--only", type=int, nargs="*", help="variant numbers to run, from 0")
    args = parser.parse_args()
    bench = scenarios.Bench.from_arguments(args)
    scenarios.harness.exit_on_signals()
    with tempfile.TemporaryDirectory(prefix="pulse-memory-") as folder:
        print("| variant | VmHWM MiB | VmRSS | anonymous | file-backed | fonts | window looks |")
        print("|---|---|---|---|---|---|---|")
        shipped_look = None
        for i, (label, env) in enumerate(variants(folder)):
            if args.only is not None and i not in args.only:
                continue
            bench.extra_env = env
            for _ in range(args.repeat):
                r = measure(bench, label, listing=args.list and i == 0)
                shipped_look = shipped_look or r["look"]
                print("| %s | %.1f | %.1f | %.1f | %.1f | %.1f | %s |" % (
                    label, r["hwm"] / MIB, r["rss"] / MIB, r["anon"] / MIB, r["file"] / MIB, r["fonts"] / MIB,
                    "the same" if r["look"] == shipped_look else "different"), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
