// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_SUPPORT_RECORDING_REPORTER_H_
#define QUILLET_TESTS_SUPPORT_RECORDING_REPORTER_H_

#include <QString>
#include <string>
#include <vector>

#include "conversion/conversion_run.h"

namespace quillet::testing {

// Records every reporter call as one line: "max 32", "value 32",
// "status <text>", "repaint" (the form the reference model gives them in).
class RecordingReporter : public ConversionReporter {
 public:
  void SetProgressMax(qint64 size) override;
  void SetProgressValue(qint64 reckoned) override;
  void SetStatusText(const QString& text) override;
  void Repaint() override;

  std::vector<std::string> calls;
};

}  // namespace quillet::testing

#endif  // QUILLET_TESTS_SUPPORT_RECORDING_REPORTER_H_
