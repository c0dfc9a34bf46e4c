// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/message_date.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "conversion/line_reader.h"
#include "conversion/mailbox_format.h"

namespace quillet {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ASCII only: a locale's case rules (Turkish dotless i) must not apply.
char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// True when `token` is `lower_name` in any letter case.
bool EqualsIgnoringCase(std::string_view token, std::string_view lower_name) {
  if (token.size() != lower_name.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (Lower(token[i]) != lower_name[i]) return false;
  }
  return true;
}

// The white space at which Python's str.split() cuts, as far as ASCII goes.
bool IsSplitSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r') || (c >= '\x1c' && c <= '\x1f');
}

// Three bytes, each made lower case as Lower() does, in one number: a
// three-letter name is then told with one comparison per name.
constexpr std::uint32_t LowerKey(char a, char b, char c) {
  const auto lower = [](char x) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(
        x >= 'A' && x <= 'Z' ? static_cast<char>(x + 32) : x));
  };
  return lower(a) << 16 | lower(b) << 8 | lower(c);
}
constexpr std::uint32_t LowerKey(std::string_view three) {
  return LowerKey(three[0], three[1], three[2]);
}

// 1..12 for a month's three-letter or full English name, or 0.
int MonthNumber(std::string_view token) {
  static constexpr std::array<std::string_view, 12> kShort = {
      "jan", "feb", "mar", "apr", "may", "jun",
      "jul", "aug", "sep", "oct", "nov", "dec"};
  static constexpr std::array<std::string_view, 12> kFull = {
      "january", "february", "march",     "april",   "may",      "june",
      "july",    "august",   "september", "october", "november", "december"};
  if (token.size() == 3) {  // nearly every date: the short name only
    static constexpr auto kKeys = [] {
      std::array<std::uint32_t, 12> keys{};
      for (std::size_t m = 0; m < keys.size(); ++m)
        keys[m] = LowerKey(kShort[m]);
      return keys;
    }();
    const std::uint32_t key = LowerKey(token);
    for (std::size_t m = 0; m < kKeys.size(); ++m) {
      if (key == kKeys[m]) return static_cast<int>(m) + 1;
    }
    return 0;
  }
  for (std::size_t m = 0; m < kShort.size(); ++m) {
    if (EqualsIgnoringCase(token, kShort[m]) ||
        EqualsIgnoringCase(token, kFull[m])) {
      return static_cast<int>(m) + 1;
    }
  }
  return 0;
}

bool IsDayName(std::string_view token) {
  if (token.size() != 3) return false;
  static constexpr std::array<std::uint32_t, 7> kKeys = {
      LowerKey("mon"), LowerKey("tue"), LowerKey("wed"), LowerKey("thu"),
      LowerKey("fri"), LowerKey("sat"), LowerKey("sun")};
  const std::uint32_t key = LowerKey(token);
  for (const std::uint32_t day : kKeys) {
    if (key == day) return true;
  }
  return false;
}

// Magnitudes are capped here: far beyond any field's range, small enough
// that the arithmetic below cannot overflow.
constexpr std::int64_t kHuge = 1'000'000'000'000;

// A decimal integer as Python's int() reads one without blanks around it:
// an optional sign, then digits, single underscores allowed between them.
std::optional<std::int64_t> PythonInt(std::string_view s) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return std::nullopt;
  std::int64_t value = 0;
  for (bool after_digit = false; i < s.size(); ++i) {
    if (IsDigit(s[i])) {
      value = std::min(kHuge, value * 10 + (s[i] - '0'));
      after_digit = true;
    } else if (s[i] == '_' && after_digit && i + 1 < s.size() &&
               IsDigit(s[i + 1])) {
      after_digit = false;
    } else {
      return std::nullopt;
    }
  }
  return negative ? -value : value;
}

// A zone name Python knows, as hours and minutes written hhmm.
std::optional<std::int64_t> NamedZone(std::string_view token) {
  struct Named {
    std::string_view name;
    int hhmm;
  };
  static constexpr std::array<Named, 14> kZones = {{
      {"ut", 0},
      {"utc", 0},
      {"gmt", 0},
      {"z", 0},
      {"ast", -400},
      {"adt", -300},
      {"est", -500},
      {"edt", -400},
      {"cst", -600},
      {"cdt", -500},
      {"mst", -700},
      {"mdt", -600},
      {"pst", -800},
      {"pdt", -700},
  }};
  for (const Named& zone : kZones) {
    if (EqualsIgnoringCase(token, zone.name)) return zone.hhmm;
  }
  return std::nullopt;
}

