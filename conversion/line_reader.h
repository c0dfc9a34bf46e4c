#ifndef QUILLET_CONVERSION_LINE_READER_H_
#define QUILLET_CONVERSION_LINE_READER_H_

#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <string_view>
#include <vector>

#include "conversion/file_layer.h"

namespace quillet {

// How a line ended in the source.
enum class LineEnd { kCrLf, kCr, kLf, kNone };

// Returns the first CR or LF in [begin, end), or end if there is none.
const char* FindLineBreak(const char* begin, const char* end);

// The length of the longest run at the start of [begin, end), which must be
// the start of a line, made of whole lines that each end in CR LF, hold no
// other CR or LF, and do not begin with the byte `first`. Such lines need no
// change on their way into a .box file.
std::size_t PlainCrLfRun(const char* begin, const char* end, char first);

// Reads a mailbox line by line without ever holding a whole line: a line
// may be longer than memory. A CR LF pair, a lone CR and a lone LF each end
// a line; the last line may end with the file instead. Bytes pass through
// untouched.
//
// Use: ReadMailboxLine() starts each line; Head() looks at the line's next
// bytes without taking them; Skip() and NextPiece() take them. Views
// returned stay valid only until the next call on the reader.
class LineReader {
 public:
  // `file` must outlive the reader. `read_chunk` is the number of bytes
  // asked of the file per read (at least 1).
  LineReader(InputFile& file, std::size_t read_chunk);

  // Starts the next line, skipping whatever the caller left of the current
  // one. Returns false at the end of the file or when a read failed.
  bool ReadMailboxLine();

  // Up to `n` of the current line's unread bytes: fewer only when the line
  // ends first. Never includes the line end.
  std::string_view Head(std::size_t n);
  // Takes `n` bytes of the line; `n` must not exceed Head(n).size().
  void Skip(std::size_t n);
  // Takes the line's next unread bytes. Returns false, with `piece` left
  // alone, once the line and its line end have been taken.
  bool NextPiece(std::string_view* piece);

  // The fast way through a buffer full of lines: when the unread bytes hold
  // a whole line and its line end, takes both and returns true. Otherwise
  // takes nothing, reads nothing and returns false, and ReadMailboxLine()
  // carries on. Only between lines. `line` stays valid until the next call
  // that is not TakeWholeLine(); the line end's bytes follow it in memory.
  bool TakeWholeLine(std::string_view* line, LineEnd* end) {
    if (in_line_) return false;
    const char* begin = data();
    const char* stop = begin + available();
    const char* brk = FindLineBreak(begin, stop);
    if (brk == stop) return false;
    if (*brk == '\n') {
      *end = LineEnd::kLf;
    } else if (brk + 1 < stop) {
      *end = brk[1] == '\n' ? LineEnd::kCrLf : LineEnd::kCr;
    } else {
      return false;  // the byte after the CR is not read yet
    }
    *line = {begin, static_cast<std::size_t>(brk - begin)};
    pos_ += line->size() + (*end == LineEnd::kCrLf ? 2 : 1);
    return true;
  }

  // Between lines: takes the PlainCrLfRun() at the reading position and
  // returns it (it may be empty). Reads nothing; the view stays valid as
  // long as TakeWholeLine()'s does.
  std::string_view TakePlainCrLfRun(char first) {
    if (in_line_) return {};
    const char* begin = data();
    const std::size_t size = PlainCrLfRun(begin, begin + available(), first);
    pos_ += size;
    return {begin, size};
  }

  // Bytes of the current line taken so far (all of it once NextPiece has
  // returned false).
  qint64 line_length() const { return line_length_; }
  // How the current line ended; valid once NextPiece has returned false.
  LineEnd line_end() const { return line_end_; }

  // Up to `n` bytes that follow everything taken so far, as they stand in
  // the file (line ends included): fewer only at the end of the file.
  std::string_view LookAhead(std::size_t n);

  bool failed() const { return failed_; }
  QString error() const { return error_; }

 private:
  // Makes at least `n` unread bytes available unless the file ends first.
  // May move the buffer's contents.
  std::size_t Ensure(std::size_t n);
  std::size_t available() const { return end_ - pos_; }
  const char* data() const { return buffer_.data() + pos_; }

  InputFile& file_;
  std::size_t read_chunk_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;  // first unread byte
  std::size_t end_ = 0;  // one past the last byte read
  bool eof_ = false;     // the file has said it has no more bytes
  bool failed_ = false;
  QString error_;

  bool in_line_ = false;  // a line has been started and not finished
  qint64 line_length_ = 0;
  LineEnd line_end_ = LineEnd::kNone;
};

}  // namespace quillet

#endif  // QUILLET_CONVERSION_LINE_READER_H_
