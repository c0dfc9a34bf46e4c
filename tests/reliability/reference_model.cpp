// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/reliability/reference_model.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "conversion/mailbox_format.h"
#include "conversion/message_date.h"

namespace quillet::reliability {
namespace {

// A Date or Received field with a longer line, or a longer value once
// unfolded, holds no date.
constexpr std::size_t kDateFieldMax = 64 * 1024;
// The opening and closing line of a message in an MMDF mailbox.
constexpr std::string_view kMmdfLine = "\x01\x01\x01\x01";
constexpr std::string_view kFrom = "From ";

bool StartsWith(std::string_view line, std::string_view head) {
  return line.size() >= head.size() && line.substr(0, head.size()) == head;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != lower[i]) return false;
  }
  return true;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit);
}

// `name` in any letter case, optional blanks, a colon: the text after it.
std::optional<std::string_view> FieldValue(std::string_view line,
                                           std::string_view name) {
  if (line.size() < name.size() ||
      !EqualsIgnoringCase(line.substr(0, name.size()), name)) {
    return std::nullopt;
  }
  std::size_t i = name.size();
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] != ':') return std::nullopt;
  return line.substr(i + 1);
}

// A line that begins like a header field: 1 to 998 bytes from 33 to 126
// other than ':', then ':'.
bool LooksLikeHeaderField(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && i <= 998) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c < 33 || c > 126 || c == ':') break;
    ++i;
  }
  return i >= 1 && i <= 998 && i < line.size() && line[i] == ':';
}

// Words split at blanks and commas hold a month's name, a time and a
// four-digit year, in any order.
bool CarriesDate(std::string_view line) {
  static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr",
                                                 "may", "jun", "jul", "aug",
                                                 "sep", "oct", "nov", "dec"};
  bool month = false;
  bool time = false;
  bool year = false;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (IsBlank(line[i]) || line[i] == ',')) ++i;
    std::size_t j = i;
    while (j < line.size() && !IsBlank(line[j]) && line[j] != ',') ++j;
    const std::string_view word = line.substr(i, j - i);
    i = j;
    if (word.empty()) continue;
    for (std::string_view m : kMonths) month |= EqualsIgnoringCase(word, m);
    year |= word.size() == 4 && AllDigits(word);
    // h:mm, hh:mm, h:mm:ss or hh:mm:ss.
    const std::size_t colon = word.find(':');
    if (colon == 1 || colon == 2) {
      const std::string_view hour = word.substr(0, colon);
      const std::string_view rest = word.substr(colon + 1);
      const bool minutes = rest.size() == 2 && AllDigits(rest);
      const bool seconds = rest.size() == 5 && rest[2] == ':' &&
                           AllDigits(rest.substr(0, 2)) &&
                           AllDigits(rest.substr(3));
      time |= AllDigits(hour) && (minutes || seconds);
    }
  }
  return month && time && year;
}

// A "Content-Length:" field (name in any case) whose value on its line is a
// decimal number with blanks around it allowed. Gives the number (held at
// the largest value for absurd lengths) and where its digits stand.
struct ContentLength {
  std::size_t value = 0;
  std::size_t digits_at = 0;
  std::size_t digits_size = 0;
};
std::optional<ContentLength> ContentLengthField(std::string_view line) {
  constexpr std::string_view kName = "content-length:";
  if (line.size() < kName.size() ||
      !EqualsIgnoringCase(line.substr(0, kName.size()), kName)) {
    return std::nullopt;
  }
  std::size_t i = kName.size();
  while (i < line.size() && IsBlank(line[i])) ++i;
  ContentLength field;
  field.digits_at = i;
  while (i < line.size() && IsDigit(line[i])) {
    const std::size_t digit = static_cast<std::size_t>(line[i] - '0');
    field.value = field.value > (SIZE_MAX - digit) / 10
                      ? SIZE_MAX
                      : field.value * 10 + digit;
    ++i;
  }
  field.digits_size = i - field.digits_at;
  if (field.digits_size == 0) return std::nullopt;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i != line.size()) return std::nullopt;
  return field;
}

