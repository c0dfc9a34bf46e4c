// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_MAILBOX_FORMAT_H_
#define QUILLET_CONVERSION_MAILBOX_FORMAT_H_

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

// The line that separates messages in a Foxmail .box file: seven 0x10,
// six 0x11, then "S". Whatever follows these 14 bytes on a line is ignored.
inline constexpr std::string_view BoxSeparator =
    "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S";
// An mbox separator line begins with these five bytes.
inline constexpr std::string_view MboxSeparatorStart = "From ";

// How many leading bytes of a line decide whether it is a separator.
inline constexpr std::size_t kSeparatorHeadBytes = BoxSeparator.size();

// Which way a mailbox is converted.
enum class Direction { kToBox, kToMbox };

// True when `line_head` (a line's first bytes, at least min(line length,
// kSeparatorHeadBytes) of them) begins a separator line of the source
// format of `direction`: "From " towards .box, BoxSeparator towards mbox.
// Case-sensitive; nothing after the separator's own bytes is looked at.
// Inline: it is asked of many lines.
inline bool IsSourceSeparator(std::string_view line_head, Direction direction) {
  return line_head.starts_with(
      direction == Direction::kToBox ? MboxSeparatorStart : BoxSeparator);
}

// An instant in UTC, with the fields an asctime line shows.
struct UtcTime {
  std::int64_t seconds = 0;  // since 1970-01-01 00:00:00 UTC
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 3;  // 0 Monday .. 6 Sunday
  bool operator==(const UtcTime&) const = default;
};

// The proleptic Gregorian fields of `seconds` since the epoch, without any
// time zone database: plain arithmetic on days.
UtcTime UtcTimeOf(std::int64_t seconds);
// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
std::int64_t DaysSinceEpoch(std::int64_t year, int month, int day);

// The line (without line end) that replaces a source separator. Towards
// .box it is BoxSeparator. Towards mbox it is "From - " and `message_time`
// in asctime form in UTC ("From - Mon Jan  1 09:00:00 2024"), which every
// common mbox reader accepts.
std::string TargetSeparator(Direction direction, const UtcTime& message_time);
std::string TargetSeparator(Direction direction, const QDateTime& message_time);

// TargetSeparator()'s line held in place, for the converter's loop, which
// writes one per message: no string on the heap.
class SeparatorLine {
 public:
  std::string_view view() const { return {bytes_, size_}; }

 private:
  friend SeparatorLine TargetSeparatorLine(Direction direction,
                                           const UtcTime& message_time);
  char bytes_[32];
  std::size_t size_ = 0;
};
SeparatorLine TargetSeparatorLine(Direction direction,
                                  const UtcTime& message_time);

// The asctime form of `time` in UTC: "Mon Jan  1 09:00:00 2024", with
// English names whatever the locale. The year must have four digits.
std::string AsctimeUtc(const UtcTime& time);
std::string AsctimeUtc(const QDateTime& time);

// The output file's name for a source named `source_name`.
// mbox to .box: the name with ".box" appended, whatever it ends in.
// .box to mbox: a final ".box" in any letter case dropped; a name without
// it, or one that would become empty, gets ".mbox" appended instead.
QString OutputName(const QString& source_name, bool mbox_to_box);

// `target_folder` (ending in the directory separator) followed directly by
// OutputName().
QString OutputPath(const QString& target_folder, const QString& source_name,
                   bool mbox_to_box);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_MAILBOX_FORMAT_H_
