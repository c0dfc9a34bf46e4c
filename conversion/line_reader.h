// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_LINE_READER_H_
#define QUILLET_CONVERSION_LINE_READER_H_

#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "conversion/file_layer.h"
#include "conversion/raw_buffer.h"
#include "conversion/run_failure.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillet {

// How a line ended in the source.
enum class LineEnd { kCrLf, kCr, kLf, kNone };

// Whether a lone CR ends a line. CR LF and a lone LF always do. A lone CR
// does only in a file whose first CR or LF byte is a CR not followed by LF
// (old Mac mailboxes); in every other file it is an ordinary byte.
enum class CrRule { kUndecided, kEndsLine, kOrdinary };

// Returns the first CR or LF in [begin, end), or end if there is none.
const char* FindLineBreak(const char* begin, const char* end);

// Returns the first LF in [begin, end), or end if there is none. Inline:
// it is the inner loop of every file whose lone CRs are ordinary bytes.
// The C library's memchr is chosen at start-up for the processor (32 or 64
// bytes at a time where it can): about 7 % fewer instructions per byte
// than a sixteen-byte loop of our own, on lines of mail's usual lengths.
inline const char* FindLf(const char* begin, const char* end) {
  const void* lf =
      std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
  return lf != nullptr ? static_cast<const char*>(lf) : end;
}

// Where the line that starts at `begin` ends, looked for in [begin, stop).
struct LineScan {
  bool found = false;        // the line end lies in the window
  std::size_t content = 0;   // found: the line's bytes; otherwise the bytes
                             // that surely belong to the line
  std::size_t end_size = 0;  // found: bytes of the line end (1 or 2)
  LineEnd end = LineEnd::kNone;
};

// Finds the end of the line at `begin` under `rule`. `at_eof`: nothing
// follows `stop` in the file, so a CR there is not the start of a CR LF.
// An undecided rule is decided by the first CR or LF that can be judged.
LineScan ScanLine(const char* begin, const char* stop, bool at_eof,
                  CrRule* rule);

// A set of byte values, each looked up with one load: the first bytes of
// the lines that a rule looks at.
class ByteSet {
 public:
  constexpr ByteSet() = default;
  constexpr explicit ByteSet(std::string_view bytes) {
    for (const char c : bytes) has_[static_cast<unsigned char>(c)] = true;
  }
  // Implicit: a set is written as the string literal of its bytes.
  template <std::size_t N>
  constexpr ByteSet(const char (&bytes)[N])  // NOLINT(runtime/explicit)
      : ByteSet(std::string_view(bytes, N - 1)) {}
  constexpr ByteSet operator|(const ByteSet& other) const {
    ByteSet both = *this;
    for (std::size_t i = 0; i < 256; ++i) both.has_[i] |= other.has_[i];
    return both;
  }
  constexpr bool contains(char c) const {
    return has_[static_cast<unsigned char>(c)];
  }

 private:
  bool has_[256] = {};
};

// What CopyLinesToLf() or CopyLinesToCrLf() took and wrote.
struct LfCopy {
  const char* next = nullptr;  // the first line not taken
  char* written = nullptr;     // just past the last byte written
  qint64 lf_lines = 0;         // lines taken that ended in a lone LF
  bool last_crlf = false;      // the last line taken ended in CR LF
};

// In a file whose lone CRs are ordinary bytes: copies whole lines from
// `line` (a line start, whose first byte is none of `stops`) to `out`,
// each with its line end made a lone LF, and stops before the first line
// that begins with '>' or a byte of `stops`, or that cannot be judged or copied
// wide. Wide: each read and write is a block of 32 bytes, so that it stops too
// where fewer than 32 bytes are left before `end` or `out_end`; bytes past
// `written` up to `out_end` may have been overwritten. `next` == `line`:
// nothing was taken, always so where the processor lacks the wide instructions.
// One pass that reads and writes each byte once, where finding each line's end
// and copying it apart would go over its bytes twice.
using LineCopy = LfCopy (*)(const char* line, const char* end, char* out,
                            char* out_end, const ByteSet& stops);
