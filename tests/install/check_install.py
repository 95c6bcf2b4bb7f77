#!/usr/bin/python3
"""Checks what `cmake --install` and the Debian package put on a system.

check_install.py <check> --build DIR --cmake CMAKE --cpack CPACK
                 --version X.Y.Z --programs NAME...
Exits 77 when a tool the check needs is not installed.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zlib

from pulsetest.image import read_png
from pulsetest.layout import TITLE as WINDOW_TITLE

SKIP = 77
RECORDS_FOLDER = "脉搏记录"
ICON_SIZES = (16, 32, 48, 64, 128, 256)
DESKTOP_ENTRY = "share/applications/pulse-demo.desktop"
LAUNCHER = "pulse-demo-launcher"
# Linked by the programs; the package must pull them in.
QT_LIBRARIES = ("libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6serialport6")
# Named by the window's fonts, not found by the linker.
FONT_PACKAGES = ("fonts-arphic-ukai", "fonts-arphic-uming", "fonts-wqy-microhei")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def need(*tools):
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        print("skipped: not installed: " + ", ".join(missing))
        sys.exit(SKIP)


def run(cmd, **kw):
    result = subprocess.run(cmd, capture_output=True, text=True, **kw)
    if result.returncode != 0:
        sys.exit("failed: %s\n%s%s" % (" ".join(cmd), result.stdout, result.stderr))
    return result.stdout


def cmake_install(args, prefix):
    run([args.cmake, "--install", args.build, "--prefix", prefix])


def near(pixel, rgb, tolerance=40):
    return pixel[3] > 200 and all(abs(p - q) <= tolerance for p, q in zip(pixel, rgb))


def check_icon(path, size):
    try:
        width, height, rows = read_png(path)
    except (OSError, ValueError, TypeError, zlib.error) as e:
        check(False, "%s: unreadable: %s" % (path, e))
        return
    if not check((width, height) == (size, size),
                 "%s is %dx%d, not %dx%d" % (path, width, height, size, size)):
        return
    pixels = [p for row in rows for p in row]
    # The window icon: yellow trace and red base line on dark blue.
    blue = sum(near(p, (0, 0, 192)) for p in pixels)
    yellow = sum(near(p, (255, 255, 0)) for p in pixels)
    # One pixel wide at 16 px, so half blended into the ground there.
    red = sum(p[3] > 200 and p[0] >= 80 and p[1] <= 60 for p in pixels)
    check(blue > len(pixels) // 2, "%s: dark-blue ground missing" % path)
    check(yellow > 0, "%s: yellow trace missing" % path)
    check(red > 0, "%s: red base line missing" % path)


def desktop_keys(path):
    keys = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                keys[key.strip()] = value.strip()
    return keys


def check_tree(root, programs):
    """root is the installation prefix (…/usr for the package)."""
    for name in list(programs) + [LAUNCHER]:
        path = os.path.join(root, "bin", name)
        check(os.path.isfile(path) and os.access(path, os.X_OK),
              "bin/%s missing or not executable" % name)
    entry = os.path.join(root, DESKTOP_ENTRY)
    if check(os.path.isfile(entry), DESKTOP_ENTRY + " missing"):
        keys = desktop_keys(entry)
        check(keys.get("Name[zh_CN]") == WINDOW_TITLE,
              "Name[zh_CN] is %r, not the window title" % keys.get("Name[zh_CN]"))
        check(keys.get("GenericName", "").isascii() and keys.get("GenericName"),
              "no English GenericName")
        exec_program = keys.get("Exec", "").split()[0:1]
        check(exec_program == [LAUNCHER], "Exec does not start the launcher: %r" % keys.get("Exec"))
        check(keys.get("Icon") == "pulse-demo", "Icon is %r" % keys.get("Icon"))
    for size in ICON_SIZES:
        icon = os.path.join(root, "share/icons/hicolor/%dx%d/apps/pulse-demo.png" % (size, size))
        if check(os.path.isfile(icon), "icon %dx%d missing" % (size, size)):
            check_icon(icon, size)


# --- checks ----------------------------------------------------------------

def check_install_tree(args, work):
    prefix = os.path.join(work, "prefix")
    cmake_install(args, prefix)
    check_tree(prefix, args.programs)


def check_desktop_entry(args, work):
    need("desktop-file-validate")
    prefix = os.path.join(work, "prefix")
    cmake_install(args, prefix)
    result = subprocess.run(["desktop-file-validate", os.path.join(prefix, DESKTOP_ENTRY)],
                            capture_output=True, text=True)
    output = (result.stdout + result.stderr).strip()
    # Hints are advice; anything stronger would show in some menus.
    complaints = [l for l in output.splitlines() if ": hint: " not in l]
    check(result.returncode == 0 and not complaints,
          "desktop-file-validate:\n" + output)


def run_launcher(launcher, home, xdg_user_dir):
    """Runs the launcher beside a stand-in program that reports its folder.

    xdg_user_dir: None (not installed) or the shell body of a stand-in."""
    bin_dir = os.path.join(home, "bin")
    tools = os.path.join(home, "tools")
    os.makedirs(bin_dir)
    os.makedirs(tools)
    shutil.copy(launcher, bin_dir)
    report = os.path.join(home, "report")
    with open(os.path.join(bin_dir, "pulse-demo"), "w") as f:
        f.write('#!/bin/sh\npwd > "%s"\necho "$#:$*" >> "%s"\n' % (report, report))
    os.chmod(os.path.join(bin_dir, "pulse-demo"), 0o755)
    # Only what the launcher may use, so the system's xdg-user-dir stays out.
    for tool in ("mkdir", "dirname", "sh"):
        os.symlink(shutil.which(tool), os.path.join(tools, tool))
    if xdg_user_dir is not None:
        with open(os.path.join(tools, "xdg-user-dir"), "w") as f:
            f.write("#!/bin/sh\n" + xdg_user_dir + "\n")
        os.chmod(os.path.join(tools, "xdg-user-dir"), 0o755)
    env = {"HOME": home, "PATH": tools, "LANG": "C.UTF-8"}
    result = subprocess.run(["/bin/sh", os.path.join(bin_dir, LAUNCHER)],
                            env=env, cwd=home, capture_output=True, text=True, timeout=10)
    if not check(result.returncode == 0, "launcher failed: " + result.stderr):
        return None, None
    with open(report, encoding="utf-8") as f:
        folder, argline = f.read().splitlines()
    return folder, argline


def check_launcher(args, work):
    prefix = os.path.join(work, "prefix")
    cmake_install(args, prefix)
    launcher = os.path.join(prefix, "bin", LAUNCHER)
    cases = [
        ("no xdg-user-dir", None, "Documents"),
        ("no documents folder set", 'echo "$HOME"', "Documents"),
        ("documents folder set to home/", 'echo "$HOME/"', "Documents"),
        ("xdg-user-dir fails", "exit 1", "Documents"),
        ("documents folder with a space", 'echo "$HOME/My Files"', "My Files"),
    ]
    for number, (what, body, docs) in enumerate(cases):
        home = os.path.join(work, "home%d" % number)
        os.makedirs(home)
        folder, argline = run_launcher(launcher, home, body)
        if folder is None:
            continue
        expected = os.path.join(home, docs, RECORDS_FOLDER)
        check(folder == expected, "%s: started in %r, not %r" % (what, folder, expected))
        check(argline == "0:", "%s: program got arguments %r" % (what, argline))
        check(os.path.isdir(expected), "%s: records folder not created" % what)


def deb_field(deb, field):
    return run(["dpkg-deb", "-f", deb, field]).strip()


def package_names(relation):
    return {alt.strip().split()[0] for part in relation.split(",") for alt in part.split("|") if alt.strip()}


def check_package(args, work):
    need("dpkg-deb", "dpkg-shlibdeps", "dpkg", "file", "strip")
    out = os.path.join(work, "out")
    run([args.cpack, "-G", "DEB", "-B", out, "--config",
         os.path.join(args.build, "CPackConfig.cmake")])
    arch = run(["dpkg", "--print-architecture"]).strip()
    debs = [f for f in os.listdir(out) if f.endswith(".deb")]
    expected_name = "pulse-demo_%s_%s.deb" % (args.version, arch)
    if not check(debs == [expected_name], "packages built: %r, wanted %s" % (debs, expected_name)):
        return
    deb = os.path.join(out, expected_name)

    check(deb_field(deb, "Package") == "pulse-demo", "wrong package name")
    check(deb_field(deb, "Version") == args.version, "version is not the project's")
    check(deb_field(deb, "Architecture") == arch, "wrong architecture")
    check(deb_field(deb, "Description") != "", "no description")
    check(deb_field(deb, "Maintainer") != "", "no maintainer")
    depends = package_names(deb_field(deb, "Depends"))
    wanted = package_names(deb_field(deb, "Depends") + "," + deb_field(deb, "Recommends"))
    for lib in QT_LIBRARIES + FONT_PACKAGES:
        # Debian 13 renamed some library packages for 64-bit time_t.
        check(lib in depends or lib + "t64" in depends, "Depends lacks " + lib)
    # pulse-record's EDFlib, under whatever name the release gives it.
    check(any(name.startswith("libedf") for name in depends), "Depends lacks EDFlib (libedf1)")
    check("qt6-translations-l10n" in wanted, "qt6-translations-l10n neither depended on nor recommended")

    listing = run(["dpkg-deb", "-c", deb])
    check("./usr/bin/pulse-demo\n" in listing, "package listing lacks usr/bin/pulse-demo")

    root = os.path.join(work, "root")
    run(["dpkg", "-x", deb, root])
    usr = os.path.join(root, "usr")
    check_tree(usr, args.programs)
    for name in args.programs:
        described = run(["file", "-b", os.path.join(usr, "bin", name)])
        check("not stripped" not in described, "%s is not stripped" % name)
    check_starts(os.path.join(usr, "bin", "pulse-demo"), work)


def check_starts(program, work):
    """Starts the packaged program without a display and sees it stay up.

    It has no way to be told to quit, so it is killed after a second."""
    runtime = os.path.join(work, "runtime")
    records = os.path.join(work, "records")
    os.makedirs(runtime, mode=0o700)
    os.makedirs(records)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime)
    proc = subprocess.Popen([program], cwd=records, env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    time.sleep(1.0)
    alive = proc.poll() is None
    if alive:
        proc.send_signal(signal.SIGKILL)
    output = proc.communicate()[0]
    check(alive, "packaged pulse-demo exited at once (status %s):\n%s" % (proc.returncode, output))


CHECKS = {
    "tree": check_install_tree,
    "desktop": check_desktop_entry,
    "launcher": check_launcher,
    "package": check_package,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=sorted(CHECKS))
    parser.add_argument("--build", required=True)
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--programs", nargs="+", required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="pulse-install-") as work:
        CHECKS[args.check](args, work)
    if failures:
        print("\n".join("FAIL: " + f for f in failures))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
