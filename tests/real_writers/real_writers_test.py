#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Mailboxes written by real programs, converted mbox -> .box -> mbox by
quillet-convert: every message must come through as mutt, Dovecot and
Python's mailbox module read it from the original file.

    real_writers_test.py QUILLET_CONVERT

Compared: the message count, and per message its header lines and body,
apart from line ends, one ">" of quoted "From " lines and Content-Length
values. The .box written from the mbox that came back must be the first
.box, byte for byte. Quillet's side is read twice: from the .box itself (split at the
separator lines) and by the same reader from the mbox that comes back.
The few places where Quillet's rules knowingly part from a reader are listed
in KNOWN, each pinned to the lines involved, and printed. Exit code 77 with the reasons when a writer or reader is not installed and
nothing failed.
"""

import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_corpus import make_corpus  # noqa: E402
from readers import READERS, is_mmdf  # noqa: E402

SEP = b"\x10" * 7 + b"\x11" * 6 + b"S"

# The readers that do not read a file right, with why; the others must
# agree with Quillet on it. What the left-out ones find is printed only.
PYTHON_SPLITS = {"Python": "Python's mailbox module takes every line "
                           "beginning \"From \" for a separator, "
                           "Content-Length or not"}
NO_MMDF = "Dovecot reads no MMDF mailbox"
# MMDF writers differ on an empty line before the closing line: Python's
# writes one, mutt's and NeoMutt's do not (their Content-Length marks the
# end), and each reader takes its own writer's way.
MUTT_MMDF = {"Dovecot": NO_MMDF,
             "Python": "Python's takes the last line end before each "
                       "closing line for padding mutt never wrote"}
CORPUS = {
    "mutt.mbox": PYTHON_SPLITS,
    "mutt.mmdf": MUTT_MMDF,
    "neomutt.mbox": PYTHON_SPLITS,
    "neomutt.mmdf": MUTT_MMDF,
    "dovecot.mbox": PYTHON_SPLITS,
    "git.mbox": PYTHON_SPLITS,
    "git-trailer.mbox": PYTHON_SPLITS,
    "python.mbox": {},
    "python.mmdf": {"Dovecot": NO_MMDF,
                    "mutt": "mutt keeps the empty line Python writes before "
                            "each closing line"},
    # formail trusts a Content-Length past the end and leaves the "From "
    # line under it unquoted.
    "formail.mbox": PYTHON_SPLITS,
    # Derived variants. The CR LF and CR ones are read by the readers in the
    # LF file they were made from: the readers know LF files only, and line
    # ends are not compared.
    "python-crlf.mbox": {},
    "mutt-cr.mbox": PYTHON_SPLITS,
    "dovecot-crlf.mbox": PYTHON_SPLITS,
    "git-crlf.mbox": PYTHON_SPLITS,
    "python-preamble.mbox": dict.fromkeys(
        ("mutt", "Dovecot"), "it takes no file for a mailbox whose first "
                             "line is not a separator"),
    "git-cover.mbox": dict(dict.fromkeys(
        ("mutt", "Dovecot"), "it takes no file for a mailbox whose first "
                             "line is not a separator"), **PYTHON_SPLITS),
    "python-message.txt": {},
}
# Files of the corpus that are no mailbox: no line starts a message, as
# every reader agrees (they find none). The format check refuses them.
REFUSED = {"python-message.txt"}
# Where Quillet, following its rules, still differs from a reader that must
# agree: (file, reader, side): (why, messages Quillet has more, the lines of
# the reader's messages that Quillet's side lacks, and the lines it has in
# addition, each in order). Nothing else may differ; a difference that goes
# away fails too, so that the entry goes with it.
KNOWN = {}


def flat(view):
    """A view's messages run together as lines, each message written out
    again as header lines, an empty line and its body."""
    lines = []
    for headers, body in view:
        text = b"\n".join(headers) + b"\n\n" + body
        lines += text.split(b"\n")[:-1] if text.endswith(b"\n") else \
            text.split(b"\n") + [b"(no line end)"]
    return lines


def only_known_difference(view, quillet, known):
    """Whether quillet is view with just the known lines left out or added
    and the known number of messages more."""
    _, more, lost, added = known
    if len(quillet) - len(view) != more:
        return False
    ours, theirs = flat(quillet), flat(view)
    lost, added = list(lost), list(added)
    i = j = 0
    while i < len(theirs) or j < len(ours):
        if i < len(theirs) and j < len(ours) and theirs[i] == ours[j]:
            i, j = i + 1, j + 1
        elif lost and i < len(theirs) and theirs[i] == lost[0]:
            lost.pop(0)
            i += 1
        elif added and j < len(ours) and ours[j] == added[0]:
            added.pop(0)
            j += 1
        else:
            return False
    return not lost and not added


def lf(data):
    return data.replace(b"\r\n", b"\n")


def lf_all(data):
    """A CR-only file's line ends as LF as well."""
    return lf(data).replace(b"\r", b"\n")


