#ifndef QUILLET_CONVERSION_MESSAGE_DATE_H_
#define QUILLET_CONVERSION_MESSAGE_DATE_H_

#include <QDateTime>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

// How far past a .box separator line the run looks for the message's Date.
inline constexpr std::size_t kDateLookAhead = 64 * 1024;

// Finds the first Date: header field (name in any letter case, folded lines
// joined) of the header block at the start of `window`, which holds the
// bytes that follow a .box separator line. The search ends at the block's
// first empty line, at the next .box separator line, and at the last line
// the window holds whole; `window_ends_file` says whether the window's end
// is the file's end, which makes its last line whole. Returns the field's
// value, or nothing.
std::optional<std::string> FindDateField(std::string_view window,
                                         bool window_ends_file);

// Parses an RFC 5322 date ("Mon, 1 Jan 2024 09:00:00 +0100") with its zone
// applied. Accepts what real mail carries: no weekday, no seconds, two- and
// three-digit years, named zones (GMT, UT, EST, ...), comments such as
// "(UTC)", and the asctime order "Mon Jan  1 09:00:00 2024". Returns
// nothing for anything else or for an impossible date.
std::optional<QDateTime> ParseMailDate(std::string_view text);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_MESSAGE_DATE_H_
