#include "conversion/mailbox_converter.h"

#include <algorithm>
#include <string>

#include "conversion/mailbox_format.h"
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

// Converts one open mailbox. Reports progress at each source separator and
// counts them; read and write failures are left in `reader` and `writer`.
//
// Most lines are whole in the reader's buffer and go through the fast path
// (TakeWholeLine); lines that reach past the buffer, however long, take the
// piecewise path. Both give the same bytes.
class MailboxConverter {
 public:
  MailboxConverter(LineReader& reader, MailboxWriter& writer,
                   ConversionReporter& reporter, const UiText& text,
                   qint64 mailbox_number, QDateTime fallback_time)
      : reader_(reader),
        writer_(writer),
        reporter_(reporter),
        text_(text),
        mailbox_number_(mailbox_number),
        fallback_time_(std::move(fallback_time)) {}

  qint64 messages() const { return messages_; }

  // mbox to .box: "From " lines become the .box separator, every other line
  // is copied as it stands, and every line ends in CR LF.
  void ToBox() {
    std::string_view line;
    LineEnd end;
    while (!writer_.failed()) {
      // Lines that end in CR LF and are no separator go out as they are,
      // many at a time; each is reckoned at its length plus 2, its size.
      // Looked for only while the source's lines end in CR LF: in an LF
      // source every attempt would stop at once.
      if (crlf_source_) {
        const std::string_view run = reader_.TakePlainCrLfRun('F');
        Keep(run.data(), run.size());
        reckoned_ += static_cast<qint64>(run.size());
      }
      if (reader_.TakeWholeLine(&line, &end)) {
        crlf_source_ = end == LineEnd::kCrLf;
        reckoned_ += static_cast<qint64>(line.size()) + 2;
        if (!line.empty() && line[0] == 'F' && IsSourceSeparator(line, true)) {
          ReportSeparator();
          Writer().WriteMailboxLine(BoxSeparator);
        } else if (end == LineEnd::kCrLf) {
          Keep(line.data(), line.size() + 2);
        } else {
          Writer().WriteMailboxLine(line);
        }
        continue;
      }
      FlushSpan();
      if (!reader_.ReadMailboxLine()) break;
      if (IsSourceSeparator(reader_.Head(MboxSeparatorStart.size()), true)) {
        SkipRestOfLine(reader_);
        reckoned_ += reader_.line_length() + 2;
        ReportSeparator();
        Writer().WriteMailboxLine(BoxSeparator);
      } else {
        CopyRestOfLine(reader_, writer_);
        writer_.EndLine();
        reckoned_ += reader_.line_length() + 2;
      }
    }
    FlushSpan();
  }

  // .box to mbox, written so that common mbox readers find every message:
  // dated "From - " separators, LF line ends, mboxrd quoting of "From "
  // lines, and an empty line closing every message.
  void ToMbox() {
    std::string_view line;
    LineEnd end;
    while (!writer_.failed()) {
      if (reader_.TakeWholeLine(&line, &end)) {
        reckoned_ += static_cast<qint64>(line.size()) + 2;
        if (!line.empty() && line[0] == BoxSeparator[0] &&
            IsSourceSeparator(line, false)) {
          ReportSeparator();
          StartMessage();
          continue;
        }
        if (!line.empty() && (line[0] == '>' || line[0] == 'F') &&
            IsQuotedFromLine(line)) {
          Writer().Append(">");
        }
        if (end == LineEnd::kLf) {
          Keep(line.data(), line.size() + 1);
        } else {
          Writer().WriteMailboxLine(line);
        }
        NoteLineWritten(line.empty());
        continue;
      }
      FlushSpan();
      if (!reader_.ReadMailboxLine()) break;
      if (IsSourceSeparator(reader_.Head(BoxSeparator.size()), false)) {
        SkipRestOfLine(reader_);
        reckoned_ += reader_.line_length() + 2;
        ReportSeparator();
        StartMessage();
        continue;
      }
      CopyQuotedLine();
      reckoned_ += reader_.line_length() + 2;
      NoteLineWritten(reader_.line_length() == 0);
    }
    FlushSpan();
    if (!reader_.failed()) EndMessage();
  }

 private:
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

  void ReportSeparator() {
    reporter_.SetProgressValue(reckoned_);
    ++messages_;
    // The text up to the message number is the same all through a mailbox;
    // only the number and the suffix are added per message.
    if (status_head_.isEmpty()) {
      status_head_ = ProgressStatus(text_, mailbox_number_, 0);
      status_head_.chop(text_.ProgressSuffix.size() + 1);
    }
    status_ = status_head_;
    status_ += QString::number(messages_);
    status_ += text_.ProgressSuffix;
    reporter_.SetStatusText(status_);
    reporter_.Repaint();
  }

