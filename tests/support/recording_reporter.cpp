// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/recording_reporter.h"

namespace quillet::testing {

void RecordingReporter::SetProgressMax(qint64 size) {
  calls.push_back("max " + std::to_string(size));
}
void RecordingReporter::SetProgressValue(qint64 reckoned) {
  calls.push_back("value " + std::to_string(reckoned));
}
void RecordingReporter::SetStatusText(const QString& text) {
  calls.push_back("status " + text.toStdString());
}
void RecordingReporter::Repaint() { calls.push_back("repaint"); }

}  // namespace quillet::testing
