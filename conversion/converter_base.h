// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_CONVERTER_BASE_H_
#define QUILLET_CONVERSION_CONVERTER_BASE_H_

// What the two directions of the converter share. Internal to
// mailbox_converter, to_box_converter and to_mbox_converter.

#include <QDateTime>
#include <QString>
#include <algorithm>
#include <concepts>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "conversion/conversion_reporter.h"
#include "conversion/conversion_run.h"
#include "conversion/line_reader.h"
#include "conversion/mailbox_format.h"
#include "conversion/mailbox_writer.h"
#include "conversion/mbox_rules.h"

namespace quillet::converter {

// Takes the rest of the current line unseen.
inline void SkipRestOfLine(LineReader& reader) {
  std::string_view piece;
  while (reader.NextPiece(&piece)) {
  }
}

// Copies the rest of the current line to `writer`, without its line end.
inline void CopyRestOfLine(LineReader& reader, MailboxWriter& writer) {
  std::string_view piece;
  while (reader.NextPiece(&piece)) writer.Append(piece);
}

// Takes bytes and keeps nothing: a writer over it counts what a conversion
// would write.
class CountingOutput final : public OutputFile {
 public:
  bool Write(const char*, qint64) override { return true; }
  bool Flush() override { return true; }
  bool Commit() override { return true; }
  FileError Error() const override { return {}; }
};

// The size of the reads of a look ahead through a message's body.
constexpr std::size_t kLookAheadChunk = 64 * 1024;

// The first bytes of the lines that the rules of a direction look at, for
// its fast paths to leave alone: a line that begins otherwise and is not
// empty goes out as it stands (but for its line end and, when it begins
// with '>', its quoting).
struct RuleBytes {
  ByteSet always;
  ByteSet in_headers;  // in a header block: these and `always`

  // The rule bytes in the current part of a message.
  constexpr const ByteSet& For(bool in_headers_now) const {
    return in_headers_now ? in_headers : always;
  }
};

// Both letter cases of a Content-Length field's first byte.
inline constexpr char kContentLengthFirst[] = {
    kContentLengthName[0], static_cast<char>(kContentLengthName[0] - 'a' + 'A'),
    '\0'};

// What a direction's converter `T` gives ConverterBase's templates, which
// call these hooks:
//   - T(reader, writer, reporter, text, mailbox_number, fallback_time)
//   - kDirection, kLineEnd (how lines end in what it writes), kRuleBytes
//   - Run(): converts, or in counting mode counts, to the end;
//   - StartCounting(from): counting mode for the body of the message whose
//     Content-Length field `from` has just passed;
//   - MayTakeWhole(): whether the fast path may take the next line;
//   - TakeRuns(): takes runs of plain lines in one pass over the buffer;
//   - EmptyMayBeTakenWhole(): whether an empty line may skip ProcessLine();
//   - IsPlain(line): a whole line that no rule looks at;
//   - WritePlain(line, end): writes such a line;
//   - EmptyLine(): an empty line, taken by either path;
//   - ProcessLine(): every other line, started in the reader: the rules;
//   - AfterLine(end): how each line ended.
template <class T>
concept LineConverter =
    std::constructible_from<T, LineReader&, MailboxWriter&, ConversionReporter&,
                            const ProgressText&, qint64, const QDateTime&> &&
    requires(T& t, const T& c, std::string_view line, LineEnd end) {
  { T::kDirection } -> std::convertible_to<Direction>;
  { T::kLineEnd } -> std::convertible_to<std::string_view>;
  { T::kRuleBytes } -> std::convertible_to<RuleBytes>;
  t.Run();
  t.StartCounting(c);
  { c.MayTakeWhole() } -> std::same_as<bool>;
  t.TakeRuns();
  { c.EmptyMayBeTakenWhole() } -> std::same_as<bool>;
  { c.IsPlain(line) } -> std::same_as<bool>;
  t.WritePlain(line, end);
  t.EmptyLine();
  t.ProcessLine();
  t.AfterLine(end);
};

// What the two directions share: the bytes kept back to be written in one
// piece, progress and message counting, and the counting of a body's
// written length for its Content-Length field.
//
// Every line goes through one of two paths. The fast path (the pass over
// the reader's buffer, TakePlainLines(), and whole lines in the buffer,
// T::IsPlain) takes only lines that no rule changes and that change no
// state: their first byte is none of the direction's rule bytes, or the
// rules asked in place leave them as they are. Every other line takes
// ProcessLine(), where all the rules are; so the fast path only decides
// where the bytes come from.
class ConverterBase {
 public:
  ConverterBase(LineReader& reader, MailboxWriter& writer,
                ConversionReporter& reporter, const ProgressText& text,
                qint64 mailbox_number)
      : reader_(reader),
        writer_(writer),
        reporter_(reporter),
        text_(text),
        mailbox_number_(mailbox_number) {}