  // True for any number of ">" followed by "From ".
  static bool IsQuotedFromLine(std::string_view line) {
    const std::size_t quotes = line.find_first_not_of('>');
    return quotes != std::string_view::npos &&
           line.substr(quotes, MboxSeparatorStart.size()) ==
               MboxSeparatorStart;
  }

  // Writes the line, with one more ">" in front when it is any number of
  // ">" followed by "From ". Counts the ">" run instead of holding it, so a
  // line of any length needs no more memory than a short one.
  void CopyQuotedLine() {
    static constexpr std::string_view kQuotes =
        ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";
    qint64 quotes = 0;
    for (;;) {
      const std::string_view head = reader_.Head(kQuotes.size());
      std::size_t run = 0;
      while (run < head.size() && head[run] == '>') ++run;
      reader_.Skip(run);
      quotes += static_cast<qint64>(run);
      if (run < kQuotes.size()) break;
    }
    if (reader_.Head(MboxSeparatorStart.size()) == MboxSeparatorStart) {
      ++quotes;
    }
    while (quotes > 0) {
      const auto n = std::min<qint64>(quotes, kQuotes.size());
      writer_.Append(kQuotes.substr(0, static_cast<std::size_t>(n)));
      quotes -= n;
    }
    CopyRestOfLine(reader_, writer_);
    writer_.EndLine();
  }

  void NoteLineWritten(bool empty) {
    wrote_any_ = true;
    last_line_empty_ = empty;
    last_line_closed_headers_ = empty && in_header_block_;
    if (empty) in_header_block_ = false;
  }

  // Writes the separator of the message that starts here.
  void StartMessage() {
    EndMessage();
    Writer().WriteMailboxLine(TargetSeparator(false, MessageTime()));
    wrote_any_ = true;
    in_header_block_ = true;
    last_line_empty_ = false;
    last_line_closed_headers_ = false;
  }

  // Closes the message being written with an empty line of its own: mbox
  // readers tell a separator from a body line by the empty line before it,
  // and one that closes a header block does not count as the message's own.
  void EndMessage() {
    if (!wrote_any_) return;
    if (in_header_block_) {
      Writer().WriteMailboxLine({});  // closes the header block
      Writer().WriteMailboxLine({});
    } else if (!last_line_empty_ || last_line_closed_headers_) {
      Writer().WriteMailboxLine({});
    }
    in_header_block_ = false;
    last_line_empty_ = true;
    last_line_closed_headers_ = false;
  }

  // The Date of the message that starts here, or the run's start time.
  QDateTime MessageTime() {
    FlushSpan();  // looking ahead may move the reader's buffer
    // One byte past the reach tells whether the window ends with the file:
    // a last line that ends exactly at the reach is whole.
    std::string_view window = reader_.LookAhead(kDateLookAhead + 1);
    const bool window_ends_file = window.size() <= kDateLookAhead;
    window = window.substr(0, kDateLookAhead);
    // The reader ends a line at a lone CR in every file.
    if (const auto when = MessageDate(window, window_ends_file,
                                      /*cr_ends_lines=*/true)) {
      return *when;
    }
    return fallback_time_;
  }

  LineReader& reader_;
  MailboxWriter& writer_;
  ConversionReporter& reporter_;
  const UiText& text_;
  const qint64 mailbox_number_;
  const QDateTime fallback_time_;

  bool crlf_source_ = true;  // the last whole line ended in CR LF
  const char* span_begin_ = nullptr;
  std::size_t span_size_ = 0;

  QString status_head_;
  QString status_;

  qint64 reckoned_ = 0;
  qint64 messages_ = 0;
  bool wrote_any_ = false;
  bool in_header_block_ = false;
  bool last_line_empty_ = false;
  bool last_line_closed_headers_ = false;
};

}  // namespace

qint64 ConvertMailbox(LineReader& reader, MailboxWriter& writer,
                      ConversionReporter& reporter, const UiText& text,
                      qint64 mailbox_number, const QDateTime& fallback_time,
                      bool mbox_to_box) {
  MailboxConverter converter(reader, writer, reporter, text, mailbox_number,
                             fallback_time);
  if (mbox_to_box) {
    converter.ToBox();
  } else {
    converter.ToMbox();
  }
  return converter.messages();
}

}  // namespace quillet