std::string WithLength(std::string_view line, const ContentLength& field,
                       std::size_t length) {
  std::string text(line.substr(0, field.digits_at));
  text += std::to_string(length);
  text += line.substr(field.digits_at + field.digits_size);
  return text;
}

// Quoting of lines that are not separators: towards mbox, mboxrd quoting
// of "From " lines, and one '>' less on '>'s before the .box separator's
// bytes; towards .box the other way round.
std::string Requote(std::string_view line, std::string_view gains,
                    std::string_view loses) {
  std::size_t quotes = 0;
  while (quotes < line.size() && line[quotes] == '>') ++quotes;
  const std::string_view rest = line.substr(quotes);
  if (StartsWith(rest, gains)) return ">" + std::string(line);
  if (quotes > 0 && StartsWith(rest, loses)) return std::string(line.substr(1));
  return std::string(line);
}
std::string Quote(std::string_view line) {
  return Requote(line, kFrom, BoxSeparator);
}
std::string Unquote(std::string_view line) {
  return Requote(line, BoxSeparator, kFrom);
}

std::string StatusCall(const UiText& text, qint64 mailbox, qint64 message) {
  const QString status = text.ProgressPrefix + QString::number(mailbox) +
                         text.ProgressMiddle + QString::number(message) +
                         text.ProgressSuffix;
  return "status " + status.toStdString();
}

// One message of the source: its separator line, the index of the line
// after its last (the next separator, or the line count), the empty line
// that closes its header block and its Content-Length field, if any, and
// where the body that a valid Content-Length counts ends.
struct Message {
  std::size_t separator = 0;
  std::size_t end = 0;
  std::optional<std::size_t> header_close;
  std::optional<std::size_t> length_line;
  ContentLength length;
  std::optional<std::size_t> counted_end;
  // An MMDF message's closing line, where its body ends.
  std::optional<std::size_t> close;
};

// An empty line is the format's, and dropped, when it is a message's last
// line (before the next separator, an MMDF closing line or the end of the
// file), unless a valid Content-Length counts it. The line that closes a
// header block is no exception.
void DropTheFormatsEmptyLine(const std::vector<ModelLine>& lines,
                             const Message& m, std::size_t last,
                             std::vector<bool>* dropped) {
  if (last <= m.separator || !lines[last].text.empty()) return;
  if (m.counted_end && m.header_close && last > *m.header_close &&
      lines[last].next <= *m.counted_end) {
    return;
  }
  (*dropped)[last] = true;
}

// The index of the line that starts at `offset`, if one does.
std::optional<std::size_t> LineStartingAt(const std::vector<ModelLine>& lines,
                                          std::size_t offset) {
  const auto at = std::lower_bound(
      lines.begin(), lines.end(), offset,
      [](const ModelLine& line, std::size_t o) { return line.start < o; });
  if (at == lines.end() || at->start != offset) return std::nullopt;
  return static_cast<std::size_t>(at - lines.begin());
}

// What becomes of each source line.
struct Plan {
  std::vector<bool> separator;
  std::vector<bool> dropped;
  std::vector<Message> messages;
};

void NoteContentLength(std::string_view line, std::size_t index,
                       Message* message) {
  if (message->length_line) return;
  if (const auto field = ContentLengthField(line)) {
    message->length_line = index;
    message->length = *field;
  }
}

