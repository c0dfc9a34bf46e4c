// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_SUPPORT_FAILING_OUTPUT_LAYER_H_
#define QUILLET_TESTS_SUPPORT_FAILING_OUTPUT_LAYER_H_

#include <QString>
#include <memory>
#include <optional>

#include "tests/support/forwarding_file_layer.h"

namespace quillet::testing {

// The system's code for a full disk: ENOSPC, or ERROR_DISK_FULL on Windows.
FileError DiskFullError();

// Another layer's files (the system's by default), except that the outputs
// named `failing_name` (every output when it is empty) fail: at their
// opening when `fail_open`, else once `capacity` bytes were written to them,
// as a full disk does. The write that crosses the capacity lands its first
// part before it fails, so a partial output exists under the temporary
// name. The failure is `failure`, a full disk unless a test says otherwise.
// The fields are
// read at each opening, so a test may change them between runs.
class FailingOutputLayer : public ForwardingFileLayer {
 public:
  explicit FailingOutputLayer(QString name = QString(),
                              FileLayer& inner = SystemFileLayer())
      : ForwardingFileLayer(inner), failing_name(std::move(name)) {}

  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         FileError* error) override;

  QString failing_name;  // the output's file name, without its folder
  bool fail_open = false;
  std::optional<qint64> capacity;  // no limit when unset
  FileError failure = DiskFullError();
};

}  // namespace quillet::testing

#endif  // QUILLET_TESTS_SUPPORT_FAILING_OUTPUT_LAYER_H_
