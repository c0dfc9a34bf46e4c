// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/mailbox_format.h"

#include <cstring>

namespace quillet {

std::int64_t DaysSinceEpoch(std::int64_t year, int month, int day) {
  // Counted in eras of 400 years from a March 1st, so that the leap day
  // is the last day of its year (H. Hinnant's days_from_civil).
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year =
      (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

UtcTime UtcTimeOf(std::int64_t seconds) {
  UtcTime t;
  t.seconds = seconds;
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  // 1970-01-01 was a Thursday.
  t.weekday = static_cast<int>(((days + 3) % 7 + 7) % 7);
  // The inverse of DaysSinceEpoch (H. Hinnant's civil_from_days).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t day_of_era = z - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 +
                                    day_of_era / 36524 - day_of_era / 146096) /
                                   365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_from_march = (5 * day_of_year + 2) / 153;
  t.day = static_cast<int>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  t.month = static_cast<int>(month_from_march < 10 ? month_from_march + 3
                                                   : month_from_march - 9);
  t.year = static_cast<int>(year_of_era + era * 400 + (t.month <= 2 ? 1 : 0));
  return t;
}

namespace {

// Writes the 24 bytes of the asctime form at `out`.
void PutAsctime(const UtcTime& t, char* out) {
  static constexpr char kDays[] = "MonTueWedThuFriSatSun";
  static constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const auto two = [](char* at, int value, char pad) {
    at[0] = value < 10 ? pad : static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
  };
  std::memcpy(out, kDays + 3 * t.weekday, 3);
  out[3] = ' ';
  std::memcpy(out + 4, kMonths + 3 * (t.month - 1), 3);
  out[7] = ' ';
  two(out + 8, t.day, ' ');
  out[10] = ' ';
  two(out + 11, t.hour, '0');
  out[13] = ':';
  two(out + 14, t.minute, '0');
  out[16] = ':';
  two(out + 17, t.second, '0');
  out[19] = ' ';
  two(out + 20, t.year / 100, '0');
  two(out + 22, t.year % 100, '0');
}

constexpr std::size_t kAsctimeSize = 24;

}  // namespace

std::string AsctimeUtc(const UtcTime& time) {
  std::string text(kAsctimeSize, ' ');
  PutAsctime(time, text.data());
  return text;
}

std::string AsctimeUtc(const QDateTime& time) {
  return AsctimeUtc(UtcTimeOf(time.toSecsSinceEpoch()));
}

SeparatorLine TargetSeparatorLine(Direction direction,
                                  const UtcTime& message_time) {
  static constexpr std::string_view kHead = "From - ";
  static_assert(BoxSeparator.size() <= sizeof SeparatorLine::bytes_ &&
                kHead.size() + kAsctimeSize <= sizeof SeparatorLine::bytes_);
  SeparatorLine line;
  if (direction == Direction::kToBox) {
    std::memcpy(line.bytes_, BoxSeparator.data(), BoxSeparator.size());
    line.size_ = BoxSeparator.size();
    return line;
  }
  std::memcpy(line.bytes_, kHead.data(), kHead.size());
  PutAsctime(message_time, line.bytes_ + kHead.size());
  line.size_ = kHead.size() + kAsctimeSize;
  return line;
}

std::string TargetSeparator(Direction direction, const UtcTime& message_time) {
  return std::string(TargetSeparatorLine(direction, message_time).view());
}

std::string TargetSeparator(Direction direction,
                            const QDateTime& message_time) {
  return TargetSeparator(direction, UtcTimeOf(message_time.toSecsSinceEpoch()));
}

QString OutputName(const QString& source_name, bool mbox_to_box) {
  static const QString kBox = QStringLiteral(".box");
  if (mbox_to_box) return source_name + kBox;
  if (source_name.size() > kBox.size() &&
      source_name.endsWith(kBox, Qt::CaseInsensitive)) {
    return source_name.left(source_name.size() - kBox.size());
  }
  return source_name + QStringLiteral(".mbox");
}

QString OutputPath(const QString& target_folder, const QString& source_name,
                   bool mbox_to_box) {
  return target_folder + OutputName(source_name, mbox_to_box);
}

}  // namespace quillet
