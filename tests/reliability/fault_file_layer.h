// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_RELIABILITY_FAULT_FILE_LAYER_H_
#define QUILLET_TESTS_RELIABILITY_FAULT_FILE_LAYER_H_

// A FileLayer around another one that counts every operation, can make the
// k-th call of any one operation fail, and can act on the file system just
// before any operation (to change a source between the check and the read).

#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"

namespace quillet::reliability {

enum class FileOp {
  kInspect,
  kSize,
  kOpenInput,
  kRead,
  kClose,
  kOpenOutput,
  kWrite,
  kFlush,
  kCommit,
  kSync,
  kSyncFolder,
};
inline constexpr std::size_t kFileOpCount = 11;
inline constexpr std::array<FileOp, kFileOpCount> kAllFileOps = {
    FileOp::kInspect, FileOp::kSize,       FileOp::kOpenInput, FileOp::kRead,
    FileOp::kClose,   FileOp::kOpenOutput, FileOp::kWrite,     FileOp::kFlush,
    FileOp::kCommit,  FileOp::kSync,       FileOp::kSyncFolder};

const char* FileOpName(FileOp op);

// The run step a failure of `op` must be reported as.
RunStep StepOf(FileOp op);

class FaultFileLayer : public FileLayer {
 public:
  explicit FaultFileLayer(FileLayer& inner) : inner_(inner) {}

  // Makes the `index`-th call (from 1) of `op` fail: Inspect reports the
  // path missing, Read returns -1, Write lands half of its bytes and then
  // fails (as on a full disk), the others return failure without doing
  // their work (Close releases the file first).
  void FailAt(FileOp op, int index) { fault_ = Fault{op, index}; }

  int calls(FileOp op) const { return calls_[static_cast<std::size_t>(op)]; }
  int total_calls() const;
  bool fault_fired() const { return fired_path_.has_value(); }
  // The path the failed call was about.
  QString fired_path() const { return fired_path_.value_or(QString()); }
  // The failure the failed call gave.
  static FileError InjectedError(FileOp op, int index);

  // Runs before every operation, with the path it is about.
  std::function<void(FileOp, const QString&)> before;

  PathFacts Inspect(const QString& path) override;
  std::optional<qint64> Size(const QString& path, FileError* error) override;
  std::unique_ptr<InputFile> OpenInput(const QString& path,
                                       FileError* error) override;
  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         FileError* error) override;
  bool SyncFolder(const QString& folder, FileError* error) override;
  bool ListsExactly(const QString& path) override {
    return inner_.ListsExactly(path);
  }

  // Counts the call and says whether it is the one to fail. Used by the
  // wrapped files too.
  bool Enter(FileOp op, const QString& path);

 private:
  struct Fault {
    FileOp op;
    int index;
  };
  FileLayer& inner_;
  std::array<int, kFileOpCount> calls_{};
  std::optional<Fault> fault_;
  std::optional<QString> fired_path_;
};

}  // namespace quillet::reliability

#endif  // QUILLET_TESTS_RELIABILITY_FAULT_FILE_LAYER_H_