  qint64 messages() const { return messages_; }

 protected:
  // The writer, once the bytes kept back in the span are written: every
  // write other than Keep() goes through here, so the order holds.
  MailboxWriter& Writer() {
    FlushSpan();
    return writer_;
  }

  // Marks source bytes, still in the reader's buffer, that go out as they
  // stand. Neighbouring runs are joined and written in one piece.
  void Keep(const char* begin, std::size_t size) {
    if (size == 0) return;
    if (span_size_ > 0 && span_begin_ + span_size_ == begin) {
      span_size_ += size;
      return;
    }
    FlushSpan();
    span_begin_ = begin;
    span_size_ = size;
  }

  // Must run before the reader's buffer can move.
  void FlushSpan() {
    if (span_size_ == 0) return;
    writer_.Append({span_begin_, span_size_});
    span_size_ = 0;
  }

  void Reckon(qint64 line_length) { reckoned_ += line_length + 2; }

  // The pass over the reader's buffer: takes the whole lines at the
  // reading position whose first byte is none of `stops` (the direction's
  // rule bytes and, where an empty line changes state, CR and LF) and
  // writes them with the line end of `direction`: a line that already ends
  // so joins the span kept back, any other is copied without its line end
  // straight into the writer's buffer. A quoted line is judged in place:
  // one that the quoting rule changes ends the pass. `copy_wide`: most
  // lines are expected to need their line end changed, so they are copied
  // a block at a time. `before` runs first, when the first line is not a
  // stop: whatever path takes it, the line is written. Returns how the last
  // line taken ended (kNone: none was).
  template <Direction direction, class Before>
  LineEnd TakePlainLines(const ByteSet& stops, bool copy_wide,
                         Before&& before) {
    constexpr std::string_view kEnd =
        direction == Direction::kToBox ? "\r\n" : "\n";
    const std::string_view unread = reader_.UnreadLines();
    const char* const begin = unread.data();
    const char* const end = begin + unread.size();
    const char* line = begin;
    if (line == end || stops.contains(*line)) return LineEnd::kNone;
    before();
    bool crlf = false;  // how the last line taken ended
    bool taken_any = false;
    qint64 lf_lines = 0;  // reckoned at their length plus 2: one more
    do {
      // Lines whose line end changes are copied: those that can be copied
      // wide are, the rest go one at a time below. Only while nothing is
      // kept back: lines that already end as `direction` writes them join
      // the span instead, uncopied, wherever they come in runs.
      if (copy_wide && span_size_ == 0) {
        const LfCopy wide =
            direction == Direction::kToBox
                ? CopyLinesToCrLf(line, end, writer_.Tail(),
                                  writer_.Tail() + writer_.Room(), stops)
                : CopyLinesToLf(line, end, writer_.Tail(),
                                writer_.Tail() + writer_.Room(), stops);
        if (wide.next != line) {
          writer_.Wrote(
              static_cast<std::size_t>(wide.written - writer_.Tail()));
          taken_any = true;
          crlf = wide.last_crlf;
          lf_lines += wide.lf_lines;
          line = wide.next;
          if (line == end || stops.contains(*line)) break;
        }
      }
      const char* const lf = FindLf(line, end);
      if (lf == end) break;  // cut by the buffer's end: the reader's
      if (*line == '>') {
        const QuoteRun run =
            MeasureQuotes({line, static_cast<std::size_t>(lf - line)});
        if (run.from_follows || run.box_follows) break;
      }
      crlf = lf != line && lf[-1] == '\r';
      taken_any = true;
      if (crlf == (direction == Direction::kToBox)) {
        Keep(line, static_cast<std::size_t>(lf + 1 - line));
      } else {
        FlushSpan();
        const std::size_t size =
            static_cast<std::size_t>(lf - line) - (crlf ? 1 : 0);
        if (writer_.Room() >= size + kEnd.size()) {
          char* const out = writer_.Tail();
          std::memcpy(out, line, size);
          std::memcpy(out + size, kEnd.data(), kEnd.size());
          writer_.Wrote(size + kEnd.size());
        } else {
          writer_.WriteMailboxLine({line, size});  // makes room first
        }
      }
      lf_lines += crlf ? 0 : 1;
      line = lf + 1;
    } while (line != end && !stops.contains(*line));
    const auto taken = static_cast<std::size_t>(line - begin);
    reader_.TakeLines(taken);
    reckoned_ += static_cast<qint64>(taken) + lf_lines;
    if (!taken_any) return LineEnd::kNone;
    return crlf ? LineEnd::kCrLf : LineEnd::kLf;
  }