// The wide copies, or nullptr where the processor lacks their instructions.
// Called straight from the inline functions below: a run stops at every
// line a rule looks at, and each stop calls a copy again.
extern const LineCopy kWideCopyToLf;
extern const LineCopy kWideCopyToCrLf;
inline LfCopy CopyLinesToLf(const char* line, const char* end, char* out,
                            char* out_end, const ByteSet& stops) {
  if (kWideCopyToLf == nullptr) return LfCopy{line, out};
  return kWideCopyToLf(line, end, out, out_end, stops);
}
// The same with each line end made CR LF. Output runs ahead of input by a
// byte for each lone LF, so a block is stored only where 33 bytes are left
// before `out_end`.
inline LfCopy CopyLinesToCrLf(const char* line, const char* end, char* out,
                              char* out_end, const ByteSet& stops) {
  if (kWideCopyToCrLf == nullptr) return LfCopy{line, out};
  return kWideCopyToCrLf(line, end, out, out_end, stops);
}

// In a file whose lone CRs are ordinary bytes: the length of the longest
// run at the start of [begin, end), which must be the start of a line, made
// of whole lines that each end in CR LF and do not begin with any byte of
// `excluded`. Such lines need no change on their way into a .box file.
using CrLfRunScan = std::size_t (*)(const char* begin, const char* end,
                                    const ByteSet& excluded);
// The scan for this processor, chosen at start-up: 32 bytes at a time
// where it has AVX2.
extern const CrLfRunScan kPlainCrLfRun;
inline std::size_t PlainCrLfRun(const char* begin, const char* end,
                                const ByteSet& excluded) {
  return kPlainCrLfRun(begin, end, excluded);
}

// Reads a file from an offset on through positional reads, leaving the
// position of the file's own reads alone: the source of a second reader
// that looks far ahead of the first.
class OffsetInput final : public InputFile {
 public:
  OffsetInput(InputFile& file, qint64 offset) : file_(file), offset_(offset) {}
  qint64 Read(char* data, qint64 max) override {
    const qint64 n = file_.ReadAt(offset_, data, max);
    if (n > 0) offset_ += n;
    return n;
  }
  qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
    return file_.ReadAt(offset, data, max);
  }
  bool Close() override { return true; }
  // The file's own failure, passed on unchanged.
  FileError Error() const override { return file_.Error(); }

 private:
  InputFile& file_;
  qint64 offset_;
};

// Reads a mailbox line by line without ever holding a whole line: a line
// may be longer than memory. Lines end as CrRule says; the last line may
// end with the file instead. Bytes pass through untouched.
//
// Use: ReadMailboxLine() starts each line; Head() looks at the line's next
// bytes without taking them; Skip() and NextPiece() take them; LookAhead()
// looks at the file's bytes from the reading position on. Views returned
// stay valid only until the next call on the reader.
class LineReader {
 public:
  // `file` must outlive the reader. `read_chunk` is the number of bytes
  // asked of the file per read (at least 1). `offset` is the file offset
  // the file's next Read() starts at, and `rule` what is known of lone CRs
  // there (a reader that starts inside a file inherits both).
  LineReader(InputFile& file, std::size_t read_chunk, qint64 offset = 0,
             CrRule rule = CrRule::kUndecided);

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
  // a whole line and its line end, shows both and returns true without
  // taking them; TakePeeked() then takes them. Otherwise returns false and
  // ReadMailboxLine() carries on. Only between lines. `line` stays valid
  // until the next call that is not PeekWholeLine(), TakePeeked() or
  // TakePlainCrLfRun(); the line end's bytes follow it in memory.
  bool PeekWholeLine(std::string_view* line, LineEnd* end,
                     std::size_t* end_size) {
    if (in_line_) return false;
    if (rule_ == CrRule::kOrdinary) {
      // ScanLine()'s rule for these files, inline for speed; an empty line
      // is told by its first byte.
      const char* stop = data() + available();
      const char* lf =
          available() > 0 && *data() == '\n' ? data() : FindLf(data(), stop);
      if (lf == stop) return false;
      const bool crlf = lf > data() && lf[-1] == '\r';
      *line = {data(), static_cast<std::size_t>(lf - data()) - (crlf ? 1 : 0)};
      *end = crlf ? LineEnd::kCrLf : LineEnd::kLf;
      *end_size = crlf ? 2 : 1;
      return true;
    }
    const LineScan scan = ScanLine(data(), data() + available(), eof_, &rule_);
    if (!scan.found) return false;
    *line = {data(), scan.content};
    *end = scan.end;
    *end_size = scan.end_size;
    return true;
  }
  void TakePeeked(const std::string_view& line, std::size_t end_size) {
    // Only the line just peeked, whole, between lines.
    Q_ASSERT(!in_line_ && line.data() == data());
    Q_ASSERT(line.size() + end_size <= available());
    pos_ += line.size() + end_size;
  }

