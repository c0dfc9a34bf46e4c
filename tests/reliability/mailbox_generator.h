// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_RELIABILITY_MAILBOX_GENERATOR_H_
#define QUILLET_TESTS_RELIABILITY_MAILBOX_GENERATOR_H_

#include <cstdint>
#include <string>

namespace quillet::reliability {

// Pseudo-random mailbox-shaped bytes, the same for the same seed on every
// platform. Mostly whole messages: "From " separators bare, blank-only,
// dated in several forms or undated before a header field; MMDF files;
// text before the first separator; header blocks with Date fields of many
// forms (two-digit years, named and military zones, comments, wrong or
// missing weekdays, folded, broken) and Received fields with and without
// ";"; Content-Length fields exact, counting the empty line after the
// body, too short, too long, not a number, or several; header blocks never
// closed; bodies with "From " lines (dated, or before a header-like line),
// ">From " and ">>From " lines; zero to two empty lines after a message.
// Otherwise lines of every kind in any order: separators of both formats
// with and without trailing text, near-separators, long ">" runs, NUL and
// high bytes. CR LF, LF, CR or mixed line ends, lone CR bytes inside lines
// of LF and CR LF files, sometimes no line end at the end, and now and then
// a line, or 1,200 header lines, pushing a date past the look-ahead.
// `box_shaped` favours .box separators over "From " and MMDF.
std::string GenerateMailbox(std::uint64_t seed, bool box_shaped);

// A .box mailbox whose round trip through mbox must give back its bytes:
// its lines end in CR LF, no separator line has text after its 14 bytes, no
// line ends in a CR byte, and every Content-Length field that counts holds
// the body's exact length. It may begin with text before the first
// separator; header blocks may be never closed (messages without a body).
// Bodies hold "From " lines, quoted ones, '>'s before the separator's
// bytes, empty last lines, lone CR bytes inside lines, Control-A lines;
// dates are of every form, usable or not, and sometimes after more header
// than any look-ahead holds.
std::string GenerateRoundTripBox(std::uint64_t seed);

// An MMDF mailbox as NeoMutt and Python write them (no text between
// messages, LF line ends): the .box written from it must come back
// unchanged through mbox. Bodies end in empty lines that a Content-Length
// counts, with or without the writer's own empty line before the closing
// line, and hold "From " lines, quoted ones, .box separator bytes and
// commit-message trailers; some messages have no body at all.
std::string GenerateRoundTripMmdf(std::uint64_t seed);

}  // namespace quillet::reliability

#endif  // QUILLET_TESTS_RELIABILITY_MAILBOX_GENERATOR_H_