QUOTED = re.compile(rb"^>+From ", re.M)
BOX_QUOTED = re.compile(rb"^>+" + re.escape(SEP), re.M)


def unquote(data):
    """One ">" less in front of every line of ">"s and "From "."""
    return QUOTED.sub(lambda m: m.group(0)[1:], data)


def unquote_box(data):
    """One ">" less in front of every line of ">"s and the .box separator's
    bytes, as the .box holds them."""
    return BOX_QUOTED.sub(lambda m: m.group(0)[1:], data)


def split_message(raw):
    """(header lines, body) of an LF message. A header block that never
    closes reads as one with an empty body, as readers that drop the empty
    line before a separator cannot tell them apart."""
    if raw.startswith(b"\n"):
        return [], raw[1:]
    end = raw.find(b"\n\n")
    if end < 0:
        return raw.rstrip(b"\n").split(b"\n"), b""
    return raw[:end].split(b"\n"), raw[end + 2:]


CONTENT_LENGTH = re.compile(rb"^(content-length:[ \t]*)\d+", re.I)


def normal_view(messages, hidden, quoted, cr_ends=False):
    """Messages (LF) as compared: hidden header fields left out, the
    Content-Length number masked, mbox quoting (with `quoted`) or .box
    quoting undone by one level. With
    cr_ends, for a file where a CR alone ends a line, a CR that a reader
    found inside a line of the LF original counts as a line end."""
    view = []
    for raw in messages:
        if cr_ends:
            raw = raw.replace(b"\r", b"\n")
        headers, body = split_message(raw)
        headers = [CONTENT_LENGTH.sub(rb"\1#", h) for h in headers
                   if h.split(b":", 1)[0].strip().lower() not in hidden]
        view.append((headers, unquote(body) if quoted else unquote_box(body)))
    return view


def box_messages(box):
    """The text before the first separator, and each message after its
    separator line, LF, as the .box holds them."""
    starts = [m.start() for m in re.finditer(re.escape(SEP), box)
              if m.start() == 0 or box[m.start() - 1] == 10]
    messages = []
    for start, end in zip(starts, starts[1:] + [len(box)]):
        line_end = box.find(b"\n", start, end)
        messages.append(lf(box[end if line_end < 0 else line_end + 1:end]))
    return lf(box[:starts[0]] if starts else box), messages


def content_lengths(data, separator):
    """(message number, the field's match, offset of the field's line,
    offset of the body) for the first Content-Length with a number in each
    closed header block of Quillet's output."""
    number, in_header, field = 0, False, None
    pos = 0
    while pos < len(data):
        end = data.find(b"\n", pos)
        end = len(data) if end < 0 else end + 1
        line = data[pos:end].rstrip(b"\r\n")
        if data.startswith(separator, pos):
            number, in_header, field = number + 1, True, None
        elif in_header and line == b"":
            in_header = False
            if field:
                yield number, field[0], field[1], end
        elif in_header and field is None:
            match = re.fullmatch(rb"(content-length:[ \t]*)(\d+)[ \t]*", line,
                                 re.I)
            if match:
                field = (match, pos)
        pos = end


def lf_copy_of_output(data):
    """Quillet's mbox output with LF line ends for the readers, each
    Content-Length lowered by the CRs it counted, so that a right one stays
    right. Every line beginning "From " in the output is a separator."""
    out = bytearray(data)
    for _, match, line, body in reversed(list(content_lengths(data,
                                                              b"From "))):
        n = int(match.group(2))
        n -= data[body:body + n].count(b"\r\n")
        out[line + match.start(2):line + match.end(2)] = b"%d" % n
    return lf(bytes(out))


