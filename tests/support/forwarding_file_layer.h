// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_SUPPORT_FORWARDING_FILE_LAYER_H_
#define QUILLET_TESTS_SUPPORT_FORWARDING_FILE_LAYER_H_

// Test-only: no shipped program links the test support.

#include "conversion/file_layer.h"

namespace quillet {

// Hands every operation to another layer: the base of layers that change
// one operation, such as those that make it fail on purpose.
class ForwardingFileLayer : public FileLayer {
 public:
  // `inner` must outlive this layer.
  explicit ForwardingFileLayer(FileLayer& inner = SystemFileLayer())
      : inner_(inner) {}

  PathFacts Inspect(const QString& path) override {
    return inner_.Inspect(path);
  }
  std::optional<qint64> Size(const QString& path, FileError* error) override {
    return inner_.Size(path, error);
  }
  std::unique_ptr<InputFile> OpenInput(const QString& path,
                                       FileError* error) override {
    return inner_.OpenInput(path, error);
  }
  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         FileError* error) override {
    return inner_.OpenOutput(path, error);
  }
  bool SyncFolder(const QString& folder, FileError* error) override {
    return inner_.SyncFolder(folder, error);
  }
  bool SyncTogether(const std::vector<OutputFile*>& outputs) override {
    return inner_.SyncTogether(outputs);
  }
  bool ListsExactly(const QString& path) override {
    return inner_.ListsExactly(path);
  }

 private:
  FileLayer& inner_;
};

}  // namespace quillet

#endif  // QUILLET_TESTS_SUPPORT_FORWARDING_FILE_LAYER_H_
