#!/usr/bin/env python3
"""pulse-record run as the operator runs it: good files, every kind of bad
file, and bad command lines. Messages are checked word for word, since they
are what the operator reads; exit codes are what scripts read."""
import hashlib
import os
import subprocess
import sys
import tempfile
import unittest

from pulsetest.image import png_size
from pulsetest.wire import RECORD_SIZE

TOOL = None
PREFIX = "pulse-record: "
NO_INDEX = "  没有索引信息，按存储顺序：1145 个采样，最后 1 字节为填充"
HEADER = "record\tsaved_at\trate_hz\tgain\tbaseline\tport\tdevice\tsample_index\tprevious_sweep_end\tsha256\n"
SAVED_AT = "2024-05-01T10:00:05.250+08:00"


def run(*args, env=None):
    full_env = dict(os.environ)
    full_env.update(env or {})
    p = subprocess.run([TOOL, *args], capture_output=True, timeout=30, env=full_env)
    return p.returncode, p.stdout.decode("utf-8"), p.stderr.decode("utf-8")


class RecordToolTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.ramp = self.write("1", bytes(i % 256 for i in range(RECORD_SIZE)))

    def tearDown(self):
        self.tmp.cleanup()

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def assertOneError(self, err, message):
        self.assertEqual(err, PREFIX + message + "\n")

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
            code, out, err = run("show", self.ramp)
            self.assertEqual(code, 1)
            self.assertOneError(err, message.format(i=os.path.join(self.dir, "index.tsv"), r=self.ramp))
            self.assertEqual(out.splitlines()[1], NO_INDEX)
            self.assertIn("采样速率 200 Hz", out)

    def test_edf(self):
        edf = os.path.join(self.dir, "out.edf")
        # Without an index the rate must be given, and the start is unknown.
        code, out, err = run("edf", self.ramp, "-o", edf)
        self.assertEqual((code, out), (2, ""))
        self.assertOneError(err, f"文件“{self.ramp}”旁没有记录索引，请用 --rate 给出采样速率")
        self.assertFalse(os.path.exists(edf))
        code, out, err = run("edf", self.ramp, self.ramp, "--rate", "200", "-o", edf)
        self.assertEqual((code, out), (0, f"EDF 文件已保存到“{edf}”（2 个记录）\n"))
        self.assertOneError(err, "注意：没有记录索引，开始时间未知，EDF 文件中记为 1985-01-01 00:00:00")
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

    def test_png_default_name_and_without_display(self):
        # No display, and a platform named that cannot work here: still a picture.
        env = {"DISPLAY": "", "WAYLAND_DISPLAY": "", "QT_QPA_PLATFORM": "xcb"}
        code, out, err = run("png", self.ramp, "--rate", "200", env=env)
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out, f"图片已保存到“{self.ramp}.png”\n")
        width, height = png_size(self.ramp + ".png")
        self.assertGreater(width, RECORD_SIZE)
        self.assertGreater(height, 500)

    def test_png_output_option(self):
        out_path = os.path.join(self.dir, "picture")  # no suffix: still PNG
        code, _, err = run("png", "-o", out_path, self.ramp)
        self.assertEqual((code, err), (0, ""))
        png_size(out_path)

    # Bad files: one line on stderr, exit 1.

    def test_missing_file(self):
        code, out, err = run("show", "nonexistent")
        self.assertEqual((code, out), (1, ""))
        self.assertOneError(err, "找不到文件“nonexistent”")

    def test_folder(self):
        code, out, err = run("csv", self.dir)
        self.assertEqual((code, out), (1, ""))
        self.assertOneError(err, f"“{self.dir}”是文件夹，不是记录文件")

    def test_empty_or_short_file_makes_no_picture(self):
        empty = self.write("3", b"")
        code, out, err = run("png", empty)
        self.assertEqual((code, out), (1, ""))
        self.assertOneError(err, f"文件“{empty}”是空的，记录文件应为 1146 字节")
        self.assertFalse(os.path.exists(empty + ".png"))
        short = self.write("8", bytes(10))
        code, out, err = run("png", short)
        self.assertEqual((code, out), (1, ""))
        self.assertOneError(err, f"警告：文件“{short}”只有 10 字节，记录文件应为 1146 字节，记录不完整")
        self.assertFalse(os.path.exists(short + ".png"))

    def test_fifo_is_unreadable_and_does_not_hang(self):
        fifo = os.path.join(self.dir, "4")
        os.mkfifo(fifo)
        for command in ("show", "png", "csv"):
            code, out, err = run(command, fifo)
            self.assertEqual((code, out), (1, ""), command)
            self.assertOneError(err, f"无法读取“{fifo}”：不是普通文件")

    def test_short_file_is_still_shown(self):
        short = self.write("5", bytes(range(100)))
        code, out, err = run("show", short)
        self.assertEqual(code, 1)
        self.assertOneError(err, f"警告：文件“{short}”只有 100 字节，记录文件应为 1146 字节，记录不完整")
        self.assertEqual(out.splitlines()[:3], [
            f"文件“{short}”：100 字节（应为 1146 字节）",
            "  没有索引信息，按存储顺序：100 个采样",
            "  最小值 0，最大值 99，平均值 49.5",
        ])

    def test_long_file_uses_the_record_part(self):
        # An older, longer file keeps its tail behind a new record.
        long = self.write("6", bytes(RECORD_SIZE) + b"\xff" * 854)
        code, out, err = run("show", long)
        self.assertEqual(code, 1)
        self.assertOneError(err, f"警告：文件“{long}”有 2000 字节，记录文件应为 1146 字节，只使用前 1146 字节")
        self.assertIn("  最小值 0，最大值 0，平均值 0.0", out)
        code, out, err = run("csv", long)
        self.assertEqual(code, 1)
        self.assertEqual(len(out.splitlines()), RECORD_SIZE + 1)
        code, out, err = run("png", long)
        self.assertEqual(code, 1)
        self.assertFalse(os.path.exists(long + ".png"))

    def test_show_goes_on_past_a_bad_file(self):
        code, out, err = run("show", "nonexistent", self.ramp)
        self.assertEqual(code, 1)
        self.assertOneError(err, "找不到文件“nonexistent”")
        self.assertTrue(out.startswith(f"文件“{self.ramp}”：1146 字节\n"))

    def test_png_cannot_be_saved(self):
        target = os.path.join(self.dir, "no-such-folder", "x.png")
        code, out, err = run("png", self.ramp, "-o", target)
        self.assertEqual((code, out), (1, ""))
        self.assertOneError(err, f"无法保存图片“{target}”")
        code, out, err = run("png", self.ramp, "-o", self.dir)
        self.assertEqual(code, 1)
        self.assertOneError(err, f"无法保存图片“{self.dir}”")

    def test_png_never_overwrites_the_record(self):
        before = self.read(self.ramp)
        code, _, err = run("png", self.ramp, "-o", self.ramp)
        self.assertEqual(code, 2)
        self.assertOneError(err, f"图片不能保存到记录文件“{self.ramp}”本身")
        self.assertEqual(self.read(self.ramp), before)

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
            code, out, err = run(*args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertOneError(err, message)

    def test_help(self):
        code, out, err = run("--help")
        self.assertEqual((code, err), (0, ""))
        for line in ("  pulse-record show FILE... [--rate HZ] [--as-stored]",
                     "  pulse-record png FILE [-o OUT.png] [--rate HZ] [--as-stored]",
                     "  pulse-record csv FILE [--rate HZ] [--as-stored]",
                     "  pulse-record edf FILE... [-o OUT.edf] [--rate HZ] [--as-stored]"):
            self.assertIn(line + "\n", out)


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
