#!/usr/bin/env python3
"""pulse-record run as the operator runs it: good files, every kind of bad
file, and bad command lines. Messages are checked word for word, since they
are what the operator reads; exit codes are what scripts read."""
import datetime
import hashlib
import os
import stat
import subprocess
import sys
import tempfile
import unittest

from pulsetest import recording
from pulsetest.image import png_size
from pulsetest.wire import RECORD_SIZE

TOOL = None
PREFIX = "pulse-record: "
NO_INDEX = "  没有索引信息，按存储顺序：1145 个采样，最后 1 字节为填充"
HEADER = "record\tsaved_at\trate_hz\tgain\tbaseline\tport\tdevice\tsample_index\tprevious_sweep_end\tsha256\n"
SAVED_AT = "2024-05-01T10:00:05.250+08:00"


def run(*args, env=None, cwd=None):
    full_env = dict(os.environ)
    full_env.update(env or {})
    p = subprocess.run([TOOL, *args], capture_output=True, timeout=30, env=full_env, cwd=cwd)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


class FolderTest(unittest.TestCase):
    """Each test in a fresh folder, self.dir, with record RAMP in it: bytes
    counting up (as self.ramp)."""

    RAMP = "1"

    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = tmp.name
        self.ramp = self.write(self.RAMP, bytes(i % 256 for i in range(RECORD_SIZE)))

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def snapshot(self):
        return {n: os.lstat(os.path.join(self.dir, n)).st_mtime_ns for n in os.listdir(self.dir)}

    def assertRefused(self, args, code, message, out=""):
        """Exit `code`, `message` alone on stderr, `out` (unless None) on
        stdout, and nothing in the folder touched; returns what was printed."""
        before = self.snapshot()
        got, printed, err = run(*args)
        self.assertEqual((got, err, self.snapshot()), (code, PREFIX + message + "\n", before), args)
        if out is not None:
            self.assertEqual(printed, out, args)
        return printed


