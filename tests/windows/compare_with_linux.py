#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The Windows quillet-convert.exe, under Wine, gives the Linux build's bytes.

Converts the same mailboxes with both programs, both directions: generated
LF, CR LF, CR-only, MMDF and .box mailboxes, the fuzzer's seed corpus, and
mailboxes with Chinese names, with paths given as Linux writes them, as
Windows writes them (Z:\\...) and relative to the working folder (.\\...).
Every output must match byte for byte, and the result lists must report the
same message counts. The only bytes allowed to differ are mbox separator
dates that both programs took from the time of their own run (messages
without a usable date).

usage: compare_with_linux.py WINE_RUN WINDOWS_EXE LINUX_CONVERT LINUX_MAKE_MAILBOX CORPUS
"""
import email.utils
import mailbox
import os
import shutil
import subprocess
import sys
import tempfile
import time

wine_run, windows_exe, linux_convert, make_mailbox, corpus = sys.argv[1:6]


def run(command, cwd=None):
    started = time.time()
    done = subprocess.run(command, cwd=cwd, capture_output=True, timeout=600)
    if done.returncode != 0:
        sys.exit("FAIL: %s exited %d: %s" % (" ".join(command), done.returncode,
                                             done.stderr.decode(errors="replace")))
    return done.stdout, (started - 2, time.time() + 2)


def is_run_date(line, window):
    """A separator 'From - <asctime>' dated within the run's window."""
    if not line.startswith(b"From - "):
        return False
    try:
        when = email.utils.parsedate_to_datetime(
            line[7:].decode().strip() + " +0000")
    except (TypeError, ValueError):
        return False
    return window[0] <= when.timestamp() <= window[1]


def same_bytes(linux, windows, linux_window, windows_window):
    if linux == windows:
        return True
    a, b = linux.split(b"\n"), windows.split(b"\n")
    if len(a) != len(b):
        return False
    return all(x == y or (is_run_date(x, linux_window) and
                          is_run_date(y, windows_window))
               for x, y in zip(a, b))


def counts(listing):
    # Each line: source TAB output TAB messages. Paths are spelt each
    # system's way; the counts must agree.
    return [line.split(b"\t")[-1] for line in listing.splitlines()]


work = tempfile.mkdtemp(prefix="quillet-windows-compare-")
try:
    to_box, to_mbox = [], []

    def made(name, data, direction):
        path = os.path.join(work, "in", direction, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        (to_box if direction == "to-box" else to_mbox).append(path)
        return path

    gen = os.path.join(work, "gen")
    os.makedirs(gen)
    for fmt, direction in (("mbox-lf", "to-box"), ("mbox-crlf", "to-box"),
                           ("box", "to-mbox")):
        target = os.path.join(gen, fmt)
        run([make_mailbox, "--format", fmt, "--size", "2M", "--seed", "7",
             target])
        with open(target, "rb") as f:
            made(fmt + (".box" if fmt == "box" else ""), f.read(), direction)
    with open(os.path.join(gen, "mbox-lf"), "rb") as f:
        lf = f.read()
    made("mbox-cr", lf.replace(b"\n", b"\r"), "to-box")
    made("收件箱", lf, "to-box")
    with open(os.path.join(gen, "box"), "rb") as f:
        made("收件箱.box", f.read(), "to-mbox")
    mmdf_path = os.path.join(gen, "mmdf")
    mmdf = mailbox.MMDF(mmdf_path)
    for i, message in enumerate(mailbox.mbox(os.path.join(gen, "mbox-lf"))):
        if i == 40:
            break
        mmdf.add(message)
    mmdf.flush()
    with open(mmdf_path, "rb") as f:
        made("mmdf", f.read(), "to-box")
    # The fuzzer's seeds, those that are mailboxes of their direction (some
    # are fragments that the format check rightly refuses).
    scratch = os.path.join(work, "scratch")
    os.makedirs(scratch)
    for name in sorted(os.listdir(corpus)):
        with open(os.path.join(corpus, name), "rb") as f:
            data = f.read()
        if not data:
            continue
        to_box_seed = data[0] & 1
        path = made("corpus-" + name + ("" if to_box_seed else ".box"),
                    data[1:], "to-box" if to_box_seed else "to-mbox")
        accepted = subprocess.run(
            [linux_convert, "--to-box" if to_box_seed else "--to-mbox",
             "--force", "--quiet", "--output-dir", scratch, path],
            capture_output=True).returncode == 0
        if not accepted:
            os.remove(path)
            (to_box if to_box_seed else to_mbox).remove(path)

    checked = 0
    for flag, sources in (("--to-box", to_box), ("--to-mbox", to_mbox)):
        for spelling in ("linux", "windows", "relative"):
            out_linux = os.path.join(work, "out", flag, spelling, "linux")
            out_windows = os.path.join(work, "out", flag, spelling, "windows")
            os.makedirs(out_linux)
            os.makedirs(out_windows)
            folder = os.path.dirname(sources[0])
            names = [os.path.basename(s) for s in sources]
            if spelling == "linux":
                args, out_arg, cwd = sources, out_windows, None
            elif spelling == "windows":
                args = ["Z:" + s.replace("/", "\\") for s in sources]
                out_arg, cwd = "Z:" + out_windows.replace("/", "\\"), None
            else:
                args = [".\\" + n for n in names]
                out_arg = "Z:" + out_windows.replace("/", "\\")
                cwd = folder
            list_linux, window_linux = run(
                [linux_convert, flag, "--output-dir", out_linux] + sources)
            list_windows, window_windows = run(
                [wine_run, windows_exe, flag, "--output-dir", out_arg] + args,
                cwd=cwd)
            if counts(list_linux) != counts(list_windows):
                sys.exit("FAIL %s %s: message counts differ:\n%r\n%r" %
                         (flag, spelling, list_linux, list_windows))
            if b"\r" in list_windows:
                sys.exit("FAIL: the result list has CR bytes: %r" %
                         list_windows[:200])
            for name in sorted(os.listdir(out_linux)):
                with open(os.path.join(out_linux, name), "rb") as f:
                    a = f.read()
                other = os.path.join(out_windows, name)
                if not os.path.exists(other):
                    sys.exit("FAIL %s %s: Windows wrote no %s" %
                             (flag, spelling, name))
                with open(other, "rb") as f:
                    b = f.read()
                if not same_bytes(a, b, window_linux, window_windows):
                    sys.exit("FAIL %s %s: %s differs" % (flag, spelling, name))
                checked += 1
            extra = set(os.listdir(out_windows)) - set(os.listdir(out_linux))
            if extra:
                sys.exit("FAIL: Windows left more files: %s" % sorted(extra))
    if checked < 20:
        sys.exit("FAIL: only %d outputs compared" % checked)
    print("%d outputs of the Windows build match the Linux build's" % checked)
finally:
    shutil.rmtree(work, ignore_errors=True)