// An MMDF mailbox: messages between pairs of Control-A lines.
void PlanMmdf(std::string_view input, const std::vector<ModelLine>& lines,
              Plan* plan) {
  const std::size_t n = lines.size();
  // A Content-Length body is valid when it ends at a line start (or the
  // file's end) followed by the end of the file or a Control-A line, with
  // at most one empty line between.
  const auto valid_end = [&](std::size_t body,
                             std::size_t length) -> std::optional<std::size_t> {
    if (length > input.size() - body) return std::nullopt;
    const std::size_t end = body + length;
    if (end == input.size()) return end;
    std::optional<std::size_t> k = LineStartingAt(lines, end);
    if (!k) return std::nullopt;
    if (lines[*k].text.empty()) ++*k;
    if (*k == n || lines[*k].text == kMmdfLine) return end;
    return std::nullopt;
  };
  bool inside = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (lines[i].text != kMmdfLine) continue;
    if (inside) {  // the closing line, and the format's empty line before it
      plan->dropped[i] = true;
      plan->messages.back().close = i;
      DropTheFormatsEmptyLine(lines, plan->messages.back(), i - 1,
                              &plan->dropped);
      inside = false;
      continue;
    }
    if (!plan->messages.empty()) plan->messages.back().end = i;
    inside = true;
    plan->separator[i] = true;
    Message m;
    m.separator = i;
    std::size_t h = i + 1;
    if (h < n && StartsWith(lines[h].text, kFrom)) plan->dropped[h++] = true;
    for (; h < n && !lines[h].text.empty() && lines[h].text != kMmdfLine; ++h) {
      NoteContentLength(lines[h].text, h, &m);
    }
    if (h < n && lines[h].text.empty()) {
      m.header_close = h;
      if (m.length_line)
        m.counted_end = valid_end(lines[h].next, m.length.value);
    }
    plan->messages.push_back(m);
  }
  if (!plan->messages.empty()) plan->messages.back().end = n;
}

// An mbox mailbox: "From " lines that start messages by their shape, and
// Content-Length bodies that hide the ones inside them.
void PlanMbox(std::string_view input, const std::vector<ModelLine>& lines,
              Plan* plan) {
  const std::size_t n = lines.size();
  const auto shaped_like_separator = [&](std::size_t i) {
    const std::string_view text = lines[i].text;
    if (!StartsWith(text, kFrom)) return false;
    if (i == 0) return true;
    const std::string_view rest = text.substr(kFrom.size());
    if (std::all_of(rest.begin(), rest.end(), IsBlank)) return true;
    if (CarriesDate(text)) return true;
    // One word right after "From " (an envelope sender), blanks after it,
    // and a header field on the next line.
    const std::size_t word_end = rest.find_first_of(" \t");
    const bool one_word =
        !rest.empty() && !IsBlank(rest[0]) &&
        (word_end == std::string_view::npos ||
         std::all_of(rest.begin() + word_end, rest.end(), IsBlank));
    return one_word && i + 1 < n && LooksLikeHeaderField(lines[i + 1].text);
  };
  const auto line_starting_at = [&](std::size_t offset) {
    return LineStartingAt(lines, offset);
  };
  // Where a valid Content-Length body that starts at `body` ends: the
  // index of the separator that follows it (the line count at the end of
  // the file); nothing when the length is not valid.
  const auto after_valid_body =
      [&](std::size_t body, std::size_t length) -> std::optional<std::size_t> {
    if (length > input.size() - body) return std::nullopt;
    const std::size_t end = body + length;
    if (end == input.size()) return n;
    const std::optional<std::size_t> k = line_starting_at(end);
    if (!k) return std::nullopt;
    if (StartsWith(lines[*k].text, kFrom)) return *k;
    if (!lines[*k].text.empty()) return std::nullopt;
    if (*k + 1 == n) return n;
    if (StartsWith(lines[*k + 1].text, kFrom)) return *k + 1;
    return std::nullopt;
  };

  std::size_t i = 0;
  while (i < n && !shaped_like_separator(i)) ++i;
  while (i < n) {
    plan->separator[i] = true;
    Message m;
    m.separator = i;
    std::size_t h = i + 1;
    for (; h < n && !lines[h].text.empty() && !shaped_like_separator(h); ++h) {
      NoteContentLength(lines[h].text, h, &m);
    }
    std::size_t next = h;
    if (h < n && lines[h].text.empty()) {
      m.header_close = h;
      std::optional<std::size_t> after;
      if (m.length_line)
        after = after_valid_body(lines[h].next, m.length.value);
      if (after) {
        next = *after;
        m.counted_end = lines[h].next + m.length.value;
      } else {
        next = h + 1;
        while (next < n && !shaped_like_separator(next)) ++next;
      }
    }
    m.end = next;
    plan->messages.push_back(m);
    i = next;
  }
  for (const Message& m : plan->messages) {
    DropTheFormatsEmptyLine(lines, m, m.end - 1, &plan->dropped);
  }
  // Text before the first separator ends with the format's empty line too.
  if (!plan->messages.empty()) {
    const std::size_t first = plan->messages.front().separator;
    if (first > 0 && lines[first - 1].text.empty()) {
      plan->dropped[first - 1] = true;
    }
  }
}

