// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_RUN_FAILURE_H_
#define QUILLET_CONVERSION_RUN_FAILURE_H_

#include <QString>
#include <QtGlobal>

namespace quillet {

// The steps at which a run can fail. Interfaces index tables of step names
// by this order: add new steps at the end.
enum class RunStep {
  kCheck,  // the job itself, before anything is read or written
  kSizeQuery,
  kOpenSource,
  kRead,
  kCloseSource,
  kOpenOutput,
  kWrite,
  kFlush,
  kCommit,
  kSync,        // the output's bytes to the disk, checked, before its rename
  kSyncFolder,  // the target folder's entries to the disk, after the renames
};

// Why a run stopped, when the reason is the program's own rather than the
// system's. The window words these in its own language; kSystem means the
// reason is the system's, told by its code.
// Interfaces index tables of reasons by this order: add new ones before
// kCount.
enum class FailureReason {
  kSystem,
  kTargetMissing,      // the target folder does not exist
  kTargetNotFolder,    // the target is not a folder
  kSourceMissing,      // the mailbox does not exist
  kSourceNotRegular,   // the mailbox is not a regular file
  kOutputNotRegular,   // the output name is taken by a folder, device, ...
  kOutputIsSource,     // the output would overwrite a mailbox of this run
  kOutputClash,        // another mailbox of this run has the same output
  kOutputIsLink,       // the output name is a symbolic link
  kSourceUnreadable,   // no permission to read the mailbox
  kTargetNotWritable,  // no permission to create files in the target folder
  kTargetReadOnly,     // the target folder is on a read-only file system
  kNameTooLong,        // the output name is longer than the target allows
  kNameNotAllowed,     // the target's file system refuses the output name
  kOutputCaseClash,    // same output once letter case is ignored
  kReplacesOwnOutput,  // would replace an output this run already wrote
  kOutputTaken,        // another program took the output name meanwhile
  kSourceChanged,      // the mailbox changed while it was read
  kSourceLocked,       // another program holds a write lock on the mailbox
  kNameNotUtf8,        // a name that cannot be passed on unchanged
  kSourceIsMbox,       // .box to mbox, but the source is an mbox or MMDF file
  kSourceIsBox,        // mbox to .box, but the source is a .box mailbox
  kNoMboxMessage,      // text in which no line starts an mbox message
  kNoBoxMessage,       // text without a .box separator line
  kSourceIsBinary,     // no message, and binary data (a picture, a program)
  kOutputExists,       // the output would replace a file nobody agreed to
  kOutputImmutable,    // the file to replace is immutable or append-only
  kTargetImmutable,    // the target folder is immutable or append-only
  kOutputOtherOwner,   // the file to replace is another user's, sticky folder
  kTargetMoved,        // the target folder was moved or replaced meanwhile
  kOutputLooksLikeSource,  // same bytes, size and time as a mailbox of the run
  kOutOfMemory,            // an allocation failed (std::bad_alloc)
  kUnexpected,             // any other exception ended the run
  kWorkingFolderGone,  // a relative name, but the working folder was removed
  kCount
};

// Why one file operation failed: one of the program's own reasons, or the
// system's code for it. Failures travel in this one value from the file
// layer and the rules up to the programs; words are made only where a
// failure is shown.
struct FileError {
  FailureReason code = FailureReason::kSystem;
  // For kSystem: the system's code, errno on POSIX systems, the Windows
  // error code (GetLastError()) on Windows. 0 for an own reason.
  qint64 system_code = 0;

  static FileError Own(FailureReason code) { return {code, 0}; }
  static FileError System(qint64 system_code) {
    return {FailureReason::kSystem, system_code};
  }
  friend bool operator==(const FileError&, const FileError&) = default;
};

// The failures of the system that users meet, whatever code each system
// gives them; the window words these in its own language.
enum class CommonSystemFailure {
  kOther,
  kNoSpace,
  kQuota,
  kReadOnlyDisk,
  kPermission,
  kIoError,
  kNoSuchFile,
  kTooManyOpen,
  kNameTooLong,
};

// Which of them a system code is (system_error_posix.cpp,
// system_error_windows.cpp).
CommonSystemFailure CommonFailureOf(qint64 system_code);

// The system's words for its code: strerror's on POSIX systems; on
// Windows those of the POSIX systems for the common failures and the
// system's own for any other.
QString SystemErrorText(qint64 system_code);

// The English words for an own reason ("the target folder does not exist");
// empty for kSystem.
QString ReasonText(FailureReason reason);

// A failure in the command line's words: ReasonText for an own reason, the
// system's words for the system's.
QString ErrorText(const FileError& error);

// Why one step of one file failed, as the reader and the writer report it.
struct StepFailure {
  RunStep step = RunStep::kRead;
  FileError error;
};

// Why a run stopped. Names the mailbox, the file, the step and the reason.
struct RunFailure {
  RunStep step = RunStep::kCheck;
  int mailbox_number = 0;  // 1-based; 0 when no one mailbox is at fault
  QString mailbox;         // the mailbox's name (may be empty for kCheck)
  QString path;            // the file or folder the step was about
  FileError error;

  // One line in English, e.g.
  // "mailbox 2 (Sent.box): cannot write /home/a/out/Sent: No space left on
  // device".
  QString Describe() const;
};

}  // namespace quillet

#endif  // QUILLET_CONVERSION_RUN_FAILURE_H_