def wrong_content_lengths(data, separator, own_empty_line):
    """Numbers of the messages in Quillet's output whose first
    Content-Length does not give the length of the body as written: up to
    the next separator, or up to the message's own empty line before it
    (for an empty body, the line that closed the header block may be it)."""
    wrong = []
    for number, match, _, body in content_lengths(data, separator):
        at = body + int(match.group(2))
        if own_empty_line:
            # A message without a body has one empty line only, which
            # closes its header block and is its own.
            empty = re.match(rb"\r?\n", data[at:at + 2])
            at = at + empty.end() if empty else at if at == body else -1
        if not (at == len(data) or
                (at > 0 and data.startswith(separator, at))):
            wrong.append(number)
    return wrong


def describe(expected, actual):
    """The first difference between two views, with the lines involved."""
    if len(expected) != len(actual):
        lines = ["reader %d messages, Quillet %d"
                 % (len(expected), len(actual))]
    else:
        lines = []
    for n, (e, a) in enumerate(zip(expected, actual)):
        if e == a:
            continue
        what = "headers" if e[0] != a[0] else "body"
        el = e[0] if what == "headers" else e[1].split(b"\n")
        al = a[0] if what == "headers" else a[1].split(b"\n")
        i = next((i for i, (x, y) in enumerate(zip(el, al)) if x != y),
                 min(len(el), len(al)))
        lines.append("message %d, %s line %d: reader %r, Quillet %r"
                     % (n + 1, what, i + 1, el[i:i + 2], al[i:i + 2]))
        break
    return "; ".join(lines)


