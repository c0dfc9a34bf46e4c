#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes a corpus of mailboxes with the real programs that write mboxes in
the wild: mutt and NeoMutt saving messages, Dovecot's LDA delivering them,
git format-patch, Python's mailbox module (mbox and MMDF) and formail. The tiny
line-end variants that no installed writer produces are derived from those
files afterwards.

    make_corpus.py OUTDIR

Prints one line per writer that is not installed and leaves its files out.
Every file is small; nothing generated is kept in the source tree.
"""

import mailbox
import os
import pwd
import shlex
import shutil
import subprocess
import sys
import tempfile

# The messages handed to every writer, as a sender's program would pass them
# on: LF line ends, no envelope line. Each targets something that mbox
# writers store in their own way.
MESSAGES = [
    # Body lines that begin with "From " (one with a date and one followed
    # by a header-like line, as a separator would be), and quoted ones.
    b"From: Alice <alice@example.org>\n"
    b"To: bob@example.org\n"
    b"Subject: minutes\n"
    b"Date: Mon, 1 Jan 2024 09:00:00 +0100\n"
    b"Message-ID: <m1@example.org>\n"
    b"\n"
    b"Hello,\n"
    b"\n"
    b"From here on, every paragraph starts with From.\n"
    b">From a line the sender quoted\n"
    b">>From a line quoted twice\n"
    b"From me Mon Jan  1 09:00:00 2024, a line with a date\n"
    b"From the minutes:\n"
    b"Subject: budget\n"
    b"\n"
    b"bye\n",
    # Ends in empty lines of its own; a folded header.
    b"From: Bob <bob@example.org>\n"
    b"Subject: a folded\n"
    b"\tsubject line\n"
    b"Date: Tue, 2 Jan 2024 10:00:00 +0000\n"
    b"\n"
    b"two empty lines follow\n"
    b"\n"
    b"\n",
    # Headers and nothing else.
    b"From: Carol <carol@example.org>\n"
    b"Subject: headers only\n"
    b"Date: Wed, 3 Jan 2024 11:00:00 -0500\n"
    b"\n",
    # A CR byte inside a line, 8-bit text, and "From " as the last line.
    b"From: Dave <dave@example.org>\n"
    b"Subject: stray CR\n"
    b"Date: Thu, 4 Jan 2024 12:00:00 +0000\n"
    b"Content-Type: text/plain; charset=iso-8859-1\n"
    b"Content-Transfer-Encoding: 8bit\n"
    b"\n"
    b"a stray\rCR inside a line\n"
    b"caf\xe9 cr\xe8me\n"
    b"From the end\n",
    # A Content-Length that lies: shorter than the body, ending mid-line.
    b"From: Erin <erin@example.org>\n"
    b"Subject: short Content-Length\n"
    b"Content-Length: 10\n"
    b"Date: Fri, 5 Jan 2024 13:00:00 +0000\n"
    b"\n"
    b"This body is much longer than ten bytes.\n"
    b"From here the reader must not start a message.\n",
    # And one far longer than the body.
    b"From: Frank <frank@example.org>\n"
    b"Subject: long Content-Length\n"
    b"Date: Sat, 6 Jan 2024 14:00:00 +0000\n"
    b"Content-Length: 100000\n"
    b"\n"
    b"Short body.\n"
    b"From here on it is still this message.\n",
    # A body line that begins with the .box separator's 14 bytes: copied as
    # it stands, it would forge a message in the .box.
    b"From: Mallory <mallory@example.org>\n"
    b"Subject: invoice\n"
    b"Date: Sat, 6 Jan 2024 16:00:00 +0000\n"
    b"\n"
    b"See below.\n"
    b"\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S\n"
    b"From: boss@example.org\n"
    b"Subject: URGENT: wire 50,000 EUR today\n"
    b"\n"
    b">\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S quoted\n",
    b"From: Grace <grace@example.org>\n"
    b"Subject: last\n"
    b"Date: Sun, 7 Jan 2024 15:00:00 +0000\n"
    b"\n"
    b"the last message\n",
]

# Commit messages for git format-patch: git copies them into the mail
# unquoted and writes no Content-Length.
COMMITS = [
    "Parser: keep the line\n\n"
    "From here on, every paragraph starts with From.\n"
    ">From a quoted line stays as it is.\n",
    "Docs: a second change\n\n"
    "From the start the text said so.\n\n"
    "From now on it says more.\n",
    "Third change without any From line\n",
]
# A "From " line right before a trailer, which looks like a header field.
TRAILER_COMMIT = ("Parser: read every line\n\n"
                  "From the top of the file it now reads every line.\n"
                  "Signed-off-by: Quillet Test <test@example.org>\n")


def missing(program):
    return shutil.which(program) is None


def drop_root(env):
    """Dovecot refuses mail access as root: run it as nobody then."""
    if os.geteuid() != 0:
        return [], env
    nobody = pwd.getpwnam("nobody")
    env = dict(env, USER="nobody")
    return ["setpriv", "--reuid=%d" % nobody.pw_uid,
            "--regid=%d" % nobody.pw_gid, "--clear-groups"], env


def dovecot_home(folder, inbox):
    """A private Dovecot setup in folder: no daemon, no index on disk."""
    os.makedirs(os.path.join(folder, "mail"), exist_ok=True)
    os.makedirs(os.path.join(folder, "run"), exist_ok=True)
    conf = os.path.join(folder, "dovecot.conf")
    with open(conf, "w") as f:
        f.write("mail_location = mbox:%s:INBOX=%s:INDEX=MEMORY\n"
                "base_dir = %s\nlog_path = /dev/stderr\nssl = no\n"
                % (os.path.join(folder, "mail"), inbox,
                   os.path.join(folder, "run")))
    if os.geteuid() == 0:
        nobody = pwd.getpwnam("nobody")
        for root, dirs, files in os.walk(folder):
            for name in dirs + files + ["."]:
                os.chown(os.path.join(root, name), nobody.pw_uid,
                         nobody.pw_gid)
    prefix, env = drop_root(dict(os.environ, HOME=folder,
                                 USER=os.environ.get("USER", "quillet")))
    return conf, prefix, env


LDA = "/usr/lib/dovecot/dovecot-lda"


def write_dovecot(out, work):
    if not os.access(LDA, os.X_OK):
        return "Dovecot's LDA (%s, package dovecot-core) is not installed" % LDA
    folder = os.path.join(work, "dovecot")
    inbox = os.path.join(folder, "inbox")
    conf, prefix, env = dovecot_home(folder, inbox)
    for i, message in enumerate(MESSAGES):
        subprocess.run(prefix + [LDA, "-c", conf, "-f",
                                 "sender%d@example.org" % i],
                       input=message, env=env, check=True,
                       stderr=subprocess.DEVNULL)
    shutil.copyfile(inbox, os.path.join(out, "dovecot.mbox"))
    return None


def maildir_of_messages(folder):
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(folder, sub))
    for i, message in enumerate(MESSAGES):
        # Names sort in the messages' order; ":2,S" marks them read.
        with open(os.path.join(folder, "cur", "%03d.quillet:2,S" % i),
                  "wb") as f:
            f.write(message)


def run_mutt(home, rc_lines, mailbox_path, keys, program="mutt"):
    """Runs mutt (or NeoMutt) on a pseudo-terminal, typing keys; it quits at
    their end. script(1) gives it the terminal it insists on, so no display
    is needed."""
    rc = os.path.join(home, "muttrc")
    with open(rc, "w") as f:
        f.write("\n".join(["set sort=mailbox-order", "set quit=yes",
                           "set move=no", "set mark_old=no",
                           "set delete=no", "set confirmcreate=no",
                           "set confirmappend=no", "set wait_key=no",
                           "set check_new=no", "set sleep_time=0",
                           "set hostname=example.org",
                           "set folder=" + home]
                          + rc_lines) + "\n")
    command = "%s -n -F %s -f %s -e %s" % (
        program, shlex.quote(rc), shlex.quote(mailbox_path),
        shlex.quote("push " + keys + "<quit>"))
    env = dict(os.environ, HOME=home, TERM="xterm", MAIL=mailbox_path)
    subprocess.run(["script", "-qec", command, "/dev/null"], env=env,
                   check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=30)


def save_with_mutt(out, work, program, package):
    if missing(program):
        return "%s (package %s) is not installed" % (program, package)
    if missing("script"):
        return "script (package bsdutils) is not installed"
    home = os.path.join(work, program)
    os.makedirs(home)
    maildir_of_messages(os.path.join(home, "maildir"))
    for kind, extension in (("mbox", "mbox"), ("MMDF", "mmdf")):
        target = os.path.join(out, "%s.%s" % (program, extension))
        # Tag all, save the tagged ones: the program's own mbox / MMDF
        # writer.
        run_mutt(home, ["set mbox_type=" + kind],
                 os.path.join(home, "maildir"),
                 "<tag-pattern>~A<enter><tag-prefix><save-message>"
                 "<kill-line>%s<enter>" % target, program)
        if not os.path.exists(target):
            raise RuntimeError("%s wrote no %s" % (program, target))
    return None


def write_mutt(out, work):
    return save_with_mutt(out, work, "mutt", "mutt")


def write_neomutt(out, work):
    # NeoMutt's MMDF writer puts no empty line of its own before the
    # closing line, and its Content-Length counts the body's last empty
    # line.
    return save_with_mutt(out, work, "neomutt", "neomutt")


def write_git(out, work):
    if missing("git"):
        return "git (package git) is not installed"
    repo = os.path.join(work, "git")
    env = dict(os.environ, GIT_AUTHOR_NAME="Quillet Test",
               GIT_AUTHOR_EMAIL="test@example.org",
               GIT_COMMITTER_NAME="Quillet Test",
               GIT_COMMITTER_EMAIL="test@example.org",
               GIT_CONFIG_GLOBAL="/dev/null", GIT_CONFIG_SYSTEM="/dev/null",
               HOME=work)
    def git(*args):
        return subprocess.run(["git", "-C", repo] + list(args), env=env,
                              check=True, stdout=subprocess.PIPE).stdout
    os.makedirs(repo)
    git("init", "-q")
    for i, message in enumerate(COMMITS + [TRAILER_COMMIT]):
        with open(os.path.join(repo, "file.txt"), "a") as f:
            f.write("line %d\n" % i)
        git("add", "file.txt")
        env["GIT_AUTHOR_DATE"] = env["GIT_COMMITTER_DATE"] = \
            "2024-02-0%d 12:00:00 +0000" % (i + 1)
        git("commit", "-q", "-m", message)
    with open(os.path.join(out, "git.mbox"), "wb") as f:
        f.write(git("format-patch", "--stdout", "--root", "HEAD~1"))
    with open(os.path.join(out, "git-trailer.mbox"), "wb") as f:
        f.write(git("format-patch", "--stdout", "-1", "HEAD"))
    return None


def write_python(out, work):
    for cls, name in ((mailbox.mbox, "python.mbox"),
                      (mailbox.MMDF, "python.mmdf")):
        box = cls(os.path.join(out, name), create=True)
        box.lock()
        for message in MESSAGES:
            box.add(message)
        box.flush()
        box.unlock()
        box.close()
    return None


def write_formail(out, work):
    if missing("formail"):
        return "formail (package procmail) is not installed"
    with open(os.path.join(out, "formail.mbox"), "wb") as f:
        for message in MESSAGES:
            # formail adds the envelope line and escapes "From " body lines,
            # except inside the body that a Content-Length claims.
            f.write(subprocess.run(["formail"], input=message, check=True,
                                   stdout=subprocess.PIPE).stdout)
    return None


def separators(data):
    """Offsets of the envelope lines of a writer's own mbox output in which
    every body line beginning "From " is quoted."""
    return [i for i in range(len(data))
            if data.startswith(b"From ", i) and (i == 0 or data[i - 1] == 10)]


def with_crlf_content_lengths(data):
    """data (LF, every Content-Length valid, as Dovecot writes it) with CR LF
    line ends and each Content-Length grown by the LFs of its body, so that
    it stays valid: a CR LF mboxcl2 file."""
    out = bytearray()
    pos = 0
    while pos < len(data):
        head_end = data.index(b"\n\n", pos) + 2
        head = data[pos:head_end]
        lines = head.split(b"\n")
        length = None
        for n, line in enumerate(lines):
            if line.lower().startswith(b"content-length:"):
                length = int(line.split(b":", 1)[1])
                body = data[head_end:head_end + length]
                lines[n] = b"Content-Length: %d" % (length + body.count(b"\n"))
                break
        assert length is not None, "a message without Content-Length"
        end = head_end + length
        if data.startswith(b"\n", end):
            end += 1
        out += b"\n".join(lines) + data[head_end:end]
        pos = end
    return bytes(out).replace(b"\n", b"\r\n")


def write_variants(out):
    """Line-end variants and odd layouts that no installed writer makes,
    each derived from a writer's file. Returns {variant: writer's file} for
    the line-end variants, which readers read through that file."""
    made = {}
    def derive(name, parent, transform, read_through=True):
        path = os.path.join(out, parent)
        if not os.path.exists(path):
            return
        with open(path, "rb") as f:
            data = f.read()
        with open(os.path.join(out, name), "wb") as f:
            f.write(transform(data))
        if read_through:
            made[name] = parent
    derive("python-crlf.mbox", "python.mbox",
           lambda d: d.replace(b"\n", b"\r\n"))
    # Old Mac mailboxes: CR alone ends every line. Byte counts stay, so
    # mutt's Content-Length values stay valid.
    derive("mutt-cr.mbox", "mutt.mbox", lambda d: d.replace(b"\n", b"\r"))
    derive("dovecot-crlf.mbox", "dovecot.mbox", with_crlf_content_lengths)
    derive("git-crlf.mbox", "git.mbox", lambda d: d.replace(b"\n", b"\r\n"))
    # Text before the first separator, ending in a line of text.
    derive("python-preamble.mbox", "python.mbox",
           lambda d: b"This mailbox was exported on Monday.\n"
                     b">From a quoted line before any message\n"
                     b"The first message follows.\n" + d, False)
    # A cover note and an empty line before the patches, as transcripts
    # of git format-patch carry them.
    derive("git-cover.mbox", "git.mbox",
           lambda d: b"Cover note: three patches follow.\n\n" + d, False)
    # No separator at all: one message as a program saved it alone.
    def first_message_alone(d):
        start, end = separators(d)[:2]
        return d[d.index(b"\n", start) + 1:end]
    derive("python-message.txt", "python.mbox", first_message_alone, False)
    return made


WRITERS = [("Dovecot", write_dovecot), ("mutt", write_mutt),
           ("NeoMutt", write_neomutt),
           ("git", write_git), ("Python mailbox", write_python),
           ("formail", write_formail)]


def make_corpus(out):
    """Writes the corpus into out. Returns ({variant: parent}, [reasons for
    writers that were not run])."""
    skipped = []
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        for name, writer in WRITERS:
            reason = writer(out, work)
            if reason:
                skipped.append("%s: %s" % (name, reason))
    return write_variants(out), skipped


if __name__ == "__main__":
    variants, skipped = make_corpus(sys.argv[1])
    for reason in skipped:
        print("not written:", reason)
