#include <optional>
#include <string>

#include "conversion/converter_base.h"

namespace quillet::converter {
namespace {

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
    RunLines(*this);
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

  // The first line decides the file's kind and is always looked at.
  bool MayTakeWhole() const { return reader_.offset() > 0; }

  // Lines that end in CR LF and need no change go out as they are, many at
  // a time; each is reckoned at its length plus 2, its size. Looked for
  // only while the source's lines end in CR LF: in an LF source every
  // attempt would stop at once.
  void TakeRuns() {
    if (!crlf_source_ || awaiting_envelope_) return;
    const std::string_view run =
        reader_.TakePlainCrLfRun(in_headers_ ? std::string_view("F>\r\x01"
                                                                "Cc")
                                             : std::string_view("F>\r\x01"));
    if (run.empty()) return;
    // The run's first line shows that an empty line held back was the
    // message's own.
    if (pending_empty_) WritePendingEmpty();
    Keep(run.data(), run.size());
    reckoned_ += static_cast<qint64>(run.size());
  }

  bool EmptyMayBeTakenWhole() const { return !awaiting_envelope_; }
  void AfterLine(LineEnd end) { crlf_source_ = end == LineEnd::kCrLf; }

  void WritePlain(std::string_view line, LineEnd end) {
    // No rule looks at this line: no separator, no MMDF delimiter, no
    // Content-Length field.
    Q_ASSERT(line.substr(0, MboxSeparatorStart.size()) != MboxSeparatorStart);
    Q_ASSERT(!(in_headers_ && ParseContentLengthField(line)));
    if (pending_empty_) WritePendingEmpty();
    // A quoted "From " line loses its first '>'.
    const std::size_t skip = line[0] == '>' && MeasureQuotes(line).from_follows;
    if (end == LineEnd::kCrLf) {
      FlushSpan();
      Keep(line.data() + skip, line.size() - skip + 2);
    } else {
      Writer().WriteMailboxLine(line.substr(skip));
    }
  }

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
    const bool from =
        head.substr(0, MboxSeparatorStart.size()) == MboxSeparatorStart;
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
    if (RestateContentLength(*this, head)) return;
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
    const bool starts = FromLineStartsMessageAt(reader_.file(), line_start,
                                                reader_.cr_rule(), &error);
    if (!error.isEmpty()) reader_.Fail(FileError::System(error));
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
    const auto body =
        CheckContentLengthBody(reader_.file(), reader_.offset(),
                               *content_length_, reader_.cr_rule(), &error);
    if (!error.isEmpty()) reader_.Fail(FileError::System(error));
    if (body) trusted_ = *body;
  }

  void StartMessage() {
    pending_empty_ = false;  // the mbox format's, not the message's
    if (!TakeSeparator()) return;
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
  bool awaiting_envelope_ = false;
  bool pending_empty_ = false;
  TrustedBody trusted_{-1, -1};  // the current trusted body, if any
};

}  // namespace

qint64 ConvertToBox(LineReader& reader, MailboxWriter& writer,
                    ConversionReporter& reporter, const ProgressText& text,
                    qint64 mailbox_number) {
  ToBoxConverter converter(reader, writer, reporter, text, mailbox_number,
                           QDateTime());
  converter.Run();
  return converter.messages();
}

}  // namespace quillet::converter
