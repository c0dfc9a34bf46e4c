// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_MAILBOX_WRITER_H_
#define QUILLET_CONVERSION_MAILBOX_WRITER_H_

#include <QString>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "conversion/file_layer.h"
#include "conversion/raw_buffer.h"
#include "conversion/run_failure.h"

namespace quillet {

// Writes an output mailbox line by line through a buffer of its own, ending
// every line the same way: CR LF in .box files, LF in mbox files.
// After the first failure every call does nothing and returns false.
class MailboxWriter {
 public:
  // `file` must outlive the writer.
  MailboxWriter(OutputFile& file, std::string_view line_end,
                std::size_t buffer_size = std::size_t{1} << 20);

  // Writes the text and a line end.
  bool WriteMailboxLine(std::string_view text) {
    // Once per line: the common case, room in the buffer, copies the line
    // end by hand rather than through a second Append().
    if (!failure_ && text.size() + 2 <= buffer_.size() - used_) {
      if (!text.empty()) {
        std::memcpy(buffer_.data() + used_, text.data(), text.size());
      }
      used_ += text.size();
      // Two bytes whatever the line end's size: the room is there, and a
      // byte past the line end is written over by the next write.
      std::memcpy(buffer_.data() + used_, line_end_two_, 2);
      used_ += line_end_.size();
      return true;
    }
    return Append(text) && EndLine();
  }
  // Writes part of a line; EndLine() finishes it.
  bool Append(std::string_view bytes) {
    if (!failure_ && bytes.size() <= buffer_.size() - used_) {
      // An empty view may hold a null pointer, and memcpy from one is
      // undefined even for zero bytes.
      if (bytes.empty()) return true;
      std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
      return true;
    }
    return AppendSlow(bytes);
  }
  bool EndLine() { return Append(line_end_); }

  // For a caller that writes lines straight into the buffer, many in a
  // row: where the next byte goes, and how many bytes fit there (none
  // after a failure); Wrote(size) then adds the first `size` of them.
  char* Tail() { return buffer_.data() + used_; }
  std::size_t Room() const { return failure_ ? 0 : buffer_.size() - used_; }
  void Wrote(std::size_t size) { used_ += size; }

  // Writes out what is buffered and hands it to the system (the flush
  // step). The output is then complete but not yet visible: syncing and
  // naming it are the run's, which does them for many outputs together.
  bool FinishWriting();

  // Bytes written so far, line ends included, buffered or not.
  qint64 position() const { return drained_ + static_cast<qint64>(used_); }

  bool failed() const { return failure_.has_value(); }
  // What failed first: the write, flush, sync or commit step, and why.
  const std::optional<StepFailure>& failure() const { return failure_; }

 private:
  bool AppendSlow(std::string_view bytes);
  bool Drain();
  bool Fail(RunStep step);

  OutputFile& file_;
  std::string_view line_end_;  // CR LF or LF
  char line_end_two_[2];       // its bytes, padded to two
  RawBuffer buffer_;
  std::size_t used_ = 0;
  qint64 drained_ = 0;  // bytes handed to the file
  std::optional<StepFailure> failure_;
};

}  // namespace quillet

#endif  // QUILLET_CONVERSION_MAILBOX_WRITER_H_
