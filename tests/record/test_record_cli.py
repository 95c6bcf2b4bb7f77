#!/usr/bin/env python3
"""pulse-record run as the operator runs it: good files, every kind of bad
file, and bad command lines. Messages are checked word for word, since they
are what the operator reads; exit codes are what scripts read."""
import os
import subprocess
import sys
import tempfile
import unittest

from pulsetest.image import png_size
from pulsetest.wire import RECORD_SIZE

TOOL = None
PREFIX = "pulse-record: "


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

    # Good files.

    def test_show_good_record(self):
        code, out, err = run("show", self.ramp)
        self.assertEqual((code, err), (0, ""))
        mean = sum(i % 256 for i in range(RECORD_SIZE)) / RECORD_SIZE
        self.assertEqual(out.splitlines()[:2], [
            f"文件“{self.ramp}”：1146 字节",
            f"  最小值 0，最大值 255，平均值 {mean:.1f}",
        ])
        self.assertIn("采样速率 200 Hz", out.splitlines()[2])

    def test_show_says_when_no_pulse(self):
        zero = self.write("2", bytes(RECORD_SIZE))
        code, out, err = run("show", zero, "--rate", "500")
        self.assertEqual((code, err), (0, ""))
        self.assertEqual(out.splitlines()[2], "  未发现脉搏（采样速率 500 Hz）")

    def test_csv(self):
        code, out, err = run("csv", self.ramp, "--rate", "200")
        self.assertEqual((code, err), (0, ""))
        lines = out.splitlines()
        self.assertEqual(len(lines), RECORD_SIZE + 1)
        self.assertEqual(lines[:3], ["index,time_s,value", "0,0.0000,0", "1,0.0050,1"])
        self.assertEqual(lines[-1], "1145,5.7250,121")
        code, out, _ = run("csv", self.ramp)
        self.assertEqual(out.splitlines()[:2], ["index,value", "0,0"])

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

    def test_empty_file(self):
        empty = self.write("3", b"")
        code, out, err = run("png", empty)
        self.assertEqual((code, out), (1, ""))
        self.assertOneError(err, f"文件“{empty}”是空的，记录文件应为 1146 字节")
        self.assertFalse(os.path.exists(empty + ".png"))

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
        self.assertEqual(out.splitlines()[:2], [
            f"文件“{short}”：100 字节（应为 1146 字节）",
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
        png_size(long + ".png")

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
            (("show", "1", "--rate", "fast"), "采样速率“fast”无效：应为 1 到 100000 之间的数（单位 Hz）"),
            (("show", "1", "--rate"), "选项 --rate 缺少参数" + see),
            (("show", "1", "-x"), "未知选项“-x”" + see),
            (("csv", "1", "-o", "a.png"), "选项 -o 只用于 png 命令"),
        ]
        for args, message in cases:
            code, out, err = run(*args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertOneError(err, message)

    def test_help(self):
        code, out, err = run("--help")
        self.assertEqual((code, err), (0, ""))
        for line in ("  pulse-record show FILE... [--rate HZ]",
                     "  pulse-record png FILE [-o OUT.png] [--rate HZ]",
                     "  pulse-record csv FILE [--rate HZ]"):
            self.assertIn(line + "\n", out)


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
