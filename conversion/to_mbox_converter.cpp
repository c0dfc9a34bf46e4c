// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

#include "conversion/converter_base.h"
#include "conversion/message_date.h"

namespace quillet::converter {
namespace {

// .box to mbox, written so that common mbox readers find every message:
// dated "From - " separators, LF line ends, mboxrd quoting of "From "
// lines (and one '>' taken from lines quoted before the .box separator's
// bytes), an empty line of its own closing every message and the text
// before the first separator, and Content-Length values that state the
// body as written. A header block that nothing follows is closed by that
// same one empty line: mbox → .box reads it back as the format's.
class ToMboxConverter : public ConverterBase {
 public:
  static constexpr Direction kDirection = Direction::kToMbox;
  static constexpr std::string_view kLineEnd = "\n";
  // Separators, lines that pass for a .box separator or an mbox one
  // (quoted); in a header block, Content-Length fields.
  static constexpr RuleBytes kRuleBytes = [] {
    constexpr char kAlways[] = {BoxSeparator[0], MboxSeparatorStart[0], '\0'};
    return RuleBytes{ByteSet(kAlways),
                     ByteSet(kAlways) | ByteSet(kContentLengthFirst)};
  }();

  ToMboxConverter(LineReader& reader, MailboxWriter& writer,
                  ConversionReporter& reporter, const ProgressText& text,
                  qint64 mailbox_number, const QDateTime& fallback_time)
      : ConverterBase(reader, writer, reporter, text, mailbox_number),
        fallback_time_(UtcTimeOf(fallback_time.toSecsSinceEpoch())) {}

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

  // The hooks of ConverterBase's line loop (see LineConverter).
  bool MayTakeWhole() const { return true; }
  // Whole lines that no rule looks at go out many at a time: besides the
  // rule bytes, a run stops in a header block at an empty line (CR or LF
  // first), which closes it; in a body an empty line is only written.
  void TakeRuns() {
    static constexpr ByteSet kStops[2] = {
        kRuleBytes.always, kRuleBytes.in_headers | ByteSet("\r\n")};
    // .box lines end in CR LF: nearly every line is copied.
    TakePlainLines<kDirection>(kStops[in_headers_ ? 1 : 0], true,
                               [this] { wrote_any_ = true; });
  }
  bool EmptyMayBeTakenWhole() const { return true; }
  void AfterLine(LineEnd) {}

  void WritePlain(std::string_view line, LineEnd end) {
    Q_ASSERT(!IsSourceSeparator(line, kDirection));
    Q_ASSERT(!ContentLengthToRestate(line));
    // A quoted "From " line gets one '>' more; a line quoted before the
    // .box separator's bytes loses one.
    if (line[0] == '>') {
      const QuoteRun run = MeasureQuotes(line);
      if (run.from_follows) Writer().Append(">");
      if (run.box_follows) line.remove_prefix(1);
    }
    if (end == LineEnd::kLf) {
      Keep(line.data(), line.size() + 1);
    } else {
      Writer().WriteMailboxLine(line);
    }
    wrote_any_ = true;
  }

  // Lines the fast path may take: no rule looks at them, or the rules that
  // their first byte calls for, asked in place, leave them as they are (a
  // "From:" field, a Content-Type field).
  bool IsPlain(std::string_view line) const {
    if (line.empty()) return false;
    if (!kRuleBytes.For(in_headers_).contains(line[0])) return true;
    return !IsSourceSeparator(line, kDirection) &&
           !line.starts_with(MboxSeparatorStart) &&
           !ContentLengthToRestate(line);
  }

  void ProcessLine() {
    const std::string_view head = reader_.Head(kLineProbe);
    if (IsSourceSeparator(head, kDirection)) {
      StartMessage();
      return;
    }
    if (head.empty()) {
      SkipRestOfLine(reader_);
      EmptyLine();
      return;
    }
    wrote_any_ = true;
    if (RestateContentLength(*this, head)) return;
    CopyLine(kDirection);
    Reckon(reader_.line_length());
  }

  // An empty line, taken from the reader by either path.
  void EmptyLine() {
    Reckon(0);
    wrote_any_ = true;
    Writer().WriteMailboxLine({});
    if (in_headers_) {
      in_headers_ = false;
      body_start_ = writer_.position();
    }
  }

 private:
  void StartMessage() {
    if (!TakeSeparator()) return;
    if (in_message_) {
      EndMessage();
    } else if (wrote_any_) {
      // Text before the first separator ends, as a message does, with the
      // format's empty line.
      Writer().WriteMailboxLine({});
    }
    Writer().WriteMailboxLine(
        TargetSeparatorLine(kDirection, MessageTime()).view());
    in_message_ = true;
    in_headers_ = true;
    content_length_.reset();
    body_start_ = -1;
  }

  // Closes the message being written with an empty line of its own, which
  // also closes a header block never closed in the source.
  void EndMessage() {
    Writer().WriteMailboxLine({});
    in_headers_ = false;
  }

  // The Date of the message that starts here, or the run's start time.
  UtcTime MessageTime() {
    FlushSpan();  // looking ahead may move the reader's buffer
    const bool cr_ends_lines = reader_.cr_rule() == CrRule::kEndsLine;
    // A header block nearly always lies whole in the bytes already read:
    // looked at there first, it costs no read and no move of the buffer.
    // MessageDate() reads the same date from any window that holds the
    // block, or says that it was cut. More than the reach already read is
    // the window a read would give.
    const std::string_view read = reader_.Buffered();
    const bool short_window = read.size() <= kDateLookAhead;
    bool cut = false;
    std::optional<UtcTime> when =
        MessageDate(read.substr(0, kDateLookAhead),
                    short_window && reader_.at_eof(), cr_ends_lines, &cut);
    if (cut && short_window) {
      // One byte past the reach tells whether the window ends with the
      // file: a last line that ends exactly at the reach is whole.
      std::string_view window = reader_.LookAhead(kDateLookAhead + 1);
      const bool window_ends_file = window.size() <= kDateLookAhead;
      window = window.substr(0, kDateLookAhead);
      when = MessageDate(window, window_ends_file, cr_ends_lines, &cut);
    }
    if (cut) {
      // A header block longer than the window: read it where it stands.
      std::optional<FileError> failure;
      when = MessageDateAt(reader_.file(), reader_.offset(), reader_.cr_rule(),
                           &failure);
      if (failure) reader_.Fail(*failure);
    }
    return when ? *when : fallback_time_;
  }

  const UtcTime fallback_time_;
  bool in_message_ = false;
  bool wrote_any_ = false;
};

static_assert(LineConverter<ToMboxConverter>);

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
