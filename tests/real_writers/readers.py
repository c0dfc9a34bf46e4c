# SPDX-License-Identifier: GPL-3.0-or-later
"""The messages that real mail readers find in a mailbox file: mutt, Dovecot
and Python's mailbox module. Each reader returns the raw bytes of every
message it finds, in file order, without the envelope ("From ") line, or
None when it does not take the file for a mailbox at all."""

import mailbox
import os
import shutil
import subprocess
import tempfile

from make_corpus import LDA, dovecot_home, run_mutt

MMDF_MARK = b"\x01\x01\x01\x01\n"

# Header fields that Dovecot keeps to itself in an mbox and never shows.
DOVECOT_HIDDEN = (b"content-length", b"status", b"x-status", b"x-keywords",
                  b"x-uid", b"x-imap", b"x-imapbase")


def is_mmdf(path):
    with open(path, "rb") as f:
        return f.read(len(MMDF_MARK)) == MMDF_MARK


def read_python(path):
    box = (mailbox.MMDF if is_mmdf(path) else mailbox.mbox)(path,
                                                            create=False)
    try:
        return [box.get_bytes(key) for key in box.keys()]
    finally:
        box.close()


# Ends every message mutt pipes out; no message of the corpus holds it.
MUTT_END = b"\n@@quillet-reader-message-end@@\n"


def read_mutt(path):
    """Tags every message and pipes them all, undecoded, into one file: the
    bytes mutt's own parser assigns to each message."""
    with tempfile.TemporaryDirectory() as home:
        source = os.path.join(home, "mailbox")
        shutil.copyfile(path, source)
        piped = os.path.join(home, "piped")
        run_mutt(home, ["set read_only=yes", "set pipe_split=no",
                        "set pipe_decode=no",
                        "set pipe_sep=\"%s\"" % MUTT_END.decode().replace(
                            "\n", "\\n")],
                 source,
                 "<tag-pattern>~A<enter><tag-prefix><pipe-message>"
                 "cat\\ >%s<enter>" % piped)
        if not os.path.exists(piped):
            return []
        with open(piped, "rb") as f:
            pieces = f.read().split(MUTT_END)
        messages = []
        for data in pieces[:-1]:
            if data.startswith(b"From "):
                data = data[data.find(b"\n") + 1:]
            messages.append(data)
        return messages


def read_dovecot(path):
    """doveadm fetch on a copy (Dovecot writes its own headers into an mbox
    it opens): every message's text as Dovecot serves it."""
    with tempfile.TemporaryDirectory() as home:
        os.chmod(home, 0o755)
        inbox = os.path.join(home, "inbox")
        shutil.copyfile(path, inbox)
        conf, prefix, env = dovecot_home(home, inbox)
        run = subprocess.run(prefix + ["doveadm", "-c", conf, "-f", "pager",
                                       "fetch", "uid text", "mailbox",
                                       "INBOX", "all"],
                             env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        if run.returncode != 0:
            return None
        out = run.stdout
        if not out:
            return []
        # Records "uid: N\ntext:\n<text>", separated by a form feed line.
        records = (b"\n" + out).split(b"\f\nuid: ")
        records[0] = records[0][len(b"\nuid: "):]
        return [r[r.index(b"\ntext:\n") + len(b"\ntext:\n"):]
                for r in records]


def dovecot_missing():
    if shutil.which("doveadm") is None or not os.access(LDA, os.X_OK):
        return "Dovecot (package dovecot-core) is not installed"
    return None


def mutt_missing():
    if shutil.which("mutt") is None:
        return "mutt (package mutt) is not installed"
    if shutil.which("script") is None:
        return "script (package bsdutils) is not installed"
    return None


# name: (function, reason it cannot run or None, header fields it hides)
READERS = {
    "mutt": (read_mutt, mutt_missing, ()),
    "Dovecot": (read_dovecot, dovecot_missing, DOVECOT_HIDDEN),
    "Python": (read_python, lambda: None, ()),
}
