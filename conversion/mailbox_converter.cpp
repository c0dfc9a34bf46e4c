#include "conversion/mailbox_converter.h"

#include <algorithm>
#include <string>

#include "conversion/mailbox_format.h"
#include "conversion/mbox_rules.h"
#include "conversion/message_date.h"

namespace quillet {
namespace {

// Takes the rest of the current line unseen.
void SkipRestOfLine(LineReader& reader) {
  std::string_view piece;
  while (reader.NextPiece(&piece)) {
  }
}

// Copies the rest of the current line to `writer`, without its line end.
void CopyRestOfLine(LineReader& reader, MailboxWriter& writer) {
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
  QString ErrorString() const override { return {}; }
};

class SilentReporter final : public ConversionReporter {
 public:
  void SetProgressMax(qint64) override {}
  void SetProgressValue(qint64) override {}
  void SetStatusText(const QString&) override {}
  void Repaint() override {}
};

// The size of the reads of a look ahead through a message's body.
constexpr std::size_t kLookAheadChunk = 64 * 1024;

// What the two directions share: the bytes kept back to be written in one
// piece, progress and message counting, and the counting of a body's
// written length for its Content-Length field.
//
// Every line goes through one of two paths. The fast path (whole plain
// lines in the reader's buffer, and runs of CR LF lines) takes only lines
// that no rule changes and that change no state: no separator candidate,
// no quoted line, no empty line, no Content-Length candidate. Every other
// line takes ProcessLine(), where all the rules are; so the fast path only
// decides where the bytes come from.
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

  void ReportSeparator() {
    reporter_.SetProgressValue(reckoned_);
    ++messages_;
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
    reporter_.Repaint();
  }

  // The current line, which must be whole within kLineProbe bytes, as a
  // copy: the reader's buffer may move before it is written.
  std::string TakeWholeLine() {
    std::string line(reader_.Head(kLineProbe));
    SkipRestOfLine(reader_);
    return line;
  }

  // Writes the current line, one '>' more or less when it is a quoted
  // "From " line (`quote_change` +1 or -1; 0 copies it as it stands).
  void CopyLine(int quote_change) {
    FlushSpan();
    if (quote_change != 0 && reader_.Head(1) == ">") {
      const QuoteRun run = TakeQuoteRun(reader_);
      AppendQuotes(run.from_follows ? run.quotes + quote_change : run.quotes,
                   [&](std::string_view q) { writer_.Append(q); });
    } else if (quote_change > 0 &&
               reader_.Head(MboxSeparatorStart.size()) == MboxSeparatorStart) {
      writer_.Append(">");
    }
    CopyRestOfLine(reader_, writer_);
    writer_.EndLine();
  }

  // The written length of the body of the message whose Content-Length
  // field the reader has just passed: `T` is the converter of this
  // direction, run in counting mode from the next line to the message's
  // end.
  template <class T>
  qint64 CountBody(const T& self) {
    OffsetInput input(reader_.file(), reader_.offset());
    LineReader reader(input, kLookAheadChunk, reader_.offset(),
                      reader_.cr_rule());
    CountingOutput sink;
    MailboxWriter counter(sink, T::kLineEnd, kLookAheadChunk);
    SilentReporter silent;
    T scout(reader, counter, silent, text_, mailbox_number_, QDateTime());
    scout.StartCounting(self);
    scout.Run();
    if (reader.failed()) reader_.Fail(reader.error());
    return scout.counted_body();
  }

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

  bool crlf_source_ = true;  // the last line ended in CR LF
  const char* span_begin_ = nullptr;
  std::size_t span_size_ = 0;

  QString status_head_;
  QString status_;
  qint64 reckoned_ = 0;
  qint64 messages_ = 0;
};

// mbox (or MMDF) to .box: separators become the .box separator, one '>' of
// quoted "From " lines is undone, the empty line that the mbox format puts
// before a separator is dropped, Content-Length values state the body as
// written, and every line ends in CR LF.
class ToBoxConverter : public ConverterBase {
 public:
  static constexpr std::string_view kLineEnd = "\r\n";

  ToBoxConverter(LineReader& reader, MailboxWriter& writer,
                 ConversionReporter& reporter, const ProgressText& text,
                 qint64 mailbox_number, const QDateTime&)
      : ConverterBase(reader, writer, reporter, text, mailbox_number) {}

