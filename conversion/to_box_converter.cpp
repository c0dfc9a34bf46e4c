// SPDX-License-Identifier: GPL-3.0-or-later
#include <optional>
#include <string>

#include "conversion/converter_base.h"

namespace quillet::converter {
namespace {

// mbox (or MMDF) to .box: separators become the .box separator, one '>' of
// quoted "From " lines is undone and lines that could pass for a .box
// separator get one, the empty line that the mbox format puts before a
// separator is dropped, Content-Length values state the body as written,
// and every line ends in CR LF.
//
// The format's empty line: one empty line before a separator, an MMDF
// closing line or the end of the file is the format's, not the message's,
// and goes, unless the message's valid Content-Length counts it. The line
// that closes a header block is no exception: a message with nothing after
// its header block has no empty line of its own (in the .box it ends with
// its last header line), as .box → mbox writes it. Text before the first
// separator ends the same way: the one empty line between it and the first
// message is the format's.
class ToBoxConverter : public ConverterBase {
 public:
  static constexpr Direction kDirection = Direction::kToBox;
  static constexpr std::string_view kLineEnd = "\r\n";
  // Separators and quoted "From " lines, MMDF delimiters, lines that could
  // pass for a .box separator; in a header block, Content-Length fields.
  static constexpr RuleBytes kRuleBytes = [] {
    constexpr char kAlways[] = {MboxSeparatorStart[0], kMmdfDelimiter[0],
                                BoxSeparator[0], '\0'};
    return RuleBytes{ByteSet(kAlways),
                     ByteSet(kAlways) | ByteSet(kContentLengthFirst)};
  }();

  ToBoxConverter(LineReader& reader, MailboxWriter& writer,
                 ConversionReporter& reporter, const ProgressText& text,
                 qint64 mailbox_number, const QDateTime&)
      : ConverterBase(reader, writer, reporter, text, mailbox_number) {}