  // Between lines: takes the PlainCrLfRun() at the reading position and
  // returns it (it may be empty; it always is while lone CRs may end
  // lines). Reads nothing; the view stays valid as long as
  // PeekWholeLine()'s does.
  std::string_view TakePlainCrLfRun(const ByteSet& excluded) {
    if (in_line_ || rule_ != CrRule::kOrdinary) return {};
    const char* begin = data();
    const std::size_t size = PlainCrLfRun(begin, begin + available(), excluded);
    // A run is whole lines: it ends just after an LF.
    Q_ASSERT(size == 0 || begin[size - 1] == '\n');
    pos_ += size;
    return {begin, size};
  }

  // The fast way through the buffer, in a file whose lone CRs are ordinary
  // bytes: between lines, the unread bytes in the buffer, whole lines
  // first and maybe the start of one more; empty otherwise. Reads nothing;
  // TakeLines() takes whole lines of them. The view stays valid as long as
  // PeekWholeLine()'s does.
  std::string_view UnreadLines() const {
    if (in_line_ || rule_ != CrRule::kOrdinary) return {};
    return {data(), available()};
  }
  // Takes the first `size` bytes of UnreadLines(): whole lines, so they
  // end just after an LF.
  void TakeLines(std::size_t size) {
    Q_ASSERT(!in_line_ && size <= available());
    Q_ASSERT(size == 0 || data()[size - 1] == '\n');
    pos_ += size;
  }

  // Bytes of the current line taken so far (all of it once NextPiece has
  // returned false).
  qint64 line_length() const { return line_length_; }
  // How the current line ended; valid once NextPiece has returned false.
  LineEnd line_end() const { return line_end_; }

  // Up to `n` bytes that follow everything taken so far, as they stand in
  // the file (line ends included): fewer only at the end of the file.
  std::string_view LookAhead(std::size_t n);
  // Whether the file ends right after what LookAhead() last showed, given
  // that it showed fewer bytes than asked.
  bool at_eof() const { return eof_; }
  // What LookAhead() would show of the bytes already read, without
  // reading: a look that these bytes settle costs no read and no move of
  // the buffer, which a look as far as LookAhead()'s largest needs near
  // the end of each read. at_eof() says whether the file ends right after
  // them.
  std::string_view Buffered() const { return {data(), available()}; }

  // The file offset of the reading position.
  qint64 offset() const { return base_ + static_cast<qint64>(pos_); }
  CrRule cr_rule() const { return rule_; }
  InputFile& file() { return file_; }

  bool failed() const { return failed_; }
  // The read step's failure, once a read failed.
  std::optional<StepFailure> failure() const {
    if (!failed_) return std::nullopt;
    return StepFailure{RunStep::kRead, error_};
  }
  // Marks the read as failed, for a look elsewhere in the file that failed.
  void Fail(const FileError& error) {
    failed_ = true;
    error_ = error;
  }

 private:
  // Makes at least `n` unread bytes available unless the file ends first.
  // May move the buffer's contents.
  std::size_t Ensure(std::size_t n);
  std::size_t available() const { return end_ - pos_; }
  const char* data() const { return buffer_.data() + pos_; }

  InputFile& file_;
  std::size_t read_chunk_;
  RawBuffer buffer_;
  qint64 base_;          // file offset of buffer_[0]
  std::size_t pos_ = 0;  // first unread byte
  std::size_t end_ = 0;  // one past the last byte read
  bool eof_ = false;     // the file has said it has no more bytes
  bool failed_ = false;
  FileError error_;
  CrRule rule_;

  bool in_line_ = false;  // a line has been started and not finished
  qint64 line_length_ = 0;
  LineEnd line_end_ = LineEnd::kNone;
};

}  // namespace quillet

#endif  // QUILLET_CONVERSION_LINE_READER_H_
