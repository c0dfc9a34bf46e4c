#include "conversion/message_date.h"

#include <array>
#include <cctype>
#include <span>

#include "conversion/line_reader.h"
#include "conversion/mailbox_format.h"

namespace quillet {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int ToInt(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

// True when `name` is a header field named "Date" followed by its colon,
// and sets `value` to what follows the colon.
bool IsDateField(std::string_view line, std::string_view* value) {
  static constexpr std::string_view kName = "date";
  if (line.size() < kName.size()) return false;
  for (std::size_t i = 0; i < kName.size(); ++i) {
    if (Lower(line[i]) != kName[i]) return false;
  }
  std::size_t i = kName.size();
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i >= line.size() || line[i] != ':') return false;
  *value = line.substr(i + 1);
  return true;
}

// Index 1..12 of a month name (its first three letters, any case), or 0.
int MonthNumber(std::string_view token) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun",
      "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3) return 0;
  for (std::size_t m = 0; m < kMonths.size(); ++m) {
    if (Lower(token[0]) == kMonths[m][0] && Lower(token[1]) == kMonths[m][1] &&
        Lower(token[2]) == kMonths[m][2]) {
      return static_cast<int>(m) + 1;
    }
  }
  return 0;
}

bool IsWeekday(std::string_view token) {
  static constexpr std::array<std::string_view, 7> kDays = {
      "mon", "tue", "wed", "thu", "fri", "sat", "sun"};
  if (token.size() < 3) return false;
  for (std::string_view day : kDays) {
    if (Lower(token[0]) == day[0] && Lower(token[1]) == day[1] &&
        Lower(token[2]) == day[2]) {
      return true;
    }
  }
  return false;
}

// "+hhmm" / "-hhmm", or a zone name; sets the offset from UTC in seconds.
bool ParseZone(std::string_view token, int* offset) {
  if (token.size() == 5 && (token[0] == '+' || token[0] == '-') &&
      IsDigits(token.substr(1))) {
    const int hours = ToInt(token.substr(1, 2));
    const int minutes = ToInt(token.substr(3, 2));
    if (minutes > 59) return false;
    *offset = (token[0] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    return true;
  }
  for (char c : token) {
    if (!std::isalpha(static_cast<unsigned char>(c))) return false;
  }
  struct Named {
    std::string_view name;
    int hours;
  };
  static constexpr std::array<Named, 8> kAmerican = {{{"est", -5},
                                                      {"edt", -4},
                                                      {"cst", -6},
                                                      {"cdt", -5},
                                                      {"mst", -7},
                                                      {"mdt", -6},
                                                      {"pst", -8},
                                                      {"pdt", -7}}};
  std::string lower;
  for (char c : token) lower += Lower(c);
  for (const Named& zone : kAmerican) {
    if (lower == zone.name) {
      *offset = zone.hours * 3600;
      return true;
    }
  }
  // UT, GMT, UTC, Z, military letters and unknown names: RFC 5322 reads
  // them as UTC with the local offset unknown.
  *offset = 0;
  return true;
}

// "h:mm" or "h:mm:ss".
bool ParseClock(std::string_view token, QTime* clock) {
  const std::size_t first = token.find(':');
  if (first == std::string_view::npos) return false;
  const std::string_view hour = token.substr(0, first);
  const std::string_view rest = token.substr(first + 1);
  const std::string_view minute = rest.substr(0, 2);
  std::string_view second = "00";
  if (rest.size() == 5 && rest[2] == ':') {
    second = rest.substr(3);
  } else if (rest.size() != 2) {
    return false;
  }
  if (hour.size() > 2 || !IsDigits(hour) || !IsDigits(minute) ||
      !IsDigits(second)) {
    return false;
  }
  const int s = ToInt(second);
  // A leap second is kept within its minute.
  *clock = QTime(ToInt(hour), ToInt(minute), s == 60 ? 59 : s);
  return clock->isValid();
}

int FullYear(std::string_view digits) {
  const int year = ToInt(digits);
  if (digits.size() == 2) return year < 50 ? 2000 + year : 1900 + year;
  if (digits.size() == 3) return 1900 + year;
  return year;
}

}  // namespace

