#include <string>

#include "conversion/converter_base.h"
#include "conversion/message_date.h"

namespace quillet::converter {
namespace {

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
    RunLines(*this);
    if (!reader_.failed() && !counting_ && in_message_) EndMessage();
  }

  void StartCounting(const ToMboxConverter&) {
    counting_ = true;
    in_message_ = true;
    in_headers_ = true;
    content_length_ = 0;  // the field counted for is behind
  }

 private:
  friend class ConverterBase;

  bool MayTakeWhole() const { return true; }
  void TakeRuns() {}
  bool EmptyMayBeTakenWhole() const { return true; }
  void AfterLine(LineEnd) {}

  void WritePlain(std::string_view line, LineEnd end) {
    Q_ASSERT(!IsSourceSeparator(line, false));
    Q_ASSERT(!(in_headers_ && ParseContentLengthField(line)));
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
  }

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
    if (RestateContentLength(*this, head)) return;
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
    if (!TakeSeparator()) return;
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
    content_length_.reset();
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
    if (const auto when = MessageDate(window, window_ends_file,
                                      reader_.cr_rule() == CrRule::kEndsLine)) {
      return *when;
    }
    return fallback_time_;
  }

  const QDateTime fallback_time_;
  bool in_message_ = false;
  bool wrote_any_ = false;
  bool last_line_empty_ = false;
};

}  // namespace

qint64 ConvertToMbox(LineReader& reader, MailboxWriter& writer,
                     ConversionReporter& reporter, const ProgressText& text,
                     qint64 mailbox_number, const QDateTime& fallback_time) {
  ToMboxConverter converter(reader, writer, reporter, text, mailbox_number,
                            fallback_time);
  converter.Run();
  return converter.messages();
}

}  // namespace quillet::converter
