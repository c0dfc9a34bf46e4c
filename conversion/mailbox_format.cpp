#include "conversion/mailbox_format.h"

#include <QTimeZone>
#include <cstdio>

namespace quillet {

bool IsSourceSeparator(std::string_view line_head, bool mbox_to_box) {
  const std::string_view separator =
      mbox_to_box ? MboxSeparatorStart : BoxSeparator;
  return line_head.substr(0, separator.size()) == separator;
}

std::string AsctimeUtc(const QDateTime& time) {
  static constexpr const char* kDays[] = {"Mon", "Tue", "Wed", "Thu",
                                          "Fri", "Sat", "Sun"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr",
                                            "May", "Jun", "Jul", "Aug",
                                            "Sep", "Oct", "Nov", "Dec"};
  const QDateTime utc = time.toTimeZone(QTimeZone::utc());
  const QDate date = utc.date();
  const QTime clock = utc.time();
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %04d",
                kDays[date.dayOfWeek() - 1], kMonths[date.month() - 1],
                date.day(), clock.hour(), clock.minute(), clock.second(),
                date.year());
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
