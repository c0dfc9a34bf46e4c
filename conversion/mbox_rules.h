// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_MBOX_RULES_H_
#define QUILLET_CONVERSION_MBOX_RULES_H_

#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "conversion/file_layer.h"
#include "conversion/line_reader.h"
#include "conversion/mailbox_format.h"

// The rules that decide what a line of a mailbox is: where an mbox message
// starts, what a Content-Length field says and whether its body can be
// trusted, and which lines are quoted "From " lines. Every read path of the
// converter asks these functions, so each rule is written once.
namespace quillet {

// How many bytes of a "From " line are looked at for its blanks and date,
// and of a header line for a Content-Length value. Real separator and
// Content-Length lines are a few dozen bytes; a longer line is body text.
inline constexpr std::size_t kLineProbe = 64 * 1024;
// The longest header field name (RFC 5322's line limit less the colon).
inline constexpr std::size_t kFieldNameMax = 998;
// What LookAhead() must show, from the start of a "From " line, to judge it.
inline constexpr std::size_t kFromLineLookAhead =
    kLineProbe + 2 + kFieldNameMax + 1;

// An MMDF mailbox's message delimiter: four Control-A bytes alone on a line.
inline constexpr std::string_view kMmdfDelimiter = "\x01\x01\x01\x01";

// Judges the words of a "From " line fed to it in pieces, in order, from the
// line's first byte to its last (the line end not included): whether after
// "From " it holds nothing but blanks, whether it carries a date, and
// whether it holds exactly one word (an envelope sender) right after
// "From ", blanks after it allowed.
class FromLineJudge {
 public:
  void Feed(std::string_view piece);
  // Once the whole line was fed: bare or dated.
  bool BareOrDated();
  // Once the whole line was fed: one word, as "From - " and
  // "From MAILER-DAEMON" hold; never "From the top of the file".
  bool OneWord() const { return words_ == 1 && !blank_after_from_; }

 private:
  void EndWord();

  qint64 fed_ = 0;
  // Words after "From " split at blanks (0: the line is bare), and whether
  // a blank follows "From " at once.
  qint64 words_ = 0;
  bool in_blanks_ = false;
  bool blank_after_from_ = false;
  bool month_ = false, time_ = false, year_ = false;
  // The current word, while it may still be one looked for (they are at
  // most 8 bytes long).
  char word_[8] = {};
  std::size_t word_size_ = 0;
  bool word_too_long_ = false;
};

// Whether a line that begins with "From ", not inside a valid Content-Length
// body and not the file's first line, starts a message: after "From " it
// holds nothing but blanks, or it carries a date (a month's English
// three-letter name in any case, a time h:mm, hh:mm or hh:mm:ss, and a
// four-digit year, among its words split at blanks and commas), or it holds
// exactly one word after "From " and the next line is a header field: real
// mailboxes need that last clause only for "From - " or "From sender"
// envelopes written without a date, while body text such as "From the top
// of the file" before a "Signed-off-by:" trailer must stay text. `raw` holds
// the file's bytes from the line's start (kFromLineLookAhead of them unless the
// file ends first: `raw_ends_file`). Returns nothing when the line is too long
// for `raw` to judge it; then FromLineStartsMessageAt() does, reading the file
// itself.
std::optional<bool> FromLineStartsMessage(std::string_view raw,
                                          bool raw_ends_file, CrRule rule);
// The same for the line at `offset` of `file`, however long, read through
// positional reads in pieces. A failed read sets `failure` to the file's
// own failure value, as the reader has it.
bool FromLineStartsMessageAt(InputFile& file, qint64 offset, CrRule rule,
                             std::optional<FileError>* failure);

// Whether `line` begins with a header field name (1 to kFieldNameMax bytes
// from 33 to 126 other than ':') and a colon.
bool IsHeaderFieldStart(std::string_view line);

// A "Content-Length:" field (name in any case) whose value on its line is a
// decimal number, blanks around it allowed.
inline constexpr std::string_view kContentLengthName = "content-length:";
struct ContentLengthField {
  std::size_t digits_begin = 0;  // where the number stands in the line
  std::size_t digits_end = 0;
  qint64 value = 0;  // a number beyond any file size reads as the largest
};
std::optional<ContentLengthField> ParseContentLengthField(
    std::string_view line);

// `line` with the field's number replaced by `length` in decimal, name and
// blanks kept as they stood.
std::string WithContentLength(std::string_view line,
                              const ContentLengthField& field, qint64 length);

// Where a trusted Content-Length body ends, and where the separator after it
// stands.
struct TrustedBody {
  qint64 end = 0;        // file offset just past the body's bytes
  qint64 separator = 0;  // offset of the "From " line that follows, or EOF
};

// Whether the `length` bytes at `body_start` (just past the empty line that
// closes a header block) form a valid Content-Length body: they end where a
// line ends or at the end of the file, and what follows is the end of the
// file, a line beginning "From " (in an MMDF file: the closing delimiter
// line), or one empty line followed by either. Reads only the few bytes
// around the body's end. A failed read sets `failure` to the file's own
// failure value and gives nothing. In an MMDF file `separator` is the
// closing line's offset.
std::optional<TrustedBody> CheckContentLengthBody(
    InputFile& file, qint64 body_start, qint64 length, CrRule rule, bool mmdf,
    std::optional<FileError>* failure);

// The run of '>' that a quoted line begins with. `quotes` may be longer
// than any buffer: it is counted, not held.
//
// Two kinds of line are quoted, each so that it can never be taken for the
// separator of the format it is written to, and reversibly: towards mbox a
// line of '>'s (none included) and "From " gets one '>' more, and one is
// taken from a line of one or more '>'s and the 14 bytes of BoxSeparator;
// towards .box the other way round. A .box reader then finds exactly the
// messages that the converter counted.
struct QuoteRun {
  qint64 quotes = 0;
  bool from_follows = false;  // "From " follows the run
  bool box_follows = false;   // BoxSeparator's bytes follow the run
};
// The quoting rule over bytes in memory: how many '>' begin `bytes`, and
// whether "From " or BoxSeparator follows them within `bytes`. For a whole
// line, that is whether it is a quoted line of either kind.
QuoteRun MeasureQuotes(std::string_view bytes);
// The same for the reader's current line, however long its '>' run: takes
// the run (none when the line begins otherwise).
QuoteRun TakeQuoteRun(LineReader& reader);
// How many '>' a line quoted as `run` says is written with: one more or
// one fewer as the line is written in `direction`.
inline qint64 QuotesWritten(const QuoteRun& run, Direction direction) {
  const qint64 to_box = direction == Direction::kToBox ? 1 : -1;
  if (run.from_follows) return run.quotes - to_box;
  if (run.box_follows) return run.quotes + to_box;
  return run.quotes;
}
// Writes `count` '>' bytes through `append`.
template <class Append>
void AppendQuotes(qint64 count, Append&& append) {
  static constexpr std::string_view kQuotes =
      ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";
  while (count > 0) {
    const auto n = std::min<qint64>(count, qint64{kQuotes.size()});
    append(kQuotes.substr(0, static_cast<std::size_t>(n)));
    count -= n;
  }
}

}  // namespace quillet

#endif  // QUILLET_CONVERSION_MBOX_RULES_H_
