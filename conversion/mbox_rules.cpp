// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/mbox_rules.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "conversion/mailbox_format.h"

namespace quillet {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsMonthName(std::string_view word) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun",
      "jul", "aug", "sep", "oct", "nov", "dec"};
  if (word.size() != 3) return false;
  const char lower[3] = {AsciiLower(word[0]), AsciiLower(word[1]),
                         AsciiLower(word[2])};
  const std::string_view name(lower, 3);
  return std::find(kMonths.begin(), kMonths.end(), name) != kMonths.end();
}

bool IsTime(std::string_view word) {
  const std::size_t colon = word.find(':');
  if (colon == 0 || colon > 2 || colon == std::string_view::npos) return false;
  const auto digits = [](std::string_view s) {
    return std::all_of(s.begin(), s.end(), IsDigit);
  };
  if (!digits(word.substr(0, colon))) return false;
  const std::string_view rest = word.substr(colon + 1);
  if (rest.size() == 2) return digits(rest);
  return rest.size() == 5 && rest[2] == ':' && digits(rest.substr(0, 2)) &&
         digits(rest.substr(3));
}

bool IsYear(std::string_view word) {
  return word.size() == 4 && std::all_of(word.begin(), word.end(), IsDigit);
}

// Reads up to `size` bytes at `offset`, through short reads; fewer only at
// the end of the file. -1 on failure.
qint64 ReadFully(InputFile& file, qint64 offset, char* data, qint64 size) {
  qint64 got = 0;
  while (got < size) {
    const qint64 n = file.ReadAt(offset + got, data + got, size - got);
    if (n < 0) return -1;
    if (n == 0) break;
    got += n;
  }
  return got;
}

// The size of the empty line at the start of `bytes` (0 when there is none).
std::size_t EmptyLineSize(std::string_view bytes, bool ends_file, CrRule rule) {
  if (bytes.substr(0, 2) == "\r\n") return 2;
  if (!bytes.empty() && bytes[0] == '\n') return 1;
  if (rule == CrRule::kEndsLine && !bytes.empty() && bytes[0] == '\r' &&
      (bytes.size() > 1 || ends_file)) {
    return 1;
  }
  return 0;
}

// Whether `line` ends in the usual ctime date, " Mmm dd hh:mm:ss yyyy"
// with single spaces: then its words hold a month, a time and a year, and
// FromLineJudge would find the line dated; this only saves feeding it.
// The day and weekday are not looked at, as the judge does not look at
// them either.
bool EndsInCtimeDate(std::string_view line) {
  // "Jan  1 09:00:00 2024" from the month on, and the blank before it.
  constexpr std::size_t kTail = 21;
  if (line.size() < MboxSeparatorStart.size() + kTail) return false;
  const char* t = line.data() + line.size() - kTail;
  const auto digit = [](char c) { return IsDigit(c); };
  return t[0] == ' ' && t[4] == ' ' && t[7] == ' ' && t[16] == ' ' &&
         digit(t[8]) && digit(t[9]) && t[10] == ':' && digit(t[11]) &&
         digit(t[12]) && t[13] == ':' && digit(t[14]) && digit(t[15]) &&
         digit(t[17]) && digit(t[18]) && digit(t[19]) && digit(t[20]) &&
         IsMonthName({t + 1, 3});
}

}  // namespace

bool IsHeaderFieldStart(std::string_view line) {
  const std::size_t limit = std::min(line.size(), kFieldNameMax + 1);
  for (std::size_t i = 0; i < limit; ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c == ':') return i > 0;
    if (c < 33 || c > 126) return false;
  }
  return false;
}

void FromLineJudge::Feed(std::string_view piece) {
  constexpr auto kHead = static_cast<qint64>(MboxSeparatorStart.size());
  for (const char c : piece) {
    if (IsBlank(c)) {
      if (fed_ == kHead) blank_after_from_ = true;
      in_blanks_ = true;
      EndWord();
    } else {
      if (in_blanks_) {
        ++words_;
        in_blanks_ = false;
      }
      if (c == ',') {
        EndWord();
      } else if (word_size_ < sizeof word_) {
        word_[word_size_++] = c;
      } else {
        word_too_long_ = true;
      }
    }
    ++fed_;
  }
}

void FromLineJudge::EndWord() {
  if (!word_too_long_ && word_size_ > 0) {
    const std::string_view word(word_, word_size_);
    month_ = month_ || IsMonthName(word);
    time_ = time_ || IsTime(word);
    year_ = year_ || IsYear(word);
  }
  word_size_ = 0;
  word_too_long_ = false;
}

bool FromLineJudge::BareOrDated() {
  EndWord();
  return words_ == 0 || (month_ && time_ && year_);
}

std::optional<bool> FromLineStartsMessage(std::string_view raw,
                                          bool raw_ends_file, CrRule rule) {
  const LineScan line =
      ScanLine(raw.data(), raw.data() + raw.size(), raw_ends_file, &rule);
  const std::string_view next = raw.substr(line.content + line.end_size);
  // The next line's field name must be in view too, unless the file ends.
  if (!line.found ? !raw_ends_file
                  : next.size() <= kFieldNameMax && !raw_ends_file) {
    return std::nullopt;
  }
  if (EndsInCtimeDate(raw.substr(0, line.content))) return true;
  FromLineJudge judge;
  judge.Feed(raw.substr(0, line.content));
  if (judge.BareOrDated()) return true;
  if (!line.found || !judge.OneWord()) return false;
  const LineScan next_line =
      ScanLine(next.data(), next.data() + next.size(), raw_ends_file, &rule);
  return IsHeaderFieldStart(next.substr(0, next_line.content));
}

