// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/run_failure.h"

namespace quillet {
namespace {

// Short English name of a step, as Describe() uses it ("cannot write").
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
    case RunStep::kSync:
      return QStringLiteral("cannot store on the disk");
    case RunStep::kSyncFolder:
      return QStringLiteral("cannot store the folder entries of");
  }
  return {};
}

}  // namespace

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
    case FailureReason::kOutputIsLink:
      return QStringLiteral(
          "the output name is a symbolic link, which is not followed");
    case FailureReason::kSourceUnreadable:
      return QStringLiteral("no permission to read the mailbox");
    case FailureReason::kTargetNotWritable:
      return QStringLiteral(
          "no permission to create files in the target folder");
    case FailureReason::kTargetReadOnly:
      return QStringLiteral("the target folder is on a read-only file system");
    case FailureReason::kNameTooLong:
      return QStringLiteral(
          "the output name is longer than the target's file system allows");
    case FailureReason::kNameNotAllowed:
      return QStringLiteral(
          "the target's file system does not allow this output name");
    case FailureReason::kOutputCaseClash:
      return QStringLiteral(
          "another mailbox of this run has the same output on this file "
          "system, which does not tell upper from lower case");
    case FailureReason::kReplacesOwnOutput:
      return QStringLiteral(
          "the output would replace another output of this run (the file "
          "system does not tell upper from lower case)");
    case FailureReason::kOutputTaken:
      return QStringLiteral(
          "another program created a file of this name while the output "
          "was written");
    case FailureReason::kSourceChanged:
      return QStringLiteral("the mailbox changed while it was read");
    case FailureReason::kSourceLocked:
      return QStringLiteral(
          "another program is writing the mailbox (it is locked)");
    case FailureReason::kNameNotUtf8:
      return QStringLiteral(
          "the name is not valid UTF-8 and cannot be passed on unchanged");
    case FailureReason::kSourceIsMbox:
      return QStringLiteral(
          "the file is an mbox mailbox, not a Foxmail .box mailbox");
    case FailureReason::kSourceIsBox:
      return QStringLiteral(
          "the file is a Foxmail .box mailbox, not an mbox mailbox");
    case FailureReason::kNoMboxMessage:
      return QStringLiteral(
          "the file is not an mbox mailbox: no line of its first MiB starts "
          "a message");
    case FailureReason::kNoBoxMessage:
      return QStringLiteral(
          "the file is not a Foxmail .box mailbox: its first MiB holds no "
          "separator line");
    case FailureReason::kSourceIsBinary:
      return QStringLiteral(
          "the file is not a mailbox: it holds binary data, such as a "
          "picture, a program or an archive");
    case FailureReason::kOutputExists:
      return QStringLiteral("a file of the output's name exists already");
    case FailureReason::kOutputImmutable:
      return QStringLiteral(
          "the file of the output's name is immutable or append-only, so it "
          "cannot be replaced");
    case FailureReason::kTargetImmutable:
      return QStringLiteral(
          "the target folder is immutable or append-only, so no output can "
          "be put in it");
    case FailureReason::kOutputOtherOwner:
      return QStringLiteral(
          "the file of the output's name belongs to another user in a folder "
          "where only its owner may replace it");
    case FailureReason::kTargetMoved:
      return QStringLiteral(
          "the target folder was moved or replaced while the output was "
          "written; nothing was put in either folder");
    case FailureReason::kOutputLooksLikeSource:
      return QStringLiteral(
          "the file of the output's name has the same contents, size and "
          "time as a mailbox of this run, on a file system that cannot tell "
          "whether they are one file");
    case FailureReason::kOutOfMemory:
      return QStringLiteral("there was not enough memory");
    case FailureReason::kUnexpected:
      return QStringLiteral("an unexpected failure inside the program");
    case FailureReason::kWorkingFolderGone:
      return QStringLiteral(
          "the working folder has been removed, so a relative name leads "
          "nowhere; give the full name");
  }
  return {};
}

QString ErrorText(const FileError& error) {
  return error.code == FailureReason::kSystem
             ? SystemErrorText(error.system_code)
             : ReasonText(error.code);
}

QString RunFailure::Describe() const {
  QString line;
  if (mailbox_number > 0) {
    line = QStringLiteral("mailbox %1 (%2): ").arg(mailbox_number).arg(mailbox);
  }
  return line + DescribeStep(step) + QLatin1Char(' ') + path +
         QStringLiteral(": ") + ErrorText(error);
}

}  // namespace quillet
