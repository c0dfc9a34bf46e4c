#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints, for a few hundred mail date strings, what Python's
email.utils.parsedate_to_datetime reads from each: one line per string, the
string's bytes in hex, a tab, then the instant in seconds since the epoch
(UTC), or "none" where Python reads no date. A date without a zone (naive)
counts as UTC. The mail date parser's test compares its own reading with
these lines.

The strings are the forms real mail carries, one-part variations of them,
and seeded random mixtures of their pieces: the same on every run."""

import datetime
import email.utils
import random
import sys

UTC = datetime.timezone.utc
EPOCH = datetime.datetime(1970, 1, 1, tzinfo=UTC)

REAL = [
    "Mon, 01 Jan 2024 09:00:00 +0100",
    "Tue, 15 Nov 1994 08:12:31 -0800",
    "Thu, 1 Jan 1970 00:00:00 +0000",
    "Fri, 05 Jan 2024 10:00:00 GMT",
    "Sat, 6 Jan 2024 10:00:00 +0000 (UTC)",
    "Mon, 1 Jan 2024 09:00:00 -0500 (EST)",
    "Wed, 12 Jun 2002 07:13:45 -0700 (PDT)",
    "Fri, 5 Jan 2024 10:00:00 +0000 (Coordinated Universal Time)",
    "Mon, 1 Jan 2024 09:00:00 +0100 (CET (nested) \\) x)",
    "12 Jun 2002 07:13 PDT",
    "1 Jan 2024 09:00 +0000",
    "Mon Jan  1 09:00:00 2024",
    "Sun Nov  6 08:49:37 1994",
    "Mon Jan  1 09:00:00 2024 +0100",
    "Jan  1 09:00:00 2024",
    "Sunday, 06-Nov-94 08:49:37 GMT",
    "06-Nov-94 08:49:37 GMT",
    "Fri,5 Jan 2024 10:00:00 +0000",
    "Fri, 5 Jan 2024 10.00.00 +0000",
    "Fri, 5 Jan 2024 10.00 +0000",
    "5 Jan 2024 10:00:00+0100",
    "5 Jan 2024 10:00:00-0330",
    "Fri, 5 Jan 24 10:00:00 +0000",
    "Fri, 3 Mar 99 10:00:00 +0000",
    "3 Mar 104 10:00:00 +0000",
    "Fri, 5 Jan 2024 10:00:00 -0000",
    "Fri, 5 Jan 2024 10:00:00 UT",
    "Fri, 5 Jan 2024 10:00:00 Z",
    "Fri, 5 Jan 2024 10:00:00 A",
    "Fri, 5 Jan 2024 10:00:00 CET",
    "Fri, 5 Jan 2024 10:00:00 MEZ",
    "Fri, 05 Jan 2024 10:00:00 +0000 +0000",
    "Friday, 5 January 2024 10:00:00 +0000",
    "5 January 2024 10:00:00 +0000",
    "Fri, 5 Jan 2024 10:00:00 +0000\r\n",
    "  Fri, 5 Jan 2024 10:00:00 +0000",
    "Fri, 5 Jan 2024\r\n 10:00:00 +0000",
    "Fri, 5 Jan 2024\t10:00:00\t+0000",
    "Fri,\t5 Jan 2024 10:00:00 +0000",
    "Fri, 5 Jan 2024 10:00:00 +0000 (Freitag)",
    "Fri Jan 05 2024 10:00:00 GMT+0100 (Central European Standard Time)",
    "2024-01-05 10:00:00",
    "2024-01-05T10:00:00Z",
    "Fri, 5 Jan 2024 10:00:00.123 +0000",
    "1 Jan 2024 09:00:00 +01",
    "1 Jan 2024 09:00:00 +0160",
    "Thu, 29 Feb 2024 12:00:00 +0000",
    "Thu, 29 Feb 2023 12:00:00 +0000",
    "Tue, 29 Feb 2000 12:00:00 +0000",
    "Thu, 29 Feb 1900 12:00:00 +0000",
    "1 Jan 1000 00:30:00 +0100",
    "1 Jan 1000 01:00:00 +0100",
    "31 Dec 9999 23:30:00 -0100",
    "31 Dec 9999 22:59:59 -0100",
    "1 Jan 0001 00:00:00 +0000",
    "1 Jan 1 00:00:00 +0000",
    "31 Dec 1969 23:59:59 +0000",
    "1 Jan 2024 23:59:60 +0000",
    "Fri, 5 Jan 2024 10:00:00 +2359",
    "Fri, 5 Jan 2024 10:00:00 -2359",
    "Fri, 5 Jan 2024 10:00:00 +2400",
    "Fri, 5 Jan 2024 10:00:00 +99999999999999999999",
    "Fri, 5 Jan 99999999999999999999 10:00:00 +0000",
    "Fri, 5 Jan 2024 99999999999999999999:00 +0000",
    "Fri, 5 Jan 2_024 1_0:0_0:0_0 +0_100",
    "Fri, 5 Jan 2__024 10:00:00 +0000",
    "Fri, 5 Jan _2024 10:00:00 +0000",
    "Fri, 5 Jan 2024_ 10:00:00 +0000",
    "Fri, +5 Jan +2024 +10:+00:+00 +0000",
    "Fri, -5 Jan 2024 10:00:00 +0000",
    "1 Jan -5 10:00 -5",
    "Fri, 5 Jan 2024, 10:00:00, +0000",
    "Fri, 5, Jan 2024 10:00:00 +0000",
    "Fri, 5 Jan, 2024 10:00:00 +0000",
    "Fri, 5 Jan , 10:00:00 +0000",
    "Fri, , Jan 2024 10:00:00 +0000",
    "x,5 Jan 2024 10:00:00 +0000",
    "a,b,5 Jan 2024 10:00:00 +0000",
    ",5 Jan 2024 10:00 +0000",
    "Jan 5 2024 10:00 +0000",
    "5 2024 Jan 10:00 +0000",
    "Jan 2024 5 10:00 +0000",
    "5 Jan 10:00 2024",
    "5 Jan 10:00 2024 +0100",
    "5 Jan 10:00 +0100 2024",
    "5 Jan +0100 10:00 2024",
    "5 Jan GMT 2024 10:00",
    "5 Jan 2024 GMT 10:00",
    "5-Jan-2024 10:00:00 +0000",
    "5-Jan-2024 10:00:00",
    "Fri, 5-Jan-2024 10:00:00 GMT",
    "-Jan- 10:00:00 GMT",
    "5--2024 10:00:00 GMT",
    "5 Jan 2024 10:00",
    "5 Jan 2024 10:00+0100",
    "Fri, 5 Jan 2024 +10:00",
    "5 Jan 2024 +9:30:00",
    "5 Jan 2024 -1:00",
    "5 Jan 2024 +0100",
    "5 Jan 2024 10",
    "5 Jan 2024 10:00:00:00 +0000",
    "5 Jan 2024 10:: +0000",
    "5 Jan 2024 :10:00 +0000",
    "5 Jan 2024 10.00.00.00 +0000",
    "5 Jan 2024 10.00: +0000",
    "",
    " ",
    "\t\r\n",
    "Fri",
    "Fri,",
    "Fri, 5",
    "Fri, 5 Jan",
    "Fri, 5 Jan 2024",
    ",,,,",
    "yesterday",
    "Fri, 5 Jan 2024 10:00:00 +0000 and some words after it",
    "Fri 5 Jan 2024 10:00:00 +0000",
    "FRI, 05 JAN 2024 10:00:00 +0000",
    "fri, 05 jan 2024 10:00:00 pdt",
    "Fri, 5 JANUARY 2024 10:00:00 Est",
    "FRIDAY, 5 Jan 2024 10:00:00 +0000",
    "Xyz, 5 Jan 2024 10:00:00 +0000",
    "Monday 5 Jan 2024 10:00:00 +0000",
    "Fri, 5 Sept 2024 10:00:00 +0000",
    "Fri, 5 Jun. 2024 10:00:00 +0000",
    "(comment) Fri, 5 Jan 2024 10:00:00 +0000",
    "Fri, 5 (x) Jan 2024 10:00:00 +0000",
    "Fri, 5 Jan 2024 10:00 (x) +0100",
    "Fri, 5 Jan 2024 10:00:00 (GMT) +0100",
    "Fri, 5 Jan 2024 10:00:00 +0000 (unclosed",
    "Fri, 5 Jan 2024 10:00:00\x0b+0000",
    "Fri, 5 Jan 2024 10:00:00\x0c+0000",
    "Fri, 5 Jan 2024\x1c10:00:00\x1f+0000",
    "Fri, 5 Jan 2024 10:00:00\x00+0000",
    "Fri, 5 Jan 2024 10:00:00 +0000;",
    "Fri, 5 Jan 2024 10:00:00 \"+0000\"",
    "Fri, 5 Jan 2024 10:00:00 0100",
    "Fri, 5 Jan 2024 10:00:00 100",
    "Fri, 5 Jan 2024 10:00:00 +1",
    "Fri, 5 Jan 2024 10:00:00 -1",
    "Fri, 5 Jan 2024 10:00:00 -0",
    "Fri, 5 Jan 2024 10:00:00 +0",
    "Fri, 5 Jan 2024 10:00:00 +00:00",
    "Fri, 5 Jan 2024 10:00:00 ++0100",
    "Fri, 5 Jan 2024 10:00:00 +-100",
    "Fri, 5 Jan 2024 10:00:00+0000 GMT",
    "Fri, 5 Jan 2024 10:00:00 GMT+0100",
    "Fri, 5 Jan 2024 10:00:00 UTC+1",
]

WEEKDAYS = ["", "Fri, ", "Mon, ", "MON, ", "mon ", "Fri,", "Friday, ", "Xyz, ",
            "Fri ", ", ", "5, "]
DAYS = ["5", "05", "1", "31", "32", "0", "00", "005", "5,", "x", "-1"]
MONTHS = ["Jan", "JAN", "jan", "January", "janUARY", "Feb", "May", "Sept",
          "Dec", "Foo", "Ja", "Jan,"]
YEARS = ["2024", "24", "68", "69", "99", "00", "0", "100", "999", "1000",
         "9999", "10000", "-5", "2024,", "1969", "1970", "2_024", "+24"]
TIMES = ["10:00:00", "9:00", "09:00", "23:59:59", "23:59:60", "24:00:00",
         "09:60:00", "10.00.00", "10.00", "10:00:00:00", "10", "+9:00",
         "10:00:00,", "-1:00", "1:2:3", "001:002:003", "10:00+0100"]
ZONES = ["+0000", "-0000", "+0100", "-0230", "+01", "+0160", "+2359",
         "+2400", "-2400", "GMT", "gmt", "UT", "UTC", "Z", "z", "EST", "pdt",
         "ADT", "A", "M", "Y", "CET", "", "(UTC)", "+00:00", "0100", "-100",
         "+1_00", "+", "-", "0", "-0"]
BASE = ["Fri, ", "5", "Jan", "2024", "10:00:00", "+0000"]


def join(parts):
    weekday, rest = parts[0], parts[1:]
    return weekday + " ".join(p for p in rest if p != "")


def cases():
    seen = []
    seen.extend(REAL)
    # Each piece of one ordinary date varied on its own.
    for index, pool in enumerate([WEEKDAYS, DAYS, MONTHS, YEARS, TIMES, ZONES]):
        for value in pool:
            parts = list(BASE)
            parts[index] = value
            seen.append(join(parts))
    # Year and zone together: the two-digit years and the ends of the range.
    for year in ["68", "69", "1000", "9999", "0", "-5"]:
        for zone in ["+0100", "-0100", "-0000", "EST", ""]:
            seen.append(f"1 Jan {year} 00:30:00 {zone}".rstrip())
            seen.append(f"31 Dec {year} 23:30:00 {zone}".rstrip())
    # Random mixtures: pieces in any order, with stray commas and dashes.
    rng = random.Random(8)
    pools = [WEEKDAYS, DAYS, MONTHS, YEARS, TIMES, ZONES]
    glue = [" ", " ", " ", "  ", ",", ", ", "-", "\t"]
    for _ in range(250):
        pieces = [rng.choice(pool).strip() for pool in pools]
        if rng.random() < 0.5:
            rng.shuffle(pieces)
        pieces = [p for p in pieces if p and rng.random() > 0.1]
        text = ""
        for piece in pieces:
            text += piece + rng.choice(glue)
        seen.append(text if rng.random() < 0.5 else text.strip())
    unique = []
    for text in seen:
        if text not in unique:
            unique.append(text)
    return unique


def python_reading(text):
    try:
        when = email.utils.parsedate_to_datetime(text)
    except Exception:  # ValueError, OverflowError, IndexError, ...
        return "none"
    if when.tzinfo is None:
        when = when.replace(tzinfo=UTC)
    return str((when - EPOCH) // datetime.timedelta(seconds=1))


def main():
    out = sys.stdout
    for text in cases():
        out.write(text.encode("ascii").hex() + "\t" + python_reading(text) + "\n")


if __name__ == "__main__":
    main()