bool FromLineStartsMessageAt(InputFile& file, qint64 offset, CrRule rule,
                             std::optional<FileError>* failure) {
  constexpr std::size_t kChunk = 64 * 1024;
  OffsetInput input(file, offset);
  LineReader reader(input, kChunk, offset, rule);
  bool starts = false;
  if (reader.ReadMailboxLine()) {
    FromLineJudge judge;
    std::string_view piece;
    while (reader.NextPiece(&piece)) judge.Feed(piece);
    starts = judge.BareOrDated() ||
             (judge.OneWord() && reader.line_end() != LineEnd::kNone &&
              reader.ReadMailboxLine() &&
              IsHeaderFieldStart(reader.Head(kFieldNameMax + 1)));
  }
  if (const auto failed = reader.failure()) *failure = failed->error;
  return starts;
}

std::optional<ContentLengthField> ParseContentLengthField(
    std::string_view line) {
  constexpr std::string_view kName = kContentLengthName;
  if (line.size() < kName.size()) return std::nullopt;
  for (std::size_t i = 0; i < kName.size(); ++i) {
    if (AsciiLower(line[i]) != kName[i]) return std::nullopt;
  }
  std::size_t i = kName.size();
  while (i < line.size() && IsBlank(line[i])) ++i;
  ContentLengthField field;
  field.digits_begin = i;
  constexpr qint64 kMost = std::numeric_limits<qint64>::max() / 16;
  while (i < line.size() && IsDigit(line[i])) {
    field.value = std::min(kMost, field.value * 10 + (line[i] - '0'));
    ++i;
  }
  field.digits_end = i;
  if (field.digits_end == field.digits_begin) return std::nullopt;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i != line.size()) return std::nullopt;
  return field;
}

std::string WithContentLength(std::string_view line,
                              const ContentLengthField& field, qint64 length) {
  std::string out(line.substr(0, field.digits_begin));
  out += std::to_string(length);
  out += line.substr(field.digits_end);
  return out;
}

std::optional<TrustedBody> CheckContentLengthBody(
    InputFile& file, qint64 body_start, qint64 length, CrRule rule, bool mmdf,
    std::optional<FileError>* failure) {
  // The body's last byte, then room for an empty CR LF line and "From "
  // (or an MMDF delimiter and its line end).
  constexpr qint64 kWindow = 1 + 2 + 2 + 6;
  std::array<char, kWindow> bytes{};
  const qint64 at = length > 0 ? body_start + length - 1 : body_start;
  const qint64 got = ReadFully(file, at, bytes.data(), kWindow);
  if (got < 0) {
    *failure = file.Error();
    return std::nullopt;
  }
  std::string_view window(bytes.data(), static_cast<std::size_t>(got));
  const bool window_ends_file = got < kWindow;
  if (length > 0) {
    if (window.empty()) return std::nullopt;  // the body passes the file's end
    const char last = window[0];
    window.remove_prefix(1);
    const bool line_ends =
        last == '\n' ||
        (last == '\r' && rule == CrRule::kEndsLine &&
         (window.empty() ? window_ends_file : window[0] != '\n'));
    if (!line_ends && !window.empty()) return std::nullopt;
  }
  const qint64 end = body_start + length;
  const auto starts_from_or_ends = [&](std::string_view rest, bool ends) {
    if (rest.empty() && ends) return true;
    if (!mmdf) {
      return rest.substr(0, MboxSeparatorStart.size()) == MboxSeparatorStart;
    }
    const std::size_t n = kMmdfDelimiter.size();
    if (rest.substr(0, n) != kMmdfDelimiter) return false;
    return rest.size() == n
               ? ends
               : rest[n] == '\n' ||
                     (rest[n] == '\r' && (rule == CrRule::kEndsLine ||
                                          rest.substr(n + 1, 1) == "\n"));
  };
  if (starts_from_or_ends(window, window_ends_file)) {
    return TrustedBody{end, end};
  }
  const std::size_t empty = EmptyLineSize(window, window_ends_file, rule);
  if (empty > 0 &&
      starts_from_or_ends(window.substr(empty), window_ends_file)) {
    return TrustedBody{end, end + static_cast<qint64>(empty)};
  }
  return std::nullopt;
}

QuoteRun MeasureQuotes(std::string_view bytes) {
  std::size_t n = 0;
  while (n < bytes.size() && bytes[n] == '>') ++n;
  const std::string_view rest = bytes.substr(n);
  // The first byte tells most lines apart without a comparison.
  const char first = rest.empty() ? '\0' : rest[0];
  return {static_cast<qint64>(n),
          first == 'F' && rest.starts_with(MboxSeparatorStart),
          first == BoxSeparator[0] && rest.starts_with(BoxSeparator)};
}

QuoteRun TakeQuoteRun(LineReader& reader) {
  constexpr std::size_t kStep = 64;
  qint64 quotes = 0;
  for (;;) {
    const std::string_view head = reader.Head(kStep);
    const QuoteRun part = MeasureQuotes(head);
    reader.Skip(static_cast<std::size_t>(part.quotes));
    quotes += part.quotes;
    if (part.quotes < static_cast<qint64>(kStep)) break;
  }
  QuoteRun run = MeasureQuotes(reader.Head(BoxSeparator.size()));
  run.quotes = quotes;
  return run;
}

}  // namespace quillet
