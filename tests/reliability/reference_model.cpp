#include "tests/reliability/reference_model.h"

#include <cstdio>
#include <optional>

#include "conversion/mailbox_format.h"
#include "conversion/message_date.h"

namespace quillet::reliability {
namespace {

// How far past a .box separator line the message's Date is looked for.
constexpr std::size_t kDateReach = 64 * 1024;

bool StartsWith(std::string_view line, std::string_view head) {
  return line.size() >= head.size() && line.substr(0, head.size()) == head;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// "Date", in any letter case, then optional blanks and the colon. Returns
// the text after the colon.
std::optional<std::string_view> DateFieldValue(std::string_view line) {
  if (line.size() < 5) return std::nullopt;
  const std::string_view name = "date";
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != name[i]) return std::nullopt;
  }
  std::size_t i = name.size();
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] != ':') return std::nullopt;
  return line.substr(i + 1);
}

// The message time for the separator at lines[index]: its own Date field if
// one is found within reach and parses, otherwise `started`.
QDateTime MessageTime(const std::vector<ModelLine>& lines, std::size_t index,
                      std::size_t file_size, const QDateTime& started) {
  const ModelLine& separator = lines[index];
  if (!separator.has_line_end) return started;  // nothing follows it
  const std::size_t after =
      index + 1 < lines.size() ? lines[index + 1].start : file_size;
  const std::size_t reach = after + kDateReach;
  // A line counts only when all of it, up to its line end (or the file's
  // end), lies within reach.
  const auto within_reach = [&](const ModelLine& line) {
    return line.has_line_end ? line.end < reach : line.end <= reach;
  };

  std::optional<std::string> value;
  for (std::size_t j = index + 1; j < lines.size(); ++j) {
    const ModelLine& line = lines[j];
    if (!within_reach(line)) break;
    if (line.text.empty() || StartsWith(line.text, BoxSeparator)) break;
    if (value) {
      if (!IsBlank(line.text[0])) break;
      value->append(line.text);  // a folded line of the Date field
      continue;
    }
    if (const auto text = DateFieldValue(line.text)) value = std::string(*text);
  }
  if (value) {
    if (const std::optional<QDateTime> time = ParseMailDate(*value)) {
      return *time;
    }
  }
  return started;
}

std::string StatusCall(const UiText& text, qint64 mailbox, qint64 message) {
  const QString status = text.ProgressPrefix + QString::number(mailbox) +
                         text.ProgressMiddle + QString::number(message) +
                         text.ProgressSuffix;
  return "status " + status.toStdString();
}

// What the mbox output holds so far, as far as closing a message goes.
enum class Last {
  kNothing,            // no line written yet
  kOpenHeaders,        // a separator and maybe header lines, not closed
  kHeaderClosingLine,  // the empty line that closed the header block
  kEmptyLine,          // any other empty line
  kOtherLine,
};

}  // namespace

std::vector<ModelLine> ModelSplitLines(std::string_view input) {
  std::vector<ModelLine> lines;
  std::size_t start = 0;
  while (start < input.size()) {
    std::size_t end = start;
    while (end < input.size() && input[end] != '\r' && input[end] != '\n') {
      ++end;
    }
    ModelLine line;
    line.text = input.substr(start, end - start);
    line.start = start;
    line.end = end;
    line.has_line_end = end < input.size();
    lines.push_back(line);
    if (end == input.size()) break;
    start = end + 1;
    if (input[end] == '\r' && start < input.size() && input[start] == '\n') {
      ++start;
    }
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
  std::string& out = result.output;
  qint64 reckoned = 0;
  const auto report = [&] {
    ++result.messages;
    result.calls.push_back("value " + std::to_string(reckoned));
    result.calls.push_back(StatusCall(text, mailbox_number, result.messages));
    result.calls.push_back("repaint");
  };

  if (mbox_to_box) {
    for (const ModelLine& line : lines) {
      reckoned += static_cast<qint64>(line.text.size()) + 2;
      if (StartsWith(line.text, MboxSeparatorStart)) {
        report();
        out += BoxSeparator;
      } else {
        out += line.text;
      }
      out += "\r\n";
    }
    return result;
  }

  Last last = Last::kNothing;
  // Every message ends with an empty line of its own; one that merely
  // closed the header block does not count, and an unclosed block needs
  // its closing line as well.
  const auto close_message = [&] {
    switch (last) {
      case Last::kNothing:
      case Last::kEmptyLine:
        return;
      case Last::kOpenHeaders:
        out += "\n\n";
        break;
      case Last::kHeaderClosingLine:
      case Last::kOtherLine:
        out += "\n";
        break;
    }
    last = Last::kEmptyLine;
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ModelLine& line = lines[i];
    reckoned += static_cast<qint64>(line.text.size()) + 2;
    if (StartsWith(line.text, BoxSeparator)) {
      report();
      close_message();
      out += "From - ";
      out += ModelAsctime(MessageTime(lines, i, input.size(), started));
      out += "\n";
      last = Last::kOpenHeaders;
      continue;
    }
    std::size_t quotes = 0;
    while (quotes < line.text.size() && line.text[quotes] == '>') ++quotes;
    if (StartsWith(line.text.substr(quotes), MboxSeparatorStart)) out += '>';
    out += line.text;
    out += "\n";
    if (!line.text.empty()) {
      if (last != Last::kOpenHeaders) last = Last::kOtherLine;
    } else {
      last = last == Last::kOpenHeaders ? Last::kHeaderClosingLine
                                        : Last::kEmptyLine;
    }
  }
  close_message();
  return result;
}

}  // namespace quillet::reliability
