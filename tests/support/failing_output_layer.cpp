// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/failing_output_layer.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quillet::testing {
namespace {

// Passes writes on until `capacity` bytes have gone through, then refuses.
class CappedOutputFile final : public OutputFile {
 public:
  CappedOutputFile(std::unique_ptr<OutputFile> inner, qint64 capacity,
                   FileError error)
      : inner_(std::move(inner)), left_(capacity), error_(error) {}

  bool Write(const char* data, qint64 size) override {
    if (size > left_) {
      if (left_ > 0) inner_->Write(data, left_);  // part of it lands
      left_ = 0;
      refused_ = true;
      return false;
    }
    left_ -= size;
    return inner_->Write(data, size);
  }
  bool Flush() override { return inner_->Flush(); }
  bool Sync() override { return inner_->Sync(); }
  bool Commit() override { return inner_->Commit(); }
  FileError Error() const override {
    return refused_ ? error_ : inner_->Error();
  }
  void SetNewFileMode(quint32 mode) override { inner_->SetNewFileMode(mode); }
  void SetCompletionNote(const QByteArray& line) override {
    inner_->SetCompletionNote(line);
  }

 private:
  std::unique_ptr<OutputFile> inner_;
  qint64 left_;
  FileError error_;
  bool refused_ = false;
};

}  // namespace

FileError DiskFullError() {
#ifdef Q_OS_WIN
  return FileError::System(ERROR_DISK_FULL);
#else
  return FileError::System(ENOSPC);
#endif
}

std::unique_ptr<OutputFile> FailingOutputLayer::OpenOutput(const QString& path,
                                                           FileError* error) {
  const bool chosen =
      failing_name.isEmpty() || QFileInfo(path).fileName() == failing_name;
  if (chosen && fail_open) {
    *error = failure;
    return nullptr;
  }
  std::unique_ptr<OutputFile> file =
      ForwardingFileLayer::OpenOutput(path, error);
  if (!file || !chosen || !capacity) return file;
  return std::make_unique<CappedOutputFile>(std::move(file), *capacity,
                                            failure);
}

}  // namespace quillet::testing