class RecordToolTest(FolderTest):
    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def index(self, name, data, rate=300, sample_index=300, previous_end=1144, lines=None):
        """The index beside the records, as the program writes it."""
        line = "\t".join([name, SAVED_AT, str(rate), "4", "2", "COM3", "/dev/pts/7", str(sample_index),
                          str(previous_end), hashlib.sha256(data).hexdigest()])
        with open(os.path.join(self.dir, "index.tsv"), "w", encoding="utf-8") as f:
            f.write(HEADER + (lines if lines is not None else line + "\n"))

    # Good files.

    def test_show_good_record(self):
        code, out, err = run("show", self.ramp)
        self.assertEqual((code, err), (0, ""))
        # The last byte is padding, not a sample.
        mean = sum(i % 256 for i in range(RECORD_SIZE - 1)) / (RECORD_SIZE - 1)
        self.assertEqual(out.splitlines()[:3], [
            f"文件“{self.ramp}”：1146 字节",
            NO_INDEX,
            f"  最小值 0，最大值 255，平均值 {mean:.1f}",
        ])
        self.assertIn("采样速率 200 Hz", out.splitlines()[3])

    def test_show_says_when_no_pulse(self):
        zero = self.write("2", bytes(RECORD_SIZE))
        code, out, err = run("show", zero, "--rate", "500")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out.splitlines()[3], "  未发现脉搏（采样速率 500 Hz）")

    def test_csv(self):
        code, out, err = run("csv", self.ramp, "--rate", "200")
        self.assertEqual((code, err), (0, ""))
        lines = out.splitlines()
        self.assertEqual(len(lines), RECORD_SIZE + 1)
        self.assertEqual(lines[:3], ["offset,time_s,value,note", "0,0.0000,0,", "1,0.0050,1,"])
        self.assertEqual(lines[-2:], ["1144,5.7200,120,", "1145,,121,padding"])
        code, out, _ = run("csv", self.ramp)
        self.assertEqual(out.splitlines()[:2], ["offset,value,note", "0,0,"])

    def test_index_gives_rate_time_and_order(self):
        # The sweep in progress had reached entry 300 of a later sweep.
        self.index("1", self.read(self.ramp))
        code, out, err = run("show", self.ramp)
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out.splitlines()[1:3], [
            f"  保存于 {SAVED_AT}，采样速率 300 Hz，放大倍率 4x，基线 2，端口 COM3（/dev/pts/7）",
            "  按时间顺序：上一轮扫描 845 个采样，交界处缺 1 个（未计入），本轮扫描 299 个；"
            "另有 2 字节不是这两轮的采样（填充或更早的扫描），未计入",
        ])
        self.assertTrue(out.splitlines()[4].endswith("采样速率 300 Hz）"), out)
        code, out, _ = run("csv", self.ramp)
        lines = out.splitlines()
        self.assertEqual(len(lines), RECORD_SIZE + 2)  # and one line for the missing slot
        self.assertEqual(lines[1:3], ["299,0.0000,43,", "300,0.0033,44,"])
        self.assertEqual(lines[845:848], ["1143,2.8133,119,", ",2.8167,,missing", "0,2.8200,0,"])
        self.assertEqual(lines[-3:], ["298,3.8133,42,", "1144,,120,stale", "1145,,121,padding"])
        # --rate still wins; --as-stored keeps the file's order.
        code, out, _ = run("csv", self.ramp, "--as-stored", "--rate", "200")
        self.assertEqual((code, out.splitlines()[1]), (0, "0,0.0000,0,"))

    def test_index_that_does_not_describe_the_record(self):
        cases = [
            (dict(data=b"other bytes"), "记录索引“{i}”中没有与文件“{r}”内容相符的一行，按存储顺序使用"),
            (dict(data=b"", lines="1\tyesterday\t300\n"), "记录索引“{i}”第 2 行格式不对，按存储顺序使用"),
        ]
        for kwargs, message in cases:
            self.index("1", **kwargs)
            out = self.assertRefused(("show", self.ramp), 1, message.format(i=os.path.join(self.dir, "index.tsv"), r=self.ramp), None)
            self.assertEqual(out.splitlines()[1], NO_INDEX)
            self.assertIn("采样速率 200 Hz", out)

    def test_edf(self):
        edf = os.path.join(self.dir, "out.edf")
        # Without an index the rate must be given, and the start is unknown.
        self.assertRefused(("edf", self.ramp, "-o", edf), 2, f"文件“{self.ramp}”旁没有记录索引，请用 --rate 给出采样速率")
        self.assertEqual(run("edf", self.ramp, self.ramp, "--rate", "200", "-o", edf),
                         (0, f"EDF 文件已保存到“{edf}”（2 个记录）\n",
                          PREFIX + "注意：没有记录索引，开始时间未知，EDF 文件中记为 1985-01-01 00:00:00\n"))
        with open(edf, "rb") as f:
            head = f.read(256)
        self.assertEqual(head[168:184], b"01.01.8500.00.00")  # EDF's start date and time
        self.assertIn(b"EDF+C", head)
        # With one, the default name and no --rate.
        self.index("1", self.read(self.ramp))
        code, out, err = run("edf", self.ramp)
        self.assertEqual((code, err), (0, ""))
        with open(self.ramp + ".edf", "rb") as f:
            self.assertEqual(f.read(256)[168:184], b"01.05.2410.00.01")  # 3.82 s before the Stop
        # Bad input or an unwritable output: no file at all.
        short = self.write("7", bytes(10))
        for args, code_wanted in (((short, "--rate", "200"), 1), ((self.ramp, "-o", self.dir), 1),
                                  ((self.ramp, "-o", os.path.join(self.dir, "none", "x.edf")), 1)):
            code, out, err = run("edf", *args, "-o", edf + "2") if "-o" not in args else run("edf", *args)
            self.assertEqual((code, out), (code_wanted, ""), args)
            self.assertTrue(err.startswith(PREFIX), err)
        self.assertFalse(os.path.exists(edf + "2"))
        self.assertFalse(os.path.exists(os.path.join(self.dir, "none")))

    def test_png_default_name_without_display_and_named(self):
        # No display, and a platform named that cannot work here: still a picture.
        env = {"DISPLAY": "", "WAYLAND_DISPLAY": "", "QT_QPA_PLATFORM": "xcb"}
        code, out, err = run("png", self.ramp, "--rate", "200", env=env)
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out, f"图片已保存到“{self.ramp}.png”\n")
        width, height = png_size(self.ramp + ".png")
        self.assertGreater(width, RECORD_SIZE)
        self.assertGreater(height, 500)
        out_path = os.path.join(self.dir, "picture")  # no suffix: still PNG
        code, _, err = run("png", "-o", out_path, self.ramp)
        self.assertEqual((code, err), (0, ""))
        png_size(out_path)

    # Bad files: one line on stderr, exit 1.

    def test_bad_files_and_unsaveable_pictures(self):
        # A fifo is unreadable and does not hang; no picture of a bad file.
        empty, short, fifo = self.write("3", b""), self.write("8", bytes(10)), os.path.join(self.dir, "4")
        os.mkfifo(fifo)
        target = os.path.join(self.dir, "no-such-folder", "x.png")
        cases = [
            (("csv", self.dir), f"“{self.dir}”是文件夹，不是记录文件"),
            (("png", empty), f"文件“{empty}”是空的，记录文件应为 1146 字节"),
            (("png", short), f"警告：文件“{short}”只有 10 字节，记录文件应为 1146 字节，记录不完整"),
            (("png", self.ramp, "-o", target), f"无法保存图片“{target}”"),
            (("png", self.ramp, "-o", self.dir), f"不能保存到“{self.dir}”：它是文件夹"),
        ] + [((command, fifo), f"无法读取“{fifo}”：不是普通文件") for command in ("show", "png", "csv")]
        for args, message in cases:
            self.assertRefused(args, 1, message)

    def test_short_file_is_still_shown(self):
        short = self.write("5", bytes(range(100)))
        out = self.assertRefused(("show", short), 1, f"警告：文件“{short}”只有 100 字节，记录文件应为 1146 字节，记录不完整", None)
        self.assertEqual(out.splitlines()[:3], [
            f"文件“{short}”：100 字节（应为 1146 字节）",
            "  没有索引信息，按存储顺序：100 个采样",
            "  最小值 0，最大值 99，平均值 49.5",
        ])

    def test_long_file_uses_the_record_part(self):
        # An older, longer file keeps its tail behind a new record.
        long = self.write("6", bytes(RECORD_SIZE) + b"\xff" * 854)
        warning = f"警告：文件“{long}”有 2000 字节，记录文件应为 1146 字节，只使用前 1146 字节"
        self.assertIn("  最小值 0，最大值 0，平均值 0.0", self.assertRefused(("show", long), 1, warning, None))
        self.assertEqual(len(self.assertRefused(("csv", long), 1, warning, None).splitlines()), RECORD_SIZE + 1)
        self.assertRefused(("png", long), 1, warning)

    def test_show_goes_on_past_a_missing_file(self):
        out = self.assertRefused(("show", "nonexistent", self.ramp), 1, "找不到文件“nonexistent”", None)
        self.assertTrue(out.startswith(f"文件“{self.ramp}”：1146 字节\n"))

    def test_png_never_overwrites_the_record(self):
        self.assertRefused(("png", self.ramp, "-o", self.ramp), 2, f"图片不能保存到记录文件“{self.ramp}”本身")

    # Command lines: one line on stderr, exit 2.

    def test_usage_errors(self):
        see = "，用法见 pulse-record --help"
        cases = [
            ((), "缺少命令" + see),
            (("plot", "1"), "未知命令“plot”" + see),
            (("show",), "缺少记录文件" + see),
            (("png", "1", "2"), "png 命令只接受一个记录文件"),
            (("--rate", "200"), "缺少命令" + see),
            (("csv", "1", "2"), "csv 命令只接受一个记录文件"),
            (("show", "1", "--rate"), "选项 --rate 缺少参数" + see),
            (("show", "1", "--rate", "200", "--rate", "300"), "选项 --rate 只能给出一次"),
            (("png", "1", "-o"), "选项 -o 缺少参数" + see),
            (("png", "1", "-o", ""), "选项 -o 缺少参数" + see),
            (("show", "1", "-x"), "未知选项“-x”" + see),
            (("show", "1", "--verbose"), "未知选项“--verbose”" + see),
            (("csv", "1", "-o", "a.png"), "选项 -o 只用于 png 和 edf 命令"),
        ] + [(("show", "1", "--rate", rate), "采样速率“%s”无效：应为 1 到 100000 之间的数（单位 Hz）" % rate)
             for rate in ("fast", "0", "-200", "nan", "inf")]
        for args, message in cases:
            self.assertRefused(args, 2, message)

    def test_help(self):
        # Help answers any command line, however wrong the rest of it is.
        code, out, err = run("--help")
        self.assertEqual((code, err), (0, ""))
        for args in (("-h",), ("plot", "--verbose", "-h"), ("show", "--rate", "--help")):
            self.assertEqual(run(*args), (0, out, ""), args)
        # Every command has a usage line, and every usage line, filled in, is
        # a command line the tool carries out.
        usage = [line.split()[1:] for line in out.splitlines() if line.startswith("  pulse-record ")]
        self.assertEqual({words[0] for words in usage}, {"show", "png", "csv", "edf", "sessions", "--help"})
        stem = os.path.join(self.dir, "sessions", "20261208-153000")
        recording.write(stem, recording.pulse(600, 200), [(0, 0, "start", 200, 4, 2)], SessionToolTest.START)
        fill = {"FILE": self.ramp, "SESSION": stem, "HZ": "200", "T": "0", "FOLDER": self.dir,
                "OUT.png": os.path.join(self.dir, "out.png"), "OUT.edf": os.path.join(self.dir, "out.edf")}
        for words in usage:
            args = [fill.get(w.strip("[]").rstrip("."), w.strip("[]")) for w in words]
            if "--to" in args:
                args[args.index("--to") + 1] = "2"
            code, _, err = run(*args)
            self.assertEqual(code, 0, (args, err))


