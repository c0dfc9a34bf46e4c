// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/mailbox_writer.h"

#include <cstring>

namespace quillet {

MailboxWriter::MailboxWriter(OutputFile& file, std::string_view line_end,
                             std::size_t buffer_size)
    : file_(file),
      line_end_(line_end),
      line_end_two_{line_end[0], line_end.size() > 1 ? line_end[1] : '\0'},
      buffer_(buffer_size) {
  Q_ASSERT(line_end.size() == 1 || line_end.size() == 2);
}

bool MailboxWriter::AppendSlow(std::string_view bytes) {
  if (failure_) return false;
  if (bytes.size() > buffer_.size() - used_) {
    if (!Drain()) return false;
    if (bytes.size() >= buffer_.size()) {
      // A piece as large as the buffer goes out directly.
      if (!file_.Write(bytes.data(), static_cast<qint64>(bytes.size()))) {
        return Fail(RunStep::kWrite);
      }
      drained_ += static_cast<qint64>(bytes.size());
      return true;
    }
  }
  std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
  return true;
}

bool MailboxWriter::Drain() {
  if (used_ == 0) return true;
  if (!file_.Write(buffer_.data(), static_cast<qint64>(used_))) {
    return Fail(RunStep::kWrite);
  }
  drained_ += static_cast<qint64>(used_);
  used_ = 0;
  return true;
}

bool MailboxWriter::Fail(RunStep step) {
  failure_ = StepFailure{step, file_.Error()};
  return false;
}

bool MailboxWriter::FinishWriting() {
  if (failure_ || !Drain()) return false;
  if (!file_.Flush()) return Fail(RunStep::kFlush);
  return true;
}

}  // namespace quillet
