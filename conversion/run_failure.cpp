#include "conversion/run_failure.h"

namespace quillet {

QString ReasonText(FailureReason reason) {
  switch (reason) {
    case FailureReason::kSystem:
    case FailureReason::kCount:
      break;
    case FailureReason::kTargetMissing:
      return QStringLiteral("the target folder does not exist");
    case FailureReason::kTargetNotFolder:
      return QStringLiteral("the target is not a folder");
    case FailureReason::kSourceMissing:
      return QStringLiteral("the mailbox does not exist");
    case FailureReason::kSourceNotRegular:
      return QStringLiteral("the mailbox is not a regular file");
    case FailureReason::kOutputNotRegular:
      return QStringLiteral(
          "the output name is taken by something that is not a regular file");
    case FailureReason::kOutputIsSource:
      return QStringLiteral("the output would overwrite a mailbox of this run");
    case FailureReason::kOutputClash:
      return QStringLiteral("another mailbox of this run has the same output");
  }
  return {};
}

QString DescribeStep(RunStep step) {
  switch (step) {
    case RunStep::kCheck:
      return QStringLiteral("cannot convert");
    case RunStep::kSizeQuery:
      return QStringLiteral("cannot get the size of");
    case RunStep::kOpenSource:
      return QStringLiteral("cannot open");
    case RunStep::kRead:
      return QStringLiteral("cannot read");
    case RunStep::kCloseSource:
      return QStringLiteral("cannot close");
    case RunStep::kOpenOutput:
      return QStringLiteral("cannot create");
    case RunStep::kWrite:
      return QStringLiteral("cannot write");
    case RunStep::kFlush:
      return QStringLiteral("cannot write out");
    case RunStep::kCommit:
      return QStringLiteral("cannot save");
  }
  return {};
}

QString RunFailure::Describe() const {
  QString line;
  if (mailbox_number > 0) {
    line = QStringLiteral("mailbox %1 (%2): ").arg(mailbox_number).arg(mailbox);
  }
  return line + DescribeStep(step) + QLatin1Char(' ') + path +
         QStringLiteral(": ") + reason;
}

}  // namespace quillet