std::optional<std::string> FindDateField(std::string_view window,
                                         bool window_ends_file) {
  std::optional<std::string> value;
  std::size_t pos = 0;
  while (pos < window.size()) {
    const char* begin = window.data() + pos;
    const char* end = window.data() + window.size();
    const char* brk = FindLineBreak(begin, end);
    if (brk == end && !window_ends_file) break;  // cut off by the window
    const std::string_view line(begin, static_cast<std::size_t>(brk - begin));
    pos += line.size();
    if (brk != end) {
      pos += (*brk == '\r' && brk + 1 < end && brk[1] == '\n') ? 2 : 1;
    }

    if (line.empty() || IsSourceSeparator(line.substr(0, BoxSeparator.size()),
                                          /*mbox_to_box=*/false)) {
      break;
    }
    if (value.has_value()) {
      if (!IsBlank(line.front())) break;
      value->append(line);  // a folded line: unfolding keeps its blanks
      continue;
    }
    std::string_view field_value;
    if (IsDateField(line, &field_value)) value = std::string(field_value);
  }
  return value;
}

std::optional<QDateTime> ParseMailDate(std::string_view text) {
  // Comments go first; they may nest and hold quoted characters.
  std::string plain;
  if (text.find('(') != std::string_view::npos) {
    plain.reserve(text.size());
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (depth > 0 && c == '\\') {
        ++i;
      } else if (c == '(') {
        ++depth;
        plain += ' ';
      } else if (c == ')' && depth > 0) {
        --depth;
      } else if (depth == 0) {
        plain += c;
      }
    }
    text = plain;
  }

  // A date has six tokens at most; a few more (a zone's name after its
  // offset) are let pass, a sentence is not.
  std::array<std::string_view, 8> token_store;
  std::size_t token_count = 0;
  const std::string_view all = text;
  std::size_t start = std::string_view::npos;
  for (std::size_t i = 0; i <= all.size(); ++i) {
    const bool separator = i == all.size() || IsBlank(all[i]) ||
                           all[i] == ',' || all[i] == '\r' || all[i] == '\n';
    if (separator && start != std::string_view::npos) {
      if (token_count == token_store.size()) return std::nullopt;
      token_store[token_count++] = all.substr(start, i - start);
      start = std::string_view::npos;
    } else if (!separator && start == std::string_view::npos) {
      start = i;
    }
  }

  const std::span<const std::string_view> tokens(token_store.data(),
                                                token_count);
  std::size_t t = 0;
  if (t < tokens.size() && IsWeekday(tokens[t]) && MonthNumber(tokens[t]) == 0)
    ++t;
  if (tokens.size() - t < 4) return std::nullopt;

  std::string_view day_token;
  std::string_view year_token;
  std::string_view clock_token;
  int month = 0;
  if (IsDigits(tokens[t])) {  // day month year time
    day_token = tokens[t];
    month = MonthNumber(tokens[t + 1]);
    year_token = tokens[t + 2];
    clock_token = tokens[t + 3];
  } else {  // asctime order: month day time year
    month = MonthNumber(tokens[t]);
    day_token = tokens[t + 1];
    clock_token = tokens[t + 2];
    year_token = tokens[t + 3];
  }
  t += 4;
  if (month == 0 || !IsDigits(day_token) || day_token.size() > 2 ||
      !IsDigits(year_token) || year_token.size() < 2 || year_token.size() > 4) {
    return std::nullopt;
  }
  QTime clock;
  if (!ParseClock(clock_token, &clock)) return std::nullopt;
  int offset = 0;
  if (t < tokens.size() && !ParseZone(tokens[t], &offset)) return std::nullopt;

  const QDate date(FullYear(year_token), month, ToInt(day_token));
  if (!date.isValid()) return std::nullopt;
  // Read as UTC, then moved by the zone's offset: the same instant as a
  // zoned time, without building a time zone for every message.
  const QDateTime utc =
      QDateTime(date, clock, Qt::UTC).addSecs(-static_cast<qint64>(offset));
  if (!utc.isValid()) return std::nullopt;
  if (utc.date().year() < 1000 || utc.date().year() > 9999) return std::nullopt;
  return utc;
}

}  // namespace quillet
