// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_TEXT_FAILURE_TEXT_H_
#define QUILLET_UI_TEXT_FAILURE_TEXT_H_

#include <QString>
#include <QStringList>

#include "conversion/run_failure.h"
#include "ui/text/ui_text.h"

namespace quillet {

// The texts of the one message box a failure shows, in German, English and
// French. Kept apart from UiText, whose sixteen fields are those of the
// design; the language is the one whose item bears the check mark.

// A run that stopped: which mailbox, its path, the step, the reason, and
// how many mailboxes were converted before it.
QString RunFailureMessage(Language language, const RunFailure& failure,
                          int converted_before);

// The reason of a failure in the language: the program's own reasons in
// words of that language; the system's that users meet (a full disk, a
// quota, a read-only disk, no permission, an I/O error, a missing file, too
// many open files, a name too long) in words of that language too, and
// any other in the system's own words.
QString ReasonInWords(Language language, const RunFailure& failure);

// The words for one of the program's own reasons; empty for kSystem.
QString OwnReasonWords(Language language, FailureReason reason);

// The status line after a run has stopped: that it stopped, and at which
// mailbox when one was at fault.
QString RunStoppedStatus(Language language, const RunFailure& failure);

// The file-open dialog or the folder picker could not be shown.
QString OpenDialogFailureMessage(Language language, const QString& reason);
QString FolderPickerFailureMessage(Language language, const QString& reason);

// The question before a run whose outputs would replace existing files:
// the first few names, then how many more; and its two buttons.
QString ReplaceQuestion(Language language, const QStringList& existing);
QString ReplaceButtonText(Language language);
QString CancelButtonText(Language language);

// Mailboxes in `folder` whose names are not UTF-8, which the file dialog
// cannot show and the run cannot be given: `names` shown escaped, and how
// to rename them.
QString UndecodableNamesMessage(Language language, const QString& folder,
                                const QStringList& names);

// Why mailboxes from outside (the command line, a drop) were not taken.
enum class OutsideRefusal {
  kFolder,          // a folder among them
  kNotAFile,        // missing, not a regular file, or unreadable
  kSeveralFolders,  // files of more than one folder
  kNoMailbox,       // a file of neither format
  kBothFormats,     // mbox and .box files together
};
// The message, naming `path` (the file at fault).
QString OutsideFilesMessage(Language language, OutsideRefusal why,
                            const QString& path);

}  // namespace quillet

#endif  // QUILLET_UI_TEXT_FAILURE_TEXT_H_