// Up to `max_parts` pieces of `s` cut at every `separator`; returns how many
// pieces there are, max_parts + 1 meaning more.
template <std::size_t N>
std::size_t SplitAt(std::string_view s, char separator,
                    std::array<std::string_view, N>* parts) {
  std::size_t count = 0;
  while (true) {
    const std::size_t cut = s.find(separator);
    if (count == N) return N + 1;
    (*parts)[count++] = s.substr(0, cut);
    if (cut == std::string_view::npos) return count;
    s.remove_prefix(cut + 1);
  }
}

// Seconds since the epoch of the instant Python's parsedate_to_datetime
// reads from `text`, or nothing where it raises. This follows that
// function's steps one by one, quirks included (a time given before the
// year, a zone glued to the time, "+0160" read as two hours), so that both
// read the same instant whenever Python reads one.
std::optional<std::int64_t> PythonDate(std::string_view text) {
  // Only the count of the first few words matters.
  std::array<std::string_view, 8> data;
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size() && n < data.size();) {
    if (IsSplitSpace(text[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && !IsSplitSpace(text[i])) ++i;
    data[n++] = text.substr(start, i - start);
  }
  if (n == 0) return std::nullopt;

  // A day name, or a word ending in a comma, is skipped; otherwise the
  // first word keeps only what follows its last comma.
  if (data[0].ends_with(',') || IsDayName(data[0])) {
    std::move(data.begin() + 1, data.begin() + static_cast<std::ptrdiff_t>(n),
              data.begin());
    --n;
  } else if (const std::size_t comma = data[0].rfind(',');
             comma != std::string_view::npos) {
    data[0].remove_prefix(comma + 1);
  }
  if (n == 3) {  // RFC 850: "01-Jan-24 09:00:00 GMT"
    std::array<std::string_view, 3> stuff;
    if (SplitAt(data[0], '-', &stuff) == 3) {
      data[4] = data[2];
      data[3] = data[1];
      std::copy(stuff.begin(), stuff.end(), data.begin());
      n = 5;
    }
  }
  if (n == 4) {  // a zone glued to the last word, or none
    const std::string_view s = data[3];
    std::size_t sign = s.find('+');
    if (sign == std::string_view::npos) sign = s.find('-');
    if (sign != std::string_view::npos && sign > 0) {
      data[3] = s.substr(0, sign);
      data[4] = s.substr(sign);
    } else {
      data[4] = {};
    }
    n = 5;
  }
  if (n < 5) return std::nullopt;
  std::string_view dd = data[0], mm = data[1], yy = data[2], tm = data[3],
                   tz = data[4];
  if (dd.empty() || mm.empty() || yy.empty()) return std::nullopt;
  int month = MonthNumber(mm);
  if (month == 0) {
    std::swap(dd, mm);
    month = MonthNumber(mm);
    if (month == 0) return std::nullopt;
  }
  if (dd.ends_with(',')) dd.remove_suffix(1);
  if (const std::size_t colon = yy.find(':');
      colon != std::string_view::npos && colon > 0) {
    std::swap(yy, tm);
  }
  if (yy.ends_with(',')) yy.remove_suffix(1);
  if (yy.empty()) return std::nullopt;
  if (!IsDigit(yy[0])) std::swap(yy, tz);
  if (tm.ends_with(',')) tm.remove_suffix(1);

  std::array<std::string_view, 3> clock;
  std::size_t parts = SplitAt(tm, ':', &clock);
  if (parts == 1 && tm.find('.') != std::string_view::npos) {
    parts = SplitAt(tm, '.', &clock);
  }
  if (parts == 2) {
    clock[2] = "0";
  } else if (parts != 3) {
    return std::nullopt;
  }
  std::optional<std::int64_t> year = PythonInt(yy), day = PythonInt(dd),
                              hour = PythonInt(clock[0]),
                              minute = PythonInt(clock[1]),
                              second = PythonInt(clock[2]);
  if (!year || !day || !hour || !minute || !second) return std::nullopt;
  if (*year < 100) *year += *year > 68 ? 1900 : 2000;

  // An unknown zone, "-0000" and none at all leave the offset unknown;
  // such a date counts as UTC.
  std::int64_t offset = 0;
  std::optional<std::int64_t> hhmm = NamedZone(tz);
  if (!hhmm) {
    hhmm = PythonInt(tz);
    if (hhmm == 0 && tz.starts_with('-')) hhmm.reset();
  }
  if (hhmm) {
    const std::int64_t magnitude = *hhmm < 0 ? -*hhmm : *hhmm;
    offset = (*hhmm < 0 ? -1 : 1) *
             ((magnitude / 100) * 3600 + (magnitude % 100) * 60);
    if (offset <= -86400 || offset >= 86400) return std::nullopt;
  }

  if (*year < 1 || *year > 9999 || *hour < 0 || *hour > 23 || *minute < 0 ||
      *minute > 59 || *second < 0 || *second > 59 || *day < 1 || *day > 31) {
    return std::nullopt;
  }
  static constexpr std::array<int, 12> kMonthDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  const bool leap = *year % 4 == 0 && (*year % 100 != 0 || *year % 400 == 0);
  if (*day > kMonthDays[static_cast<std::size_t>(month - 1)] +
                 (month == 2 && leap ? 1 : 0)) {
    return std::nullopt;
  }
  return DaysSinceEpoch(*year, month, static_cast<int>(*day)) * 86400 +
         *hour * 3600 + *minute * 60 + *second - offset;
}

// `text` with its comments (parenthesized, nested, with backslash-quoted
// characters) each replaced by a space.
std::string WithoutComments(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  int depth = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (depth > 0 && c == '\\') {
      ++i;
    } else if (c == '(') {
      if (depth++ == 0) plain += ' ';
    } else if (c == ')' && depth > 0) {
      --depth;
    } else if (depth == 0) {
      plain += c;
    }
  }
  return plain;
}