  // A source separator in view: counting ends there; converting takes the
  // line, reckons it and reports the message. Returns whether to go on and
  // write the message's start.
  bool TakeSeparator() {
    if (counting_) {
      stop_ = true;
      return false;
    }
    SkipRestOfLine(reader_);
    Reckon(reader_.line_length());
    ReportSeparator();
    return true;
  }

  void ReportSeparator() {
    reporter_.SetProgressValue(reckoned_);
    ++messages_;
    if (reporter_.WantsStatusText()) ReportStatusText();
    reporter_.Repaint();
  }

  void ReportStatusText() {
    // The text up to the message number is the same all through a mailbox;
    // only the number and the suffix are added per message.
    if (status_head_.isEmpty()) {
      status_head_ = StatusLine(text_, mailbox_number_, 0);
      status_head_.chop(text_.suffix.size() + 1);
    }
    status_ = status_head_;
    status_ += QString::number(messages_);
    status_ += text_.suffix;
    reporter_.SetStatusText(status_);
  }

  // The current line, which must be whole within kLineProbe bytes, as a
  // copy: the reader's buffer may move before it is written.
  std::string TakeWholeLine() {
    std::string line(reader_.Head(kLineProbe));
    SkipRestOfLine(reader_);
    return line;
  }

  // Writes the current line with its quoting changed as QuotesWritten()
  // says for `direction`.
  void CopyLine(Direction direction) {
    FlushSpan();
    const std::string_view first = reader_.Head(1);
    if (first == ">") {
      const QuoteRun run = TakeQuoteRun(reader_);
      AppendQuotes(QuotesWritten(run, direction),
                   [&](std::string_view q) { writer_.Append(q); });
    } else if ((first == MboxSeparatorStart.substr(0, 1) ||
                first == BoxSeparator.substr(0, 1)) &&
               QuotesWritten(MeasureQuotes(reader_.Head(kSeparatorHeadBytes)),
                             direction) > 0) {
      writer_.Append(">");
    }
    CopyRestOfLine(reader_, writer_);
    writer_.EndLine();
  }

  // The written length of the body of the message whose Content-Length
  // field the reader has just passed: `T` is the converter of this
  // direction, run in counting mode from the next line to the message's
  // end. Counting stops at the first separator, before any report: the
  // scout shares the run's reporter and never calls it.
  template <LineConverter T>
  qint64 CountBody(const T& self) {
    // The field's line is taken whole: the scout starts at a line start.
    Q_ASSERT(reader_.line_end() != LineEnd::kNone || reader_.failed() ||
             reader_.at_eof());
    OffsetInput input(reader_.file(), reader_.offset());
    LineReader reader(input, kLookAheadChunk, reader_.offset(),
                      reader_.cr_rule());
    CountingOutput sink;
    MailboxWriter counter(sink, T::kLineEnd, kLookAheadChunk);
    T scout(reader, counter, reporter_, text_, mailbox_number_, QDateTime());
    scout.StartCounting(self);
    scout.Run();
    if (const auto failed = reader.failure()) reader_.Fail(failed->error);
    return scout.counted_body();
  }