  void Run() {
    std::string_view line;
    LineEnd end;
    std::size_t end_size;
    while (!writer_.failed() && !reader_.failed() && !stop_) {
      // The first line decides the file's kind and is always looked at.
      if (reader_.offset() > 0) {
        if (crlf_source_ && !pending_empty_ && !awaiting_envelope_) {
          const std::string_view run = reader_.TakePlainCrLfRun(
              in_headers_ ? std::string_view("F>\r\x01" "Cc")
                          : std::string_view("F>\r\x01"));
          Keep(run.data(), run.size());
          reckoned_ += static_cast<qint64>(run.size());
        }
        const bool whole = reader_.PeekWholeLine(&line, &end, &end_size);
        if (whole && line.empty() && !awaiting_envelope_) {
          FlushSpan();
          reader_.TakePeeked(line, end_size);
          crlf_source_ = end == LineEnd::kCrLf;
          EmptyLine();
          continue;
        }
        if (whole && IsPlain(line)) {
          if (pending_empty_) WritePendingEmpty();
          reader_.TakePeeked(line, end_size);
          crlf_source_ = end == LineEnd::kCrLf;
          Reckon(static_cast<qint64>(line.size()));
          // A quoted "From " line loses its first '>'.
          const std::size_t skip = line[0] == '>' && MeasureQuotes(line).from_follows;
          if (end == LineEnd::kCrLf) {
            FlushSpan();
            Keep(line.data() + skip, line.size() - skip + 2);
          } else {
            Writer().WriteMailboxLine(line.substr(skip));
          }
          continue;
        }
      }
      FlushSpan();
      if (!reader_.ReadMailboxLine()) break;
      ProcessLine();
      crlf_source_ = reader_.line_end() == LineEnd::kCrLf;
    }
    // An empty line still held back at the end of the file is the mbox
    // format's, not the message's; MMDF messages end only at their closing
    // line.
    if (pending_empty_ && mmdf_ && !reader_.failed()) WritePendingEmpty();
    FlushSpan();
  }

  // Counting mode, from the line after `from`'s Content-Length field.
  void StartCounting(const ToBoxConverter& from) {
    counting_ = true;
    mmdf_ = from.mmdf_;
    in_message_ = true;
    in_headers_ = true;
    content_length_ = from.content_length_;
  }

 private:
  friend class ConverterBase;

  // Lines the fast path may take: no rule looks at them.
  bool IsPlain(std::string_view line) const {
    if (line.empty() || awaiting_envelope_) return false;
    const char c = line[0];
    return c != 'F' && c != kMmdfDelimiter[0] &&
           !(in_headers_ && (c == 'C' || c == 'c'));
  }

  void WritePendingEmpty() {
    Writer().WriteMailboxLine({});
    pending_empty_ = false;
  }

  void ProcessLine() {
    const qint64 line_start = reader_.offset();
    const std::string_view head = reader_.Head(kLineProbe);
    const bool whole = head.size() < kLineProbe;
    if (line_start == 0) {
      mmdf_ = whole && head == kMmdfDelimiter;
    }
    if (mmdf_ && whole && head == kMmdfDelimiter) {
      if (in_message_) {
        CloseMmdfMessage();
      } else {
        StartMessage();
        awaiting_envelope_ = true;
      }
      return;
    }
    const bool envelope_may_follow = awaiting_envelope_;
    awaiting_envelope_ = false;
    const bool from = head.substr(0, MboxSeparatorStart.size()) == MboxSeparatorStart;
    if (from && envelope_may_follow) {  // MMDF's "From " envelope line
      SkipRestOfLine(reader_);
      Reckon(reader_.line_length());
      return;
    }
    if (from && !mmdf_ && IsSeparator(line_start)) {
      StartMessage();
      return;
    }
    if (head.empty()) {
      SkipRestOfLine(reader_);
      EmptyLine();
      return;
    }
    if (pending_empty_) WritePendingEmpty();
    if (in_headers_ && !content_length_ && whole) {
      if (const auto field = ParseContentLengthField(head)) {
        content_length_ = field->value;
        const std::string line = TakeWholeLine();
        Reckon(reader_.line_length());
        const qint64 body = CountBody(*this);
        Writer().WriteMailboxLine(WithContentLength(line, *field, body));
        return;
      }
    }
    CopyLine(-1);
    Reckon(reader_.line_length());
  }

