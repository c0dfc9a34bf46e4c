// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_SUPPORT_CONVERSION_SUPPORT_H_
#define QUILLET_TESTS_SUPPORT_CONVERSION_SUPPORT_H_

// Shared helpers of the conversion tests: files in a temporary folder, a
// reporter that records its calls, and file layers that fail on purpose.
// Test-only: no shipped program links the test support.

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

#include "conversion/conversion_reporter.h"
#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"
#include "tests/support/failing_output_layer.h"
#include "tests/support/recording_reporter.h"

namespace quillet::testing {

std::string ReadBytes(const QString& path);
void WriteBytes(const QString& path, std::string_view bytes);

// A temporary folder with a source and a target folder inside, and a job
// over it.
class Workspace {
 public:
  Workspace();
  QString source_folder() const { return root_.path() + "/in/"; }
  QString target_folder() const { return root_.path() + "/out/"; }
  QString root() const { return root_.path(); }

  // Writes a source mailbox and adds it to the job.
  void AddSource(const QString& name, std::string_view bytes);
  std::string Output(const QString& name) const;
  // Names of everything in the target folder, sorted.
  QStringList TargetEntries() const;

  ConversionJob job;

 private:
  QTemporaryDir root_;
};

// The German status line's words, as the window hands them to a run.
ProgressText GermanProgress();

// Converts `input` as one mailbox named "m" (or "m.box") in the direction
// given and returns the output's bytes. Fails the test on a run failure.
std::string Convert(std::string_view input, bool mbox_to_box,
                    std::size_t read_chunk = std::size_t{1} << 20,
                    RecordingReporter* reporter = nullptr);

// The system's file layer with the sizes it reports replaced, and (through
// `capacity`) outputs that fill up like a full disk.
class WrappedFileLayer : public FailingOutputLayer {
 public:
  std::optional<qint64> Size(const QString& path, FileError* error) override;

  std::function<std::optional<qint64>(const QString&)> size_override;
};

}  // namespace quillet::testing

#endif  // QUILLET_TESTS_SUPPORT_CONVERSION_SUPPORT_H_