// The value of a header field named `lower_name` (any letter case, blanks
// allowed before the colon), or nothing when `line` is another line. The
// name is lower-case letters only, written as a literal: a byte is the
// same letter in either case exactly when, with bit 0x20 set, it equals the
// lower-case one, and the loop over a known length unrolls.
template <std::size_t N>
std::optional<std::string_view> FieldValue(std::string_view line,
                                           const char (&lower_name)[N]) {
  constexpr std::size_t kSize = N - 1;
  if (line.size() < kSize) return std::nullopt;
  for (std::size_t i = 0; i < kSize; ++i) {
    if ((line[i] | 0x20) != lower_name[i]) return std::nullopt;
  }
  std::size_t i = kSize;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] != ':') return std::nullopt;
  return line.substr(i + 1);
}

// Most dates have one of two shapes: a Date field's "[Www, ]d Mmm yyyy
// hh:mm:ss zone" and a Received field's asctime order "Www Mmm d hh:mm:ss
// yyyy zone", with single spaces (a second one before a one-digit day in
// asctime order), any one blank before the zone, and a zone written
// +hhmm, -hhmm or as a name that NamedZone() knows. They are read here in
// a few steps, to the instant that PythonDate() reads from the same words
// in many. Nothing for anything else, or for a field out of range, which
// PythonDate() then reads.
std::optional<std::int64_t> UsualDate(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSplitSpace(text[i])) ++i;
  const std::string_view s = text.substr(i);
  i = 0;
  // `n` digits at `i`, then the byte `after` (or, for '\0', the text's
  // end or a split space); -1 otherwise.
  const auto number = [&](std::size_t n, char after) -> int {
    if (s.size() < i + n) return -1;
    int value = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if (!IsDigit(s[i + k])) return -1;
      value = value * 10 + (s[i + k] - '0');
    }
    i += n;
    if (after == '\0') {
      if (i < s.size() && !IsSplitSpace(s[i])) return -1;
    } else {
      if (i >= s.size() || s[i] != after) return -1;
      ++i;
    }
    return value;
  };
  // A day of one or two digits, then a space.
  const auto day_number = [&] {
    const bool one_digit = s.size() > i + 1 && s[i + 1] == ' ';
    return number(one_digit ? 1 : 2, ' ');
  };
  // A month's three-letter name, then a space; 0 otherwise.
  const auto month_name = [&] {
    if (s.size() < i + 4 || s[i + 3] != ' ') return 0;
    const int month = MonthNumber(s.substr(i, 3));
    i += 4;
    return month;
  };
  int day = 0;
  int month = 0;
  int year = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  const auto clock = [&](char after) {
    hour = number(2, ':');
    minute = hour < 0 ? -1 : number(2, ':');
    second = minute < 0 ? -1 : number(2, after);
    return second >= 0;
  };
  if (s.size() > 4 && s[3] == ' ' && IsDayName(s.substr(0, 3))) {
    // Asctime order: the weekday goes in either reading, and Python takes
    // the word with a colon for the time, the one after it for the year.
    i = 4;
    month = month_name();
    if (month == 0) return std::nullopt;
    if (i < s.size() && s[i] == ' ') ++i;
    day = day_number();
    if (day < 1 || !clock(' ')) return std::nullopt;
    year = number(4, '\0');
  } else {
    // A word ending in a comma goes in either reading: the weekday's.
    if (s.size() > 5 && s[3] == ',' && s[4] == ' ' &&
        IsDayName(s.substr(0, 3))) {
      i = 5;
    }
    day = day_number();
    if (day < 1) return std::nullopt;
    month = month_name();
    year = month == 0 ? -1 : number(4, ' ');
    if (year < 1000 || !clock('\0')) return std::nullopt;
  }
  // One blank, then the zone, the fifth word.
  if (year < 1000 || i + 1 >= s.size()) return std::nullopt;
  ++i;
  std::int64_t hhmm = 0;
  if (s[i] == '+' || s[i] == '-') {
    const int sign = s[i++] == '-' ? -1 : 1;
    const int digits = number(4, '\0');
    if (digits < 0) return std::nullopt;
    hhmm = sign * digits;
  } else {
    std::size_t end = i;
    while (end < s.size() && !IsSplitSpace(s[end])) ++end;
    const std::optional<std::int64_t> named = NamedZone(s.substr(i, end - i));
    if (!named) return std::nullopt;
    hhmm = *named;
  }
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const std::int64_t magnitude = hhmm < 0 ? -hhmm : hhmm;
  const std::int64_t offset =
      (hhmm < 0 ? -1 : 1) * ((magnitude / 100) * 3600 + (magnitude % 100) * 60);
  if (offset <= -86400 || offset >= 86400) return std::nullopt;
  static constexpr std::array<int, 12> kMonthDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (day > kMonthDays[static_cast<std::size_t>(month - 1)] +
                (month == 2 && leap ? 1 : 0)) {
    return std::nullopt;
  }
  return DaysSinceEpoch(year, month, day) * 86400 + hour * 3600 + minute * 60 +
         second - offset;
}

}  // namespace