  void Run() {
    RunLines(*this);
    // An empty line still held back at the end of the file is the mbox
    // format's, not the message's; MMDF messages end only at their closing
    // line, and a file without a separator is all text.
    if (pending_empty_ && (mmdf_ || !in_message_) && !reader_.failed()) {
      WritePendingEmpty();
    }
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

  // The hooks of ConverterBase's line loop (see LineConverter).

  // The first line decides the file's kind and is always looked at.
  bool MayTakeWhole() const { return reader_.offset() > 0; }

  // Whole lines that no rule looks at go out many at a time: besides the
  // rule bytes, a run stops at an empty line (CR or LF first), which may
  // be the format's. The first of them shows that an empty
  // line held back was the message's own. While the source's lines end in
  // CR LF they need no change at all: PlainCrLfRun() first takes them in
  // one span, each reckoned at its length plus 2, its size.
  void TakeRuns() {
    static constexpr ByteSet kStops[2] = {
        kRuleBytes.always | ByteSet("\r\n"),
        kRuleBytes.in_headers | ByteSet("\r\n")};
    // PlainCrLfRun() judges no quoted line: it stops there.
    static constexpr ByteSet kCrLfRunStops[2] = {kStops[0] | ByteSet(">"),
                                                 kStops[1] | ByteSet(">")};
    if (awaiting_envelope_) return;
    const int part = in_headers_ ? 1 : 0;
    const ByteSet& stops = kStops[part];
    const auto write_pending = [this] {
      if (pending_empty_) WritePendingEmpty();
    };
    if (crlf_source_) {
      const std::string_view run =
          reader_.TakePlainCrLfRun(kCrLfRunStops[part]);
      if (!run.empty()) {
        write_pending();
        Keep(run.data(), run.size());
        reckoned_ += static_cast<qint64>(run.size());
      }
    }
    // A source whose lines end in lone LF has nearly every line copied.
    const LineEnd last =
        TakePlainLines<kDirection>(stops, !crlf_source_, write_pending);
    if (last != LineEnd::kNone) crlf_source_ = last == LineEnd::kCrLf;
  }

  bool EmptyMayBeTakenWhole() const { return !awaiting_envelope_; }

  void WritePlain(std::string_view line, LineEnd end) {
    // No rule looks at this line: no separator, no MMDF delimiter, no
    // Content-Length field.
    Q_ASSERT(!IsSourceSeparator(line, kDirection));
    Q_ASSERT(!(mmdf_ && line == kMmdfDelimiter));
    Q_ASSERT(!ContentLengthToRestate(line));
    if (pending_empty_) WritePendingEmpty();
    // A quoted "From " line loses its first '>'; a line quoted before the
    // .box separator's bytes gains one.
    std::size_t skip = 0;
    if (line[0] == '>') {
      const QuoteRun run = MeasureQuotes(line);
      skip = run.from_follows;
      if (run.box_follows) Writer().Append(">");
    }
    if (end == LineEnd::kCrLf) {
      FlushSpan();
      Keep(line.data() + skip, line.size() - skip + 2);
    } else {
      Writer().WriteMailboxLine(line.substr(skip));
    }
  }

  // Lines the fast path may take: no rule looks at them, or the rules that
  // their first byte calls for, asked in place, leave them as they are (a
  // "From:" field, a Content-Type field, a line of 0x10 bytes other than a
  // separator's).
  bool IsPlain(std::string_view line) const {
    if (line.empty() || awaiting_envelope_) return false;
    if (!kRuleBytes.For(in_headers_).contains(line[0])) return true;
    return !IsSourceSeparator(line, kDirection) &&
           !line.starts_with(BoxSeparator) &&
           !(mmdf_ && line == kMmdfDelimiter) && !ContentLengthToRestate(line);
  }

  void AfterLine(LineEnd end) { crlf_source_ = end == LineEnd::kCrLf; }

  void ProcessLine() {
    const qint64 line_start = reader_.offset();
    std::string_view head = reader_.Head(kLineProbe);
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
    if (from && !mmdf_) {
      if (IsSeparator(line_start)) {
        StartMessage();
        return;
      }
      // Judging it may have read ahead and moved the buffer under `head`.
      head = reader_.Head(kLineProbe);
    }
    if (head.empty()) {
      SkipRestOfLine(reader_);
      EmptyLine();
      return;
    }
    if (pending_empty_) WritePendingEmpty();
    if (RestateContentLength(*this, head)) return;
    CopyLine(kDirection);
    Reckon(reader_.line_length());
  }

  // An empty line, taken from the reader by either path.
  void EmptyLine() {
    Reckon(0);
    if (pending_empty_) WritePendingEmpty();
    if (in_headers_) {
      // Closes the header block; held back all the same, for a message
      // whose header block nothing follows.
      in_headers_ = false;
      if (content_length_) TrustContentLength();
      pending_empty_ = true;
      pending_closes_headers_ = true;
      return;
    }
    if (!in_message_ && mmdf_) {  // text between MMDF messages
      Writer().WriteMailboxLine({});
      return;
    }
    // A line that a valid Content-Length counts (it ends within the body)
    // is the message's wherever it stands.
    if (reader_.offset() <= trusted_.end) {
      Writer().WriteMailboxLine({});
      return;
    }
    // Held back until the next line shows whether it is the empty line
    // that the format puts before a separator.
    pending_empty_ = true;
  }

 private:
  void WritePendingEmpty() {
    Writer().WriteMailboxLine({});
    pending_empty_ = false;
    if (pending_closes_headers_) {
      pending_closes_headers_ = false;
      body_start_ = writer_.position();
    }
  }

  // The empty line held back was the format's.
  void DropPendingEmpty() {
    pending_empty_ = false;
    pending_closes_headers_ = false;
  }

  // Whether the "From " line at `line_start` starts a message.
  bool IsSeparator(qint64 line_start) {
    if (line_start == 0 || line_start == trusted_.separator) return true;
    if (line_start < trusted_.end) return false;  // inside a trusted body
    // The bytes already read nearly always settle it: then it costs no
    // read and no move of the buffer. FromLineStartsMessage() judges the
    // same from any window that holds enough, and says when one does not;
    // short of the file's end, no window up to the longest field name
    // after the line does (a small mailbox's first read, all of it).
    const std::string_view read = reader_.Buffered();
    if (read.size() < kFromLineLookAhead &&
        (reader_.at_eof() || read.size() > kFieldNameMax + 1)) {
      if (const auto starts = FromLineStartsMessage(read, reader_.at_eof(),
                                                    reader_.cr_rule())) {
        return *starts;
      }
    }
    const std::string_view raw = reader_.LookAhead(kFromLineLookAhead);
    if (const auto starts = FromLineStartsMessage(
            raw, raw.size() < kFromLineLookAhead && reader_.at_eof(),
            reader_.cr_rule())) {
      return *starts;
    }
    // A line too long to judge in the buffer: read it a second time.
    std::optional<FileError> failure;
    const bool starts = FromLineStartsMessageAt(reader_.file(), line_start,
                                                reader_.cr_rule(), &failure);
    if (failure) reader_.Fail(*failure);
    return starts;
  }

  void TrustContentLength() {
    std::optional<FileError> failure;
    const auto body = CheckContentLengthBody(
        reader_.file(), reader_.offset(), *content_length_, reader_.cr_rule(),
        mmdf_, &failure);
    if (failure) reader_.Fail(*failure);
    if (body) trusted_ = *body;
  }

  void StartMessage() {
    DropPendingEmpty();  // the format's, not the message's
    if (!TakeSeparator()) return;
    Writer().WriteMailboxLine(BoxSeparator);
    in_message_ = true;
    in_headers_ = true;
    content_length_.reset();
    trusted_ = {-1, -1};
  }

  // An MMDF closing delimiter goes, with the format's empty line before it.
  void CloseMmdfMessage() {
    DropPendingEmpty();
    if (counting_) {  // the body ends here; text between messages is none
      stop_ = true;
      return;
    }
    awaiting_envelope_ = false;
    SkipRestOfLine(reader_);
    Reckon(reader_.line_length());
    in_message_ = false;
    in_headers_ = false;
  }

  bool crlf_source_ = true;  // the last line ended in CR LF
  bool mmdf_ = false;
  bool in_message_ = false;  // after a separator (MMDF: before its close)
  bool awaiting_envelope_ = false;
  bool pending_empty_ = false;
  // The empty line held back is the one that closed the header block.
  bool pending_closes_headers_ = false;
  TrustedBody trusted_{-1, -1};  // the current trusted body, if any
};

static_assert(LineConverter<ToBoxConverter>);

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
