#ifndef QUILLET_CONVERSION_MESSAGE_DATE_H_
#define QUILLET_CONVERSION_MESSAGE_DATE_H_

#include <QDateTime>
#include <optional>
#include <string_view>

namespace quillet {

// How far past a .box separator line the run looks for the message's date.
inline constexpr std::size_t kDateLookAhead = 64 * 1024;

// The time for the mbox separator of the message whose header block begins
// `window` (the bytes right after a .box separator line, at most
// kDateLookAhead of them): the first Date field's date when usable (see
// ParseMailDate); otherwise the date of the topmost Received field, read
// from the text after that field's last ';' (none without a ';'); otherwise
// nothing. Field names match in any letter case, blanks allowed before the
// colon; folded lines are joined.
//
// A field counts only when its line, folded lines included, ends within the
// window; `window_ends_file` says the window's end is the file's end, so its
// last line is whole. The header block ends at its first empty line or at
// the next .box separator line; nothing after it is looked at.
// `cr_ends_lines`: a lone CR ends a line (old Mac files); otherwise only LF
// and CR LF do, and a lone CR is an ordinary byte of its line.
std::optional<QDateTime> MessageDate(std::string_view window,
                                     bool window_ends_file, bool cr_ends_lines);

// Reads a mail date the way Python's email.utils.parsedate_to_datetime does
// (RFC 5322 and its obsolete forms, asctime order, RFC 850 dates, two-digit
// years, named zones; an unknown zone, "-0000" or none at all reads as UTC)
// and returns that instant in UTC, when its year in UTC has four digits.
// Where Python reads nothing, a date whose comments in parentheses hide it
// from Python is read with them taken out. Case rules are ASCII only and
// never depend on the locale. Returns nothing for anything else.
std::optional<QDateTime> ParseMailDate(std::string_view text);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_MESSAGE_DATE_H_