std::string ToBox(std::string_view input, const std::vector<ModelLine>& lines,
                  std::vector<bool>* separators) {
  const std::size_t n = lines.size();
  Plan plan;
  plan.separator.assign(n, false);
  plan.dropped.assign(n, false);
  if (n > 0 && lines[0].text == kMmdfLine) {
    PlanMmdf(input, lines, &plan);
  } else {
    PlanMbox(input, lines, &plan);
  }
  *separators = plan.separator;

  std::vector<std::string> written(n);
  for (std::size_t i = 0; i < n; ++i) {
    written[i] =
        plan.separator[i] ? std::string(BoxSeparator) : Unquote(lines[i].text);
  }
  for (const Message& m : plan.messages) {
    if (!m.length_line) continue;
    std::size_t body = 0;
    if (m.header_close) {
      for (std::size_t k = *m.header_close + 1; k < m.close.value_or(m.end);
           ++k) {
        if (!plan.dropped[k]) body += written[k].size() + 2;
      }
    }
    written[*m.length_line] =
        WithLength(lines[*m.length_line].text, m.length, body);
  }
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    if (plan.dropped[i]) continue;
    out += written[i];
    out += "\r\n";
  }
  return out;
}

// The date for the .box separator at lines[s]: the first Date field of its
// header block, else the date after the last ";" of the topmost Received
// field, else `started`, however long the header block. Only usable dates
// count; a field with a line or an unfolded value over kDateFieldMax holds
// none.
QDateTime MessageTime(const std::vector<ModelLine>& lines, std::size_t s,
                      const QDateTime& started) {
  if (!lines[s].has_line_end) return started;  // nothing follows it
  const std::size_t n = lines.size();
  std::optional<std::string> date;
  std::optional<std::string> received;
  for (std::size_t j = s + 1; j < n;) {
    const std::string_view text = lines[j].text;
    if (text.empty() || StartsWith(text, BoxSeparator)) break;
    std::size_t k = j + 1;
    while (k < n && !lines[k].text.empty() && IsBlank(lines[k].text[0])) ++k;
    const auto unfolded = [&](std::string_view first) {
      std::string value(first);
      for (std::size_t f = j + 1; f < k; ++f) value += lines[f].text;
      bool too_long = value.size() > kDateFieldMax;
      for (std::size_t f = j; f < k; ++f) {
        too_long = too_long || lines[f].text.size() > kDateFieldMax;
      }
      return too_long ? std::string() : value;
    };
    if (!date) {
      if (const auto value = FieldValue(text, "date")) date = unfolded(*value);
    }
    if (!received) {
      if (const auto value = FieldValue(text, "received")) {
        received = unfolded(*value);
      }
    }
    j = k;
  }
  const auto usable = [](std::string_view value) -> std::optional<QDateTime> {
    const std::optional<UtcTime> fields = ParseMailDate(value);
    if (!fields) return std::nullopt;
    const std::optional<QDateTime> time =
        QDateTime::fromSecsSinceEpoch(fields->seconds, Qt::UTC);
    const int year = time->toUTC().date().year();
    if (year < 1000 || year > 9999) return std::nullopt;
    return time;
  };
  if (date) {
    if (const auto time = usable(*date)) return *time;
  }
  if (received) {
    const std::size_t semicolon = received->rfind(';');
    if (semicolon != std::string::npos) {
      if (const auto time =
              usable(std::string_view(*received).substr(semicolon + 1))) {
        return *time;
      }
    }
  }
  return started;
}

