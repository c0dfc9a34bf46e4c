#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads quillet-convert's mbox output with Python's mailbox module, a real
mbox reader, and checks that every message of a .box mailbox comes back with
its headers and body lines."""

import mailbox
import os
import subprocess
import sys
import tempfile
import unittest

CONVERT = sys.argv.pop(1) if len(sys.argv) > 1 else "quillet-convert"
SEP = b"\x10" * 7 + b"\x11" * 6 + b"S"

# (headers, body lines) of each message in the .box source.
MESSAGES = [
    ([b"Date: Mon, 1 Jan 2024 09:00:00 +0100", b"From: a@example.org",
      b"Subject: first"],
     [b"Hello,", b"From here on the line looks like a separator.",
      b">From quoted already", b"", b"bye"]),
    # No Date header at all.
    ([b"From: b@example.org", b"Subject: second, undated"],
     [b"body of two"]),
    # No empty line before the next separator.
    ([b"Date: Tue, 2 Jan 2024 10:00:00 GMT", b"Subject: third"],
     [b"last line right before a separator"]),
    ([b"Date: 3 Jan 2024 11:00:00 -0500 (EST)", b"Subject: fourth"],
     [b">>From two levels", b"From the end", b""]),
    # Headers only, no body.
    ([b"Subject: fifth, no body"], []),
]


def box_source():
    out = b""
    for headers, body in MESSAGES:
        out += SEP + b"\r\n" + b"\r\n".join(headers) + b"\r\n\r\n"
        out += b"".join(line + b"\r\n" for line in body)
    return out


def unquote(line):
    """mboxrd: one '>' less in front of any number of '>' and "From "."""
    stripped = line.lstrip(b">")
    if line.startswith(b">") and stripped.startswith(b"From "):
        return line[1:]
    return line


class PythonMailboxReadsOutput(unittest.TestCase):
    def convert(self, source_bytes, name, direction):
        folder = tempfile.mkdtemp()
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(source_bytes)
        subprocess.run([CONVERT, direction, "--quiet", "--", path],
                       check=True, stdout=subprocess.DEVNULL)
        return folder

    def test_every_message_comes_back(self):
        folder = self.convert(box_source(), "Inbox.box", "--to-mbox")
        box = mailbox.mbox(os.path.join(folder, "Inbox"), create=False)
        messages = list(box)
        self.assertEqual(len(messages), len(MESSAGES))
        for message, (headers, body) in zip(messages, MESSAGES):
            for header in headers:
                name, value = header.decode().split(": ", 1)
                self.assertEqual(message[name], value)
            # The reader hands the body back as stored, quoted lines
            # included. The empty line before a separator belongs to the
            # separator, so a body's own last empty line serves as it.
            lines = message.get_payload(decode=True).split(b"\n")
            self.assertEqual(lines.pop(), b"")
            self.assertEqual([unquote(l) for l in lines], body)

    def test_separator_lines_carry_the_message_dates(self):
        folder = self.convert(box_source(), "Inbox.box", "--to-mbox")
        box = mailbox.mbox(os.path.join(folder, "Inbox"), create=False)
        froms = [m.get_from() for m in box]
        self.assertEqual(froms[0], "- Mon Jan  1 08:00:00 2024")
        self.assertEqual(froms[2], "- Tue Jan  2 10:00:00 2024")
        self.assertEqual(froms[3], "- Wed Jan  3 16:00:00 2024")
        # The undated message gets the time of the run, in the same form.
        self.assertRegex(froms[1], r"^- \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}$")

    def test_round_trip_through_box_keeps_every_message(self):
        folder = self.convert(box_source(), "Inbox.box", "--to-mbox")
        mbox_path = os.path.join(folder, "Inbox")
        # Replaces the Inbox.box it came from: agreed with --force.
        subprocess.run([CONVERT, "--to-box", "--quiet", "--force", "--",
                        mbox_path],
                       check=True, stdout=subprocess.DEVNULL)
        with open(mbox_path + ".box", "rb") as f:
            back = f.read()
        self.assertEqual(back.count(SEP + b"\r\n"), len(MESSAGES))


if __name__ == "__main__":
    unittest.main(verbosity=2)