std::optional<UtcTime> ParseMailDate(std::string_view text) {
  std::optional<std::int64_t> seconds = UsualDate(text);
  if (!seconds) seconds = PythonDate(text);
  if (!seconds && text.find('(') != std::string_view::npos) {
    seconds = PythonDate(WithoutComments(text));
  }
  if (!seconds) return std::nullopt;
  const UtcTime utc = UtcTimeOf(*seconds);
  if (utc.year < 1000 || utc.year > 9999) return std::nullopt;
  return utc;
}

namespace {

// A field's value with its folded lines joined, held in place up to
// kInPlace bytes (a date field's nearly always is): a run over thousands of
// messages allocates nothing for them.
class JoinedValue {
 public:
  JoinedValue() {}  // NOLINT: the bytes in place are written before read

  // Starts over with `first`.
  void Assign(std::string_view first) {
    size_ = 0;
    spilled_.clear();
    Append(first);
  }

  void Append(std::string_view more) {
    if (spilled_.empty() && size_ + more.size() <= kInPlace) {
      if (!more.empty())
        std::memcpy(in_place_ + size_, more.data(), more.size());
      size_ += more.size();
      return;
    }
    if (spilled_.empty()) spilled_.assign(in_place_, size_);
    spilled_.append(more);
  }
  std::string_view view() const {
    return spilled_.empty() ? std::string_view(in_place_, size_)
                            : std::string_view(spilled_);
  }
  std::size_t size() const { return view().size(); }