def main():
    convert = sys.argv[1]
    failures, notes, skipped = [], [], []
    known_seen = set()
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)
        corpus = os.path.join(work, "corpus")
        boxes = os.path.join(work, "box")
        back = os.path.join(work, "back")
        boxes_again = os.path.join(work, "box-again")
        for folder in (corpus, boxes, back, boxes_again):
            os.mkdir(folder)
        variants, skipped = make_corpus(corpus)
        corpus_made = set(os.listdir(corpus))
        for name in sorted(os.listdir(corpus)):
            if name not in CORPUS:
                failures.append("%s: written but not in the table" % name)
        names = [n for n in CORPUS if os.path.exists(os.path.join(corpus, n))
                 and n not in REFUSED]
        for name in sorted(REFUSED & corpus_made):
            refused = subprocess.run(
                [convert, "--to-box", "--quiet", "-o", boxes, "--",
                 os.path.join(corpus, name)], stdout=subprocess.DEVNULL,
                stderr=subprocess.PIPE)
            if (refused.returncode != 1
                    or b"not an mbox mailbox" not in refused.stderr
                    or os.listdir(boxes)):
                failures.append("%s: not refused as no mbox mailbox (exit "
                                "%d: %r)" % (name, refused.returncode,
                                             refused.stderr[:200]))
        paths = [os.path.join(corpus, n) for n in names]
        subprocess.run([convert, "--to-box", "--quiet", "-o", boxes, "--"]
                       + paths, check=True, stdout=subprocess.DEVNULL)
        subprocess.run([convert, "--to-mbox", "--quiet", "-o", back, "--"]
                       + [os.path.join(boxes, n + ".box") for n in names],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run([convert, "--to-box", "--quiet", "-o", boxes_again,
                        "--"] + [os.path.join(back, n) for n in names],
                       check=True, stdout=subprocess.DEVNULL)
        missing_readers = {}
        for reader, (_, why_missing, _) in READERS.items():
            reason = why_missing()
            if reason:
                missing_readers[reader] = reason
                skipped.append("reader %s: %s" % (reader, reason))

        # Every reader on every original and every output at once: mutt and
        # Dovecot take a few tens of milliseconds each to start.
        jobs = {}
        for name in names:
            output = open(os.path.join(back, name), "rb").read()
            with open(os.path.join(work, "back-lf-" + name), "wb") as f:
                f.write(lf_copy_of_output(output))
            for reader in READERS:
                if reader not in missing_readers:
                    for path in (os.path.join(corpus, variants.get(name, name)),
                                 os.path.join(work, "back-lf-" + name)):
                        jobs[reader, path] = None
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            futures = {key: pool.submit(READERS[key[0]][0], key[1])
                       for key in jobs}
            read_by = {key: future.result() or []
                       for key, future in futures.items()}

        for name in names:
            left_out = CORPUS[name]
            source = os.path.join(corpus, variants.get(name, name))
            original = open(os.path.join(corpus, name), "rb").read()
            box = open(os.path.join(boxes, name + ".box"), "rb").read()
            output = open(os.path.join(back, name), "rb").read()
            back_lf = os.path.join(work, "back-lf-" + name)
            preamble, in_box = box_messages(box)
            mmdf = is_mmdf(source)
            first_end = re.search(rb"\r\n|\r|\n", original)
            cr_ends = bool(first_end) and first_end.group(0) == b"\r"
            text = lf_all(original) if cr_ends else lf(original)

            # Text before the first separator: copied, quoting undone; all
            # of it, and back whole, in a file without any separator.
            first = re.search(rb"^From ", text, re.M)
            before = b"" if mmdf else text[:first.start()] if first else text
            # One empty line before the first separator is the format's.
            if first and before.endswith(b"\n\n"):
                before = before[:-1]
            if preamble != unquote(before):
                failures.append("%s: .box text before the first separator "
                                "%r, expected %r" % (name, preamble[:80],
                                                      unquote(before)[:80]))
            for side, data, separator, own in ((".box", box, SEP, False),
                                               ("mbox back", output, b"From ",
                                                True)):
                wrong = wrong_content_lengths(data, separator, own)
                if wrong:
                    failures.append("%s, %s: Content-Length not the body's "
                                    "length in messages %s" % (name, side,
                                                               wrong))
            again = open(os.path.join(boxes_again, name + ".box"), "rb").read()
            if again != box:
                first_lines, again_lines = box.split(b"\n"), again.split(b"\n")
                i = next((i for i, (x, y) in enumerate(zip(first_lines,
                                                           again_lines))
                          if x != y), min(len(first_lines), len(again_lines)))
                failures.append("%s: .box -> mbox -> .box changed the .box "
                                "at line %d: %r, then %r" % (
                                    name, i + 1, first_lines[i:i + 2],
                                    again_lines[i:i + 2]))
            if not first and lf(output) != text:
                failures.append("%s: no separator, yet the round trip "
                                "changed it" % name)

            for reader, (_, _, hidden) in READERS.items():
                if reader in missing_readers:
                    continue
                view = normal_view(read_by[reader, source], hidden, True,
                                   cr_ends)
                sides = [(".box", normal_view(in_box, hidden, False)),
                         ("mbox back", normal_view(read_by[reader, back_lf],
                                                   hidden, True))]
                for side, quillet in sides:
                    if quillet == view:
                        continue
                    known = KNOWN.get((name, reader, side))
                    if known and only_known_difference(view, quillet, known):
                        known_seen.add((name, reader, side))
                        notes.append("known: %s, %s vs %s: %s; %s"
                                     % (name, reader, side, known[0],
                                        describe(view, quillet)))
                        continue
                    line = "%s, %s vs %s: %s" % (name, reader, side,
                                                  describe(view, quillet))
                    if reader not in left_out:
                        failures.append(line)
                    elif side == ".box":
                        notes.append(line + " (not compared: %s)"
                                     % left_out[reader])
            print("%-22s %d messages in the .box; checked against %s"
                  % (name, len(in_box), ", ".join(
                      r for r in READERS
                      if r not in left_out and r not in missing_readers)
                     or "no reader (text and round trip only)"))

    for name, reader, side in KNOWN:
        if reader not in missing_readers and name in corpus_made and \
                (name, reader, side) not in known_seen:
            failures.append("%s, %s vs %s: the known difference is gone"
                            % (name, reader, side))
    for line in notes:
        print("note:", line)
    for line in failures:
        print("FAIL:", line)
    for line in skipped:
        print("skipped:", line)
    if failures:
        return 1
    return 77 if skipped else 0


if __name__ == "__main__":
    sys.exit(main())
