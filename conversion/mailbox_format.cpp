#include "conversion/mailbox_format.h"

namespace quillet {

bool IsSourceSeparator(std::string_view line_head, bool mbox_to_box) {
  const std::string_view separator =
      mbox_to_box ? MboxSeparatorStart : BoxSeparator;
  return line_head.substr(0, separator.size()) == separator;
}

std::string AsctimeUtc(const QDateTime& time) {
  static constexpr char kDays[] = "MonTueWedThuFriSatSun";
  static constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const QDateTime utc = time.toUTC();
  const QDate date = utc.date();
  const QTime clock = utc.time();
  const auto two = [](std::string& out, int value, char pad) {
    out += value < 10 ? pad : static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
  };
  // Written by hand rather than through printf: this runs once per message.
  std::string text;
  text.reserve(24);
  text.append(kDays + 3 * (date.dayOfWeek() - 1), 3);
  text += ' ';
  text.append(kMonths + 3 * (date.month() - 1), 3);
  text += ' ';
  two(text, date.day(), ' ');
  text += ' ';
  two(text, clock.hour(), '0');
  text += ':';
  two(text, clock.minute(), '0');
  text += ':';
  two(text, clock.second(), '0');
  text += ' ';
  const int year = date.year();  // four digits: dates are kept within 1000-9999
  two(text, year / 100, '0');
  two(text, year % 100, '0');
  return text;
}

std::string TargetSeparator(bool mbox_to_box, const QDateTime& message_time) {
  if (mbox_to_box) return std::string(BoxSeparator);
  return "From - " + AsctimeUtc(message_time);
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
