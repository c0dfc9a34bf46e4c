// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_MESSAGE_DATE_H_
#define QUILLET_CONVERSION_MESSAGE_DATE_H_

#include <optional>
#include <string_view>

#include "conversion/line_reader.h"
#include "conversion/mailbox_format.h"

namespace quillet {

// How far past a .box separator line the run looks for the message's date
// in the bytes it holds; a longer header block is read from the file.
inline constexpr std::size_t kDateLookAhead = 64 * 1024;
// A Date or Received field with a line, or a value once its folded lines
// are joined, longer than this holds no date.
inline constexpr std::size_t kDateLineMax = 64 * 1024;

// The time for the mbox separator of the message whose header block begins
// `window` (the bytes right after a .box separator line): the first Date
// field's date when usable (see ParseMailDate); otherwise the date of the
// topmost Received field, read from the text after that field's last ';'
// (none without a ';'); otherwise nothing. Field names match in any letter
// case, blanks allowed before the colon; folded lines are joined. The
// header block ends at its first empty line or at the next .box separator
// line; nothing after it is looked at.
//
// `window_ends_file` says the window's end is the file's end, so its last
// line is whole. When the header block goes on past the window, `*cut` is
// set and nothing is returned: MessageDateAt() reads the whole block.
// `cr_ends_lines`: a lone CR ends a line (old Mac files); otherwise only LF
// and CR LF do, and a lone CR is an ordinary byte of its line.
std::optional<UtcTime> MessageDate(std::string_view window,
                                   bool window_ends_file, bool cr_ends_lines,
                                   bool* cut);

// The same for the header block at `offset` of `file`, however long, read
// line by line through positional reads: only the two fields' values are
// held. A failed read sets `failure` to the file's own failure value, as
// the reader has it, and gives nothing.
std::optional<UtcTime> MessageDateAt(InputFile& file, qint64 offset,
                                     CrRule rule,
                                     std::optional<FileError>* failure);

// Reads a mail date the way Python's email.utils.parsedate_to_datetime does
// (RFC 5322 and its obsolete forms, asctime order, RFC 850 dates, two-digit
// years, named zones; an unknown zone, "-0000" or none at all reads as UTC)
// and returns that instant's fields in UTC, when its year in UTC has four
// digits.
// Where Python reads nothing, a date whose comments in parentheses hide it
// from Python is read with them taken out. Case rules are ASCII only and
// never depend on the locale. Returns nothing for anything else.
std::optional<UtcTime> ParseMailDate(std::string_view text);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_MESSAGE_DATE_H_