 private:
  static constexpr std::size_t kInPlace = 480;
  char in_place_[kInPlace];
  std::size_t size_ = 0;
  std::string spilled_;  // once longer than kInPlace: never empty then
};

// Finds the first Date and the topmost Received field of a header block fed
// to it line by line (line ends taken off), folded lines joined. A field
// with a line, or a joined value, longer than kDateLineMax is no date.
class DateFields {
 public:
  // Takes the next line, `whole` unless it is longer than kDateLineMax
  // (then `line` is its head). Returns false once the block has ended or
  // both fields are known whole: no later line changes the result.
  bool Line(std::string_view line, bool whole) {
    if (line.empty() || IsSourceSeparator(line.substr(0, kSeparatorHeadBytes),
                                          Direction::kToMbox)) {
      return false;  // the header block ends
    }
    if (IsBlank(line.front())) {
      if (gathering_ != nullptr) {
        if (whole) gathering_->value.Append(line);  // unfolding keeps blanks
        if (!whole || gathering_->value.size() > kDateLineMax) {
          gathering_->present = false;
          gathering_ = nullptr;
        }
      }
      return true;
    }
    gathering_ = nullptr;
    if (date_seen_ && received_seen_) return false;
    // Most lines are neither field: their first byte tells.
    const char first = Lower(line.front());
    if (first != 'd' && first != 'r') return true;
    if (!date_seen_) {
      if (const auto value = FieldValue(line, "date")) {
        date_seen_ = true;
        if (whole) {
          date_.Assign(*value);
          gathering_ = &date_;
        }
        return true;
      }
    }
    if (!received_seen_) {
      if (const auto value = FieldValue(line, "received")) {
        received_seen_ = true;
        if (whole) {
          received_.Assign(*value);
          gathering_ = &received_;
        }
      }
    }
    return true;
  }

  // Whether no later line can change Result(), with `next` the first bytes
  // of the line that follows (maybe none).
  bool Settled(std::string_view next) const {
    const bool gathered = !next.empty() && !IsBlank(next.front());
    if (gathered && date_seen_ && received_seen_) return true;
    return date_.present && (gathered || gathering_ != &date_) &&
           ParseMailDate(date_.value.view());
  }

  std::optional<UtcTime> Result() const {
    if (date_.present) {
      if (auto when = ParseMailDate(date_.value.view())) return when;
    }
    if (received_.present) {
      const std::string_view received = received_.value.view();
      const std::size_t semicolon = received.rfind(';');
      if (semicolon != std::string_view::npos) {
        return ParseMailDate(received.substr(semicolon + 1));
      }
    }
    return std::nullopt;
  }

 private:
  // A field's value, when it is held: not for a field with a line, or a
  // joined value, too long. Not an optional: making a value optional
  // clears its bytes in place, for every message, before any is written.
  struct Field {
    JoinedValue value;
    bool present = false;

    void Assign(std::string_view first) {
      value.Assign(first);
      present = true;
    }
  };
  Field date_;
  Field received_;
  bool date_seen_ = false;
  bool received_seen_ = false;
  // The field whose folded lines may follow.
  Field* gathering_ = nullptr;
};

}  // namespace

std::optional<UtcTime> MessageDate(std::string_view window,
                                   bool window_ends_file, bool cr_ends_lines,
                                   bool* cut) {
  *cut = false;
  DateFields fields;
  const char* const end = window.data() + window.size();
  const char* p = window.data();
  for (;;) {
    if (p == end && window_ends_file) break;
    const char* brk;
    if (cr_ends_lines) {
      brk = FindLineBreak(p, end);
    } else {
      brk = static_cast<const char*>(
          std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (brk == nullptr) brk = end;
    }
    if (brk == end && !window_ends_file) {
      // The block may go on past the window: only the whole block can say,
      // unless what was seen settles it.
      if (fields.Settled({p, static_cast<std::size_t>(end - p)})) break;
      *cut = true;
      return std::nullopt;
    }
    std::string_view line(p, static_cast<std::size_t>(brk - p));
    if (brk == end) {
      p = end;
    } else if (cr_ends_lines && *brk == '\r' && brk + 1 < end &&
               brk[1] == '\n') {
      p = brk + 2;
    } else {
      if (!cr_ends_lines && brk != p && brk[-1] == '\r') line.remove_suffix(1);
      p = brk + 1;
    }
    if (!fields.Line(line, line.size() <= kDateLineMax)) break;
  }
  return fields.Result();
}

std::optional<UtcTime> MessageDateAt(InputFile& file, qint64 offset,
                                     CrRule rule,
                                     std::optional<FileError>* failure) {
  constexpr std::size_t kChunk = 64 * 1024;
  OffsetInput input(file, offset);
  LineReader reader(input, kChunk, offset, rule);
  DateFields fields;
  while (reader.ReadMailboxLine()) {
    const std::string_view head = reader.Head(kDateLineMax + 1);
    if (!fields.Line(head, head.size() <= kDateLineMax)) break;
  }
  if (const auto failed = reader.failure()) {
    *failure = failed->error;
    return std::nullopt;
  }
  return fields.Result();
}

}  // namespace quillet