  // Whether the "From " line at `line_start` starts a message.
  bool IsSeparator(qint64 line_start) {
    if (line_start == 0 || line_start == trusted_.separator) return true;
    if (line_start < trusted_.end) return false;  // inside a trusted body
    const std::string_view raw = reader_.LookAhead(kFromLineLookAhead);
    if (const auto starts = FromLineStartsMessage(
            raw, raw.size() < kFromLineLookAhead && reader_.at_eof(),
            reader_.cr_rule())) {
      return *starts;
    }
    // A line too long to judge in the buffer: read it a second time.
    QString error;
    const bool starts = FromLineStartsMessageAt(
        reader_.file(), line_start, reader_.cr_rule(), &error);
    if (!error.isEmpty()) reader_.Fail(error);
    return starts;
  }

  // An empty line, taken from the reader by either path.
  void EmptyLine() {
    Reckon(0);
    if (in_headers_) {
      // Closes the header block: always written, never the format's own.
      in_headers_ = false;
      Writer().WriteMailboxLine({});
      body_start_ = writer_.position();
      if (content_length_ && !mmdf_) TrustContentLength();
      return;
    }
    if (!in_message_) {  // text before the first message, or between MMDF ones
      Writer().WriteMailboxLine({});
      return;
    }
    // Held back until the next line shows whether it is the empty line
    // that the mbox format puts before a separator.
    if (pending_empty_) WritePendingEmpty();
    pending_empty_ = true;
  }

  void TrustContentLength() {
    QString error;
    const auto body = CheckContentLengthBody(
        reader_.file(), reader_.offset(), *content_length_, reader_.cr_rule(),
        &error);
    if (!error.isEmpty()) reader_.Fail(error);
    if (body) trusted_ = *body;
  }

  void StartMessage() {
    pending_empty_ = false;  // the mbox format's, not the message's
    if (counting_) {
      stop_ = true;
      return;
    }
    SkipRestOfLine(reader_);
    Reckon(reader_.line_length());
    ReportSeparator();
    Writer().WriteMailboxLine(BoxSeparator);
    in_message_ = true;
    in_headers_ = true;
    content_length_.reset();
    trusted_ = {-1, -1};
  }

  // An MMDF closing delimiter goes, with one empty line before it.
  void CloseMmdfMessage() {
    pending_empty_ = false;
    awaiting_envelope_ = false;
    SkipRestOfLine(reader_);
    Reckon(reader_.line_length());
    in_message_ = false;
    in_headers_ = false;
  }

  bool mmdf_ = false;
  bool in_message_ = false;  // after a separator (MMDF: before its close)
  bool in_headers_ = false;
  bool awaiting_envelope_ = false;
  bool pending_empty_ = false;
  std::optional<qint64> content_length_;  // of the current header block
  TrustedBody trusted_{-1, -1};           // the current trusted body, if any
};

// .box to mbox, written so that common mbox readers find every message:
// dated "From - " separators, LF line ends, mboxrd quoting of "From "
// lines, an empty line of its own closing every message, and
// Content-Length values that state the body as written.
class ToMboxConverter : public ConverterBase {
 public:
  static constexpr std::string_view kLineEnd = "\n";

  ToMboxConverter(LineReader& reader, MailboxWriter& writer,
                  ConversionReporter& reporter, const ProgressText& text,
                  qint64 mailbox_number, const QDateTime& fallback_time)
      : ConverterBase(reader, writer, reporter, text, mailbox_number),
        fallback_time_(fallback_time) {}

  void Run() {
    std::string_view line;
    LineEnd end;
    std::size_t end_size;
    while (!writer_.failed() && !reader_.failed() && !stop_) {
      const bool whole = reader_.PeekWholeLine(&line, &end, &end_size);
      if (whole && line.empty()) {
        FlushSpan();
        reader_.TakePeeked(line, end_size);
        EmptyLine();
        continue;
      }
      if (whole && IsPlain(line)) {
        reader_.TakePeeked(line, end_size);
        Reckon(static_cast<qint64>(line.size()));
        // A quoted "From " line gets one '>' more.
        if (line[0] == '>' && MeasureQuotes(line).from_follows) {
          Writer().Append(">");
        }
        if (end == LineEnd::kLf) {
          Keep(line.data(), line.size() + 1);
        } else {
          Writer().WriteMailboxLine(line);
        }
        wrote_any_ = true;
        last_line_empty_ = false;
        continue;
      }
      FlushSpan();
      if (!reader_.ReadMailboxLine()) break;
      ProcessLine();
    }
    FlushSpan();
    if (!reader_.failed() && !counting_ && in_message_) EndMessage();
  }