std::string ToMbox(const std::vector<ModelLine>& lines,
                   const QDateTime& started, std::vector<bool>* separators) {
  const std::size_t n = lines.size();
  std::vector<bool>& separator = *separators;
  separator.assign(n, false);
  std::vector<Message> messages;
  for (std::size_t i = 0; i < n; ++i) {
    if (!StartsWith(lines[i].text, BoxSeparator)) continue;
    separator[i] = true;
    if (!messages.empty()) messages.back().end = i;
    Message m;
    m.separator = i;
    std::size_t h = i + 1;
    for (; h < n && !lines[h].text.empty() &&
           !StartsWith(lines[h].text, BoxSeparator);
         ++h) {
      NoteContentLength(lines[h].text, h, &m);
    }
    if (h < n && lines[h].text.empty()) m.header_close = h;
    messages.push_back(m);
  }
  if (!messages.empty()) messages.back().end = n;

  std::vector<std::string> written(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (!separator[i]) written[i] = Quote(lines[i].text);
  }
  for (const Message& m : messages) {
    if (!m.length_line) continue;
    std::size_t body = 0;
    if (m.header_close) {
      for (std::size_t k = *m.header_close + 1; k < m.end; ++k) {
        body += written[k].size() + 1;
      }
    }
    written[*m.length_line] =
        WithLength(lines[*m.length_line].text, m.length, body);
  }

  std::string out;
  const std::size_t first = messages.empty() ? n : messages.front().separator;
  for (std::size_t i = 0; i < first; ++i) out += written[i] + "\n";
  if (first == n) return out;
  if (first > 0) out += "\n";  // the format's, after the text
  for (const Message& m : messages) {
    out += "From - " + ModelAsctime(MessageTime(lines, m.separator, started)) +
           "\n";
    for (std::size_t k = m.separator + 1; k < m.end; ++k) {
      out += written[k] + "\n";
    }
    // The message's own empty line; it also closes a header block never
    // closed.
    out += "\n";
  }
  return out;
}

}  // namespace

bool ModelLoneCrEndsLines(std::string_view input) {
  const std::size_t at = input.find_first_of("\r\n");
  return at != std::string_view::npos && input[at] == '\r' &&
         (at + 1 == input.size() || input[at + 1] != '\n');
}

std::vector<ModelLine> ModelSplitLines(std::string_view input) {
  const bool lone_cr_ends = ModelLoneCrEndsLines(input);
  std::vector<ModelLine> lines;
  std::size_t start = 0;
  while (start < input.size()) {
    std::size_t end = start;
    std::size_t next = input.size();
    for (; end < input.size(); ++end) {
      if (input[end] == '\n') {
        next = end + 1;
        break;
      }
      if (input[end] != '\r') continue;
      if (end + 1 < input.size() && input[end + 1] == '\n') {
        next = end + 2;
        break;
      }
      if (lone_cr_ends) {
        next = end + 1;
        break;
      }
    }
    ModelLine line;
    line.text = input.substr(start, end - start);
    line.start = start;
    line.end = end;
    line.next = next;
    line.has_line_end = end < input.size();
    lines.push_back(line);
    start = next;
  }
  return lines;
}

std::string ModelAsctime(const QDateTime& time) {
  static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu",
                                      "Fri", "Sat", "Sun"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr",
                                        "May", "Jun", "Jul", "Aug",
                                        "Sep", "Oct", "Nov", "Dec"};
  const QDateTime utc = time.toUTC();
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d",
                kDays[utc.date().dayOfWeek() - 1],
                kMonths[utc.date().month() - 1], utc.date().day(),
                utc.time().hour(), utc.time().minute(), utc.time().second(),
                utc.date().year());
  return text;
}

ModelResult ModelConvert(std::string_view input, bool mbox_to_box,
                         const UiText& text, qint64 mailbox_number,
                         const QDateTime& started) {
  ModelResult result;
  result.calls.push_back("max " + std::to_string(input.size()));
  const std::vector<ModelLine> lines = ModelSplitLines(input);
  std::vector<bool> separator;
  result.output = mbox_to_box ? ToBox(input, lines, &separator)
                              : ToMbox(lines, started, &separator);
  // Progress: every line is reckoned at its length plus 2; at each source
  // separator the count through its end, the status text and a repaint.
  qint64 reckoned = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    reckoned += static_cast<qint64>(lines[i].text.size()) + 2;
    if (!separator[i]) continue;
    ++result.messages;
    result.calls.push_back("value " + std::to_string(reckoned));
    result.calls.push_back(StatusCall(text, mailbox_number, result.messages));
    result.calls.push_back("repaint");
  }
  return result;
}

}  // namespace quillet::reliability