  // The one loop over a mailbox's lines, for the direction `T`. Whole lines
  // in the buffer that no rule changes go the fast way (T::IsPlain,
  // T::WritePlain), empty ones straight to T::EmptyLine; every other line is
  // started and handed to T::ProcessLine, where the rules are. T::TakeRuns
  // first takes, in one pass over the buffer, the lines up to the next one
  // whose first byte could matter, and T::AfterLine learns how each line
  // ended.
  template <LineConverter T>
  void RunLines(T& self) {
    std::string_view line;
    LineEnd end;
    std::size_t end_size;
    while (!writer_.failed() && !reader_.failed() && !stop_) {
      if (self.MayTakeWhole()) {
        self.TakeRuns();
        const bool whole = reader_.PeekWholeLine(&line, &end, &end_size);
        if (whole && line.empty() && self.EmptyMayBeTakenWhole()) {
          FlushSpan();
          reader_.TakePeeked(line, end_size);
          self.AfterLine(end);
          self.EmptyLine();
          continue;
        }
        if (whole && self.IsPlain(line)) {
          reader_.TakePeeked(line, end_size);
          self.AfterLine(end);
          Reckon(static_cast<qint64>(line.size()));
          self.WritePlain(line, end);
          continue;
        }
      }
      FlushSpan();
      if (!reader_.ReadMailboxLine()) break;
      self.ProcessLine();
      self.AfterLine(reader_.line_end());
    }
    FlushSpan();
  }

  // The Content-Length rule, for both directions: the first field of a
  // header block whose value is a number (`head`, the line in view, whole)
  // is written with the length of its message's body as this direction
  // writes it. Returns false, taking nothing, for any other line.
  template <LineConverter T>
  bool RestateContentLength(T& self, std::string_view head) {
    const auto field = ContentLengthToRestate(head);
    if (!field) return false;
    content_length_ = field->value;
    const std::string line = TakeWholeLine();
    Reckon(reader_.line_length());
    const qint64 body = CountBody(self);
    Writer().WriteMailboxLine(WithContentLength(line, *field, body));
    return true;
  }

  // The field that RestateContentLength() would restate, when `head` (the
  // line in view, whole) is one.
  std::optional<ContentLengthField> ContentLengthToRestate(
      std::string_view head) const {
    if (!in_headers_ || content_length_ || head.size() >= kLineProbe) {
      return std::nullopt;
    }
    return ParseContentLengthField(head);
  }

  bool in_headers_ = false;  // in a message's header block
  // The value of the current header block's Content-Length field, once
  // there was one.
  std::optional<qint64> content_length_;

  // Counting mode: stop at the end of the message instead of converting on.
  bool counting_ = false;
  bool stop_ = false;
  qint64 body_start_ = -1;  // writer position after the header block

  qint64 counted_body() const {
    return body_start_ < 0 ? 0 : writer_.position() - body_start_;
  }

  LineReader& reader_;
  MailboxWriter& writer_;
  ConversionReporter& reporter_;
  const ProgressText& text_;
  const qint64 mailbox_number_;

  const char* span_begin_ = nullptr;
  std::size_t span_size_ = 0;

  QString status_head_;
  QString status_;
  qint64 reckoned_ = 0;
  qint64 messages_ = 0;
};

// Converts an open mailbox in one direction; returns the messages found.
qint64 ConvertToBox(LineReader& reader, MailboxWriter& writer,
                    ConversionReporter& reporter, const ProgressText& text,
                    qint64 mailbox_number);
qint64 ConvertToMbox(LineReader& reader, MailboxWriter& writer,
                     ConversionReporter& reporter, const ProgressText& text,
                     qint64 mailbox_number, const QDateTime& fallback_time);

}  // namespace quillet::converter

#endif  // QUILLET_CONVERSION_CONVERTER_BASE_H_