class SessionToolTest(FolderTest):
    """A recording left by a killed program: 30 s at 200 Hz, a marker, 500 Hz,
    a gain change and a marker, the port lost for 5 s, a Stop, a serial
    number, a Start, a baseline change; a marker whose samples never reached
    the disk and a torn last line."""

    START = datetime.datetime(2026, 12, 8, 15, 30, tzinfo=datetime.timezone(datetime.timedelta(hours=8)))

    def setUp(self):
        super().setUp()
        self.stem = os.path.join(self.dir, "sessions", "20261208-153000")
        ev = [(0, 0, "start", 200, 4, 2), (4000, 20.005, "marker", 1), (6000, 30, "rate", 500),
              (11000, 40, "gain", 5), (11000, 40, "marker", 2), (13500, 45, "lost"), (13500, 50, "back"),
              (18500, 60, "stop", 2, "ab" * 32), (18500, 65, "serial", 2468), (18500, 70, "start", 500, 5, 2),
              (21000, 75, "baseline", 2), (24500, 82, "time"), (25000, 83, "marker", 3)]
        ev += [(200 * k, k, "time") for k in range(1, 30)] + [(6000 + 500 * k, 30 + k, "time") for k in range(1, 15)]
        ev.sort(key=lambda e: e[0])
        self.samples = (recording.pulse(6000, 200) + recording.pulse(7500, 500) + recording.pulse(5000, 500)
                        + recording.pulse(6000, 500))
        recording.write(self.stem, self.samples, ev, self.START, torn=b"24500\t2026-12-08T15:31:22.0")

    SUMMARY = "开始于 2026-12-08T15:30:00.000+08:00，时长 0:01:22，24500 个采样，2 个标记，采样速率 200、500 Hz"

    def test_sessions_lists_the_records_folder_or_its_sessions_folder(self):
        listing = ["文件夹“{}”中有 1 个会话记录：", "  20261208-153000：" + self.SUMMARY]
        for args, cwd, shown in (((self.dir,), None, os.path.join(self.dir, "sessions")),
                                 ((), os.path.join(self.dir, "sessions"), "."), ((), self.dir, "sessions")):
            code, out, err = run("sessions", *args, cwd=cwd)
            self.assertEqual((code, err), (0, ""), args)
            self.assertEqual(out.splitlines(), [listing[0].format(shown), listing[1]])
        code, out, err = run("sessions", os.path.join(self.dir, "sessions", "none"))
        self.assertEqual((code, out), (1, ""))

    def test_show_a_killed_programs_recording(self):
        code, out, err = run("show", self.stem + ".samples")
        self.assertEqual((code, err), (0, ""))
        lines = out.splitlines()
        self.assertEqual(lines[:5], [
            f"会话记录“{self.stem}.samples”", "  " + self.SUMMARY, "  中断 2 次（停止或端口断开），共 0:00:15 无采样",
            "  事件文件中有 2 行未用（末尾未写完、无法识别或所指采样尚未写入）", "事件："])
        self.assertEqual([line.split("  ")[-1] for line in lines[5:16]], [
            "开始", "标记 1", "采样速率 500Hz", "放大倍率 5x", "标记 2", "端口断开", "端口恢复", "停止 记录 2",
            "序列号 2468", "开始", "基线 2"])
        self.assertEqual(lines[6], "  15:30:20.005（20.005 秒）  采样 4000  标记 1")
        self.assertEqual(lines[16], "脉率（每 10 秒）：")
        # Windows stop at the rate change, the gap and the Stop.
        self.assertEqual([line[2:21] for line in lines[17:]], [
            "15:30:00 至 15:30:10", "15:30:10 至 15:30:20", "15:30:20 至 15:30:30", "15:30:30 至 15:30:40",
            "15:30:40 至 15:30:45", "15:30:50 至 15:31:00", "15:31:10 至 15:31:20"])
        self.assertTrue(all("脉率 72.0 次/分" in line for line in lines[17:]), lines[17:])

    def test_csv(self):
        code, out, err = run("csv", self.stem)
        self.assertEqual((code, err), (0, ""))
        rows = out.splitlines()
        self.assertEqual(len(rows), 1 + len(self.samples))
        self.assertEqual(rows[0], "sample,time,value,event")
        self.assertEqual(rows[1], f"0,2026-12-08T15:30:00.000+08:00,{self.samples[0]},开始")
        self.assertEqual(rows[6002], f"6001,2026-12-08T15:30:30.002+08:00,{self.samples[6001]},")
        self.assertEqual(rows[13501], f"13500,2026-12-08T15:30:50.000+08:00,{self.samples[13500]},端口断开; 端口恢复")
        self.assertEqual(rows[18501].split(",")[3], "停止 记录 2; 序列号 2468; 开始")
        self.assertEqual([int(r.split(",")[2]) for r in rows[1:]], list(self.samples))

    def test_edf_files_split_where_the_rate_changes(self):
        target = os.path.join(self.dir, "out.edf")
        code, out, err = run("edf", self.stem, "-o", target)
        self.assertEqual((code, err), (0, ""))
        second = os.path.join(self.dir, "out-2.edf")
        self.assertEqual(out, f"EDF 文件已保存到“{target}”（采样速率 200 Hz，6000 个采样）\n"
                              f"EDF 文件已保存到“{second}”（采样速率 500 Hz，18500 个采样）\n")
        code, _, err = run("edf", self.stem)
        self.assertEqual((code, err), (0, ""))
        self.assertTrue(os.path.exists(self.stem + "-2.edf"))

    def test_png_of_a_span(self):
        code, out, err = run("png", self.stem)
        self.assertEqual((code, out, err), (0, f"图片已保存到“{self.stem}.png”\n", ""))
        width, whole = png_size(self.stem + ".png")
        self.assertGreater(width, 1200)
        part = os.path.join(self.dir, "part.png")
        code, _, err = run("png", self.stem, "-o", part, "--from", "25", "--to", "15:30:55")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(png_size(part)[0], width)
        self.assertLess(png_size(part)[1], whole / 2)  # three rows of ten seconds, not nine
        self.assertRefused(("png", self.stem, "--from", "90"), 1, "所选时段中没有采样")

    def test_usage(self):
        cases = [
            (("show", self.stem, "--rate", "200"), f"“{self.stem}”是会话记录，选项 --rate 和 --as-stored 只用于记录文件"),
            (("png", self.stem, "--from", "soon"), "时间“soon”无效：应为从开始算起的秒数（如 90）或时刻（如 15:31:20）"),
            (("csv", self.stem, "--to", "10"), "选项 --from 和 --to 只用于会话记录的 png 命令"),
            (("edf", self.stem, self.stem), "edf 命令一次只导出一个会话记录，且不与记录文件合并"),
            (("sessions", "a", "b"), "sessions 命令只接受一个文件夹"),
            (("png", self.stem, "-o", self.stem + ".events"), f"图片不能保存到记录文件“{self.stem}.events”本身"),
        ]
        for args, message in cases:
            self.assertRefused(args, 2, message)
        self.assertRefused(("show", self.stem + "x"), 1, f"找不到文件“{self.stem}x”")