  void StartCounting(const ToMboxConverter&) {
    counting_ = true;
    in_message_ = true;
    in_headers_ = true;
    content_length_seen_ = true;
  }

 private:
  friend class ConverterBase;

  bool IsPlain(std::string_view line) const {
    if (line.empty()) return false;
    const char c = line[0];
    return c != BoxSeparator[0] && c != 'F' &&
           !(in_headers_ && (c == 'C' || c == 'c'));
  }

  void ProcessLine() {
    const std::string_view head = reader_.Head(kLineProbe);
    if (IsSourceSeparator(head, false)) {
      StartMessage();
      return;
    }
    if (head.empty()) {
      SkipRestOfLine(reader_);
      EmptyLine();
      return;
    }
    wrote_any_ = true;
    last_line_empty_ = false;
    if (in_headers_ && !content_length_seen_ && head.size() < kLineProbe) {
      if (const auto field = ParseContentLengthField(head)) {
        content_length_seen_ = true;
        const std::string line = TakeWholeLine();
        Reckon(reader_.line_length());
        const qint64 body = CountBody(*this);
        Writer().WriteMailboxLine(WithContentLength(line, *field, body));
        return;
      }
    }
    CopyLine(+1);
    Reckon(reader_.line_length());
  }

  // An empty line, taken from the reader by either path.
  void EmptyLine() {
    Reckon(0);
    wrote_any_ = true;
    last_line_empty_ = true;
    Writer().WriteMailboxLine({});
    if (in_headers_) {
      in_headers_ = false;
      body_start_ = writer_.position();
    }
  }

  void StartMessage() {
    if (counting_) {
      stop_ = true;
      return;
    }
    SkipRestOfLine(reader_);
    Reckon(reader_.line_length());
    ReportSeparator();
    if (in_message_) {
      EndMessage();
    } else if (wrote_any_ && !last_line_empty_) {
      // Text before the first separator: mbox readers need an empty line
      // before a separator.
      Writer().WriteMailboxLine({});
    }
    Writer().WriteMailboxLine(TargetSeparator(false, MessageTime()));
    in_message_ = true;
    in_headers_ = true;
    content_length_seen_ = false;
    body_start_ = -1;
  }

  // Closes the message being written with an empty line of its own, after
  // the empty line that closes a header block never closed in the source.
  void EndMessage() {
    if (in_headers_) Writer().WriteMailboxLine({});
    Writer().WriteMailboxLine({});
    in_headers_ = false;
  }

  // The Date of the message that starts here, or the run's start time.
  QDateTime MessageTime() {
    FlushSpan();  // looking ahead may move the reader's buffer
    // One byte past the reach tells whether the window ends with the file:
    // a last line that ends exactly at the reach is whole.
    std::string_view window = reader_.LookAhead(kDateLookAhead + 1);
    const bool window_ends_file = window.size() <= kDateLookAhead;
    window = window.substr(0, kDateLookAhead);
    if (const auto when =
            MessageDate(window, window_ends_file,
                        reader_.cr_rule() == CrRule::kEndsLine)) {
      return *when;
    }
    return fallback_time_;
  }

  const QDateTime fallback_time_;
  bool in_message_ = false;
  bool in_headers_ = false;
  bool content_length_seen_ = false;
  bool wrote_any_ = false;
  bool last_line_empty_ = false;
};

}  // namespace

qint64 ConvertMailbox(LineReader& reader, MailboxWriter& writer,
                      ConversionReporter& reporter, const ProgressText& text,
                      qint64 mailbox_number, const QDateTime& fallback_time,
                      bool mbox_to_box) {
  if (mbox_to_box) {
    ToBoxConverter converter(reader, writer, reporter, text, mailbox_number,
                             fallback_time);
    converter.Run();
    return converter.messages();
  }
  ToMboxConverter converter(reader, writer, reporter, text, mailbox_number,
                            fallback_time);
  converter.Run();
  return converter.messages();
}

}  // namespace quillet
