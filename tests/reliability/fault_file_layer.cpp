// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/reliability/fault_file_layer.h"

#include <numeric>

namespace quillet::reliability {
namespace {

class FaultInputFile final : public InputFile {
 public:
  FaultInputFile(FaultFileLayer& layer, std::unique_ptr<InputFile> inner,
                 QString path)
      : layer_(layer), inner_(std::move(inner)), path_(std::move(path)) {}

  qint64 Read(char* data, qint64 max) override {
    if (layer_.Enter(FileOp::kRead, path_)) {
      error_ = FaultFileLayer::InjectedError(FileOp::kRead,
                                             layer_.calls(FileOp::kRead));
      return -1;
    }
    return inner_->Read(data, max);
  }
  // A look ahead is a read like any other and fails like one.
  qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
    if (layer_.Enter(FileOp::kRead, path_)) {
      error_ = FaultFileLayer::InjectedError(FileOp::kRead,
                                             layer_.calls(FileOp::kRead));
      return -1;
    }
    return inner_->ReadAt(offset, data, max);
  }
  bool Close() override {
    if (layer_.Enter(FileOp::kClose, path_)) {
      inner_->Close();
      error_ = FaultFileLayer::InjectedError(FileOp::kClose,
                                             layer_.calls(FileOp::kClose));
      return false;
    }
    return inner_->Close();
  }
  FileError Error() const override {
    return error_ ? *error_ : inner_->Error();
  }

 private:
  FaultFileLayer& layer_;
  std::unique_ptr<InputFile> inner_;
  QString path_;
  std::optional<FileError> error_;
};

class FaultOutputFile final : public OutputFile {
 public:
  FaultOutputFile(FaultFileLayer& layer, std::unique_ptr<OutputFile> inner,
                  QString path)
      : layer_(layer), inner_(std::move(inner)), path_(std::move(path)) {}

  bool Write(const char* data, qint64 size) override {
    if (layer_.Enter(FileOp::kWrite, path_)) {
      inner_->Write(data, size / 2);  // part of it lands, as on a full disk
      error_ = FaultFileLayer::InjectedError(FileOp::kWrite,
                                             layer_.calls(FileOp::kWrite));
      return false;
    }
    return inner_->Write(data, size);
  }
  bool Flush() override {
    if (layer_.Enter(FileOp::kFlush, path_)) {
      error_ = FaultFileLayer::InjectedError(FileOp::kFlush,
                                             layer_.calls(FileOp::kFlush));
      return false;
    }
    return inner_->Flush();
  }
  // A disk that refuses the data at write-back (a thin volume running
  // out): the bytes were written, the sync says they are not stored.
  bool Sync() override {
    if (layer_.Enter(FileOp::kSync, path_)) {
      error_ = FaultFileLayer::InjectedError(FileOp::kSync,
                                             layer_.calls(FileOp::kSync));
      return false;
    }
    return inner_->Sync();
  }
  bool Commit() override {
    if (layer_.Enter(FileOp::kCommit, path_)) {
      error_ = FaultFileLayer::InjectedError(FileOp::kCommit,
                                             layer_.calls(FileOp::kCommit));
      return false;
    }
    return inner_->Commit();
  }
  FileError Error() const override {
    return error_ ? *error_ : inner_->Error();
  }
  void SetNewFileMode(quint32 mode) override { inner_->SetNewFileMode(mode); }
  void SetCompletionNote(const QByteArray& line) override {
    inner_->SetCompletionNote(line);
  }

 private:
  FaultFileLayer& layer_;
  std::unique_ptr<OutputFile> inner_;
  QString path_;
  std::optional<FileError> error_;
};

}  // namespace

const char* FileOpName(FileOp op) {
  switch (op) {
    case FileOp::kInspect:
      return "Inspect";
    case FileOp::kSize:
      return "Size";
    case FileOp::kOpenInput:
      return "OpenInput";
    case FileOp::kRead:
      return "Read";
    case FileOp::kClose:
      return "Close";
    case FileOp::kOpenOutput:
      return "OpenOutput";
    case FileOp::kWrite:
      return "Write";
    case FileOp::kFlush:
      return "Flush";
    case FileOp::kCommit:
      return "Commit";
    case FileOp::kSync:
      return "Sync";
    case FileOp::kSyncFolder:
      return "SyncFolder";
  }
  return "?";
}

RunStep StepOf(FileOp op) {
  switch (op) {
    case FileOp::kInspect:
      return RunStep::kCheck;
    case FileOp::kSize:
      return RunStep::kSizeQuery;
    case FileOp::kOpenInput:
      return RunStep::kOpenSource;
    case FileOp::kRead:
      return RunStep::kRead;
    case FileOp::kClose:
      return RunStep::kCloseSource;
    case FileOp::kOpenOutput:
      return RunStep::kOpenOutput;
    case FileOp::kWrite:
      return RunStep::kWrite;
    case FileOp::kFlush:
      return RunStep::kFlush;
    case FileOp::kCommit:
      return RunStep::kCommit;
    case FileOp::kSync:
      return RunStep::kSync;
    case FileOp::kSyncFolder:
      return RunStep::kSyncFolder;
  }
  return RunStep::kCheck;
}

FileError FaultFileLayer::InjectedError(FileOp op, int index) {
  // A code no system gives, one per operation and call.
  return FileError::System(1000000 + static_cast<qint64>(op) * 10000 + index);
}

int FaultFileLayer::total_calls() const {
  return std::accumulate(calls_.begin(), calls_.end(), 0);
}

bool FaultFileLayer::Enter(FileOp op, const QString& path) {
  if (before) before(op, path);
  const int index = ++calls_[static_cast<std::size_t>(op)];
  if (!fault_ || fault_->op != op || fault_->index != index) return false;
  fired_path_ = path;
  return true;
}

PathFacts FaultFileLayer::Inspect(const QString& path) {
  if (Enter(FileOp::kInspect, path)) return PathFacts{};
  return inner_.Inspect(path);
}

std::optional<qint64> FaultFileLayer::Size(const QString& path,
                                           FileError* error) {
  if (Enter(FileOp::kSize, path)) {
    *error = InjectedError(FileOp::kSize, calls(FileOp::kSize));
    return std::nullopt;
  }
  return inner_.Size(path, error);
}

std::unique_ptr<InputFile> FaultFileLayer::OpenInput(const QString& path,
                                                     FileError* error) {
  if (Enter(FileOp::kOpenInput, path)) {
    *error = InjectedError(FileOp::kOpenInput, calls(FileOp::kOpenInput));
    return nullptr;
  }
  std::unique_ptr<InputFile> file = inner_.OpenInput(path, error);
  if (!file) return nullptr;
  return std::make_unique<FaultInputFile>(*this, std::move(file), path);
}

std::unique_ptr<OutputFile> FaultFileLayer::OpenOutput(const QString& path,
                                                       FileError* error) {
  if (Enter(FileOp::kOpenOutput, path)) {
    *error = InjectedError(FileOp::kOpenOutput, calls(FileOp::kOpenOutput));
    return nullptr;
  }
  std::unique_ptr<OutputFile> file = inner_.OpenOutput(path, error);
  if (!file) return nullptr;
  return std::make_unique<FaultOutputFile>(*this, std::move(file), path);
}

bool FaultFileLayer::SyncFolder(const QString& folder, FileError* error) {
  if (Enter(FileOp::kSyncFolder, folder)) {
    *error = InjectedError(FileOp::kSyncFolder, calls(FileOp::kSyncFolder));
    return false;
  }
  return inner_.SyncFolder(folder, error);
}

}  // namespace quillet::reliability