class HostileInputTest(FolderTest):
    """Crafted recordings, indexes and outputs: each a clear error or a right
    result within the time limit, with nothing but the named output touched."""

    START = SessionToolTest.START
    RAMP = "2"

    def setUp(self):
        super().setUp()
        self.stem = os.path.join(self.dir, "20261208-153000")

    def session(self, events, count=4000, rate=200):
        recording.write(self.stem, recording.pulse(count, rate), [(0, 0, "start", rate, 1, 0)] + events, self.START)

    def events_file(self, data):
        with open(self.stem + ".events", "wb") as f:
            f.write(data)

    def test_rates_the_sensor_never_had(self):
        events = self.stem + ".events"
        for rate in ("0.01", "0.049", "1e300", "9.3e17", "inf", "1e-320", "2e10", "1e12", "960", "fast"):
            for line, kind in ((2, "start"), (4, "rate")):
                self.session([(200, 1, "time")] + ([(400, 2, "rate", rate)] if kind == "rate" else []))
                if kind == "start":
                    self.events_file(open(events, "rb").read().replace(b"start\t200", b"start\t" + rate.encode()))
                message = f"会话记录的事件文件“{events}”第 {line} 行的采样速率“{rate}”无效：应为 200、300、400、500、1000 Hz 之一"
                for command in ("show", "png", "csv", "edf"):
                    self.assertRefused((command, self.stem), 1, message)

    def test_events_files_that_are_no_recording(self):
        header = recording.event_line(0, self.START, recording.MAGIC, "%s").decode()
        not_one = f"“{self.stem}”不是会话记录：事件文件的第一行不对"
        newer = f"会话记录“{self.stem}”的格式版本为 %s，本程序只能读取版本 1，请使用更新的 pulse-record"
        cases = [(b"", f"“{self.stem}”不是会话记录：事件文件是空的"), (b"\x00\xff\xfe binary", not_one),
                 (header.replace("\t%s", "").encode(), not_one), (header.replace("%s", "one").encode(), not_one),
                 ((header % 2).encode(), newer % 2), ((header % 999).encode(), newer % 999)]
        self.session([])
        for data, message in cases:
            self.events_file(data)
            for command in ("show", "csv"):
                self.assertRefused((command, self.stem), 1, message)

    def test_things_that_stand_for_an_index_or_a_record(self):
        index = os.path.join(self.dir, "index.tsv")
        not_a_file = f"记录索引“{index}”不是普通文件，未读取，按存储顺序使用"
        loop = os.path.join(self.dir, "loop")
        os.symlink(loop, loop)
        cases = [(lambda: os.mkfifo(index), not_a_file), (lambda: os.symlink("/dev/zero", index), not_a_file),
                 (lambda: os.symlink("/dev/urandom", index), not_a_file), (lambda: os.symlink(loop, index), not_a_file),
                 (lambda: open(index, "wb").truncate(65 << 20),
                  f"记录索引“{index}”超过 64 MiB，不是记录索引，未读取，按存储顺序使用")]
        for make, message in cases:
            make()
            out = self.assertRefused(("show", self.ramp), 1, message, None)
            self.assertIn("按存储顺序：1145 个采样", out)
            os.remove(index)
        self.assertRefused(("csv", loop), 1, f"无法读取“{loop}”：不是普通文件")

    def test_outputs_it_did_not_make(self):
        self.session([(200, 1, "time")])
        open(os.path.join(self.dir, "index.tsv"), "w").close()
        guarded = "不覆盖“{}”：它{}；确要覆盖请加 --force"
        fifo = os.path.join(self.dir, "fifo")
        os.mkfifo(fifo)
        cases = [(("png", self.stem, "-o", self.ramp), 2, guarded.format(self.ramp, "是记录文件")),
                 (("png", self.stem, "-o", self.ramp + ".~3~"), 2, None),
                 (("edf", self.stem, "-o", os.path.join(self.dir, "index.tsv")), 2, None),
                 (("edf", self.ramp, "--rate", "200", "-o", self.stem + ".samples"), 2, None),
                 (("png", self.ramp, "-o", fifo), 2, guarded.format(fifo, "不是普通文件")),
                 (("png", self.stem, "-o", "/dev/null"), 1, "不能保存到“/dev/null”：它是设备"),
                 (("png", self.stem, "-o", "/dev/full", "--force"), 1, "不能保存到“/dev/full”：它是设备"),
                 (("png", self.stem, "-o", self.dir, "--force"), 1, f"不能保存到“{self.dir}”：它是文件夹")]
        open(self.ramp + ".~3~", "wb").close()
        for args, code, message in cases:
            got, out, err = run(*args)
            self.assertEqual((got, out), (code, ""), args)
            if message:
                self.assertEqual(err, PREFIX + message + "\n")
        self.assertEqual(os.path.getsize(self.ramp), RECORD_SIZE)
        self.assertTrue(stat.S_ISCHR(os.stat("/dev/null").st_mode))
        code, _, err = run("png", self.stem, "-o", self.ramp, "--force")
        self.assertEqual((code, err), (0, ""))
        png_size(self.ramp)
        self.assertFalse([n for n in os.listdir(self.dir) if "temp" in n])

    def test_a_failed_second_part_takes_the_first_with_it(self):
        self.session([(200, 1, "time"), (400, 2, "rate", 500)], count=3000)
        first, second = os.path.join(self.dir, "s.edf"), os.path.join(self.dir, "s-2.edf")
        os.symlink(os.path.join(self.dir, "none", "x.edf"), second)
        got, out, err = run("edf", self.stem, "-o", first, "--force")
        self.assertEqual((got, out), (1, ""))
        self.assertTrue(err.startswith(PREFIX + f"无法保存 EDF 文件“{second}”"), err)
        self.assertEqual(sorted(os.listdir(self.dir)), sorted([os.path.basename(self.stem) + s for s in (".events", ".samples")] + ["2", "s-2.edf"]))

    def test_results_that_cannot_be_written(self):
        self.session([(200, 1, "time")], count=400000)
        for args in (("show", self.ramp), ("csv", self.ramp), ("show", self.stem), ("csv", self.stem), ("--help",)):
            reader, closed = os.pipe()
            os.close(reader)  # a reader that went away
            full = os.open("/dev/full", os.O_WRONLY)
            for stdout in (full, closed):
                p = subprocess.run([TOOL, *args], stdout=stdout, stderr=subprocess.PIPE, timeout=30)
                self.assertEqual((p.returncode, p.stderr.decode()),
                                 (1, PREFIX + "无法写出到标准输出（磁盘已满或管道已关闭），输出不完整\n"), args)
                os.close(stdout)

    def test_a_recording_the_program_made(self):
        # The program's own, of 2026-12-09 (a ramp; 500 Hz and 5x, two
        # markers, Stop, Start, the port lost and back, Stop): every later
        # reader reads it as the reader of that day did.
        kept, stem = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data"), "20261209-152217"
        with open(os.path.join(kept, stem + ".show"), encoding="utf-8") as f:
            self.assertEqual(run("show", stem, cwd=kept), (0, f.read(), ""))
        csv = run("csv", stem, cwd=kept)[1].encode()
        self.assertEqual(hashlib.sha256(csv).hexdigest(), "850f1c412a14bddd5ecb728d4ce89cab16b47e8888469a82a3ce57a0418a2ce8")

    def test_a_clock_set_during_a_recording(self):
        # Forty seconds at 200 Hz, the clock set back an hour at 20 s (or on an hour).
        for step in (-3600, 3600):
            self.session([(200 * k, k + (step if k > 20 else 0), "time") for k in range(1, 40)], count=8000)
            code, out, err = run("show", self.stem)
            self.assertEqual((code, err), (0, ""))
            self.assertIn("时长 0:00:40，8000 个采样", out)
            self.assertNotIn("中断", out)
            times = [row.split(",")[1] for row in run("csv", self.stem)[1].splitlines()[1:]]
            self.assertEqual(times, sorted(times))
            self.assertEqual(times[4100], "2026-12-08T15:30:20.500+08:00")
            for span in (("--from", "0", "--to", "2"), ("--from", "25", "--to", "30")):
                self.assertEqual(run("png", self.stem, *span)[0], 0, span)


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
