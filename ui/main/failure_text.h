#ifndef QUILLET_UI_MAIN_FAILURE_TEXT_H_
#define QUILLET_UI_MAIN_FAILURE_TEXT_H_

#include <QString>

#include "conversion/conversion_run.h"
#include "ui/text/ui_text.h"

namespace quillet {

// The texts of the one message box a failure shows, in German, English and
// French. Kept apart from UiText, whose sixteen fields are those of the
// design; the language is the one whose item bears the check mark.

// A run that stopped: which mailbox, its path, the step, the system's
// reason, and how many mailboxes were converted before it.
QString RunFailureMessage(Language language, const RunFailure& failure,
                          int converted_before);

// The file-open dialog or the folder picker could not be shown.
QString OpenDialogFailureMessage(Language language, const QString& reason);
QString FolderPickerFailureMessage(Language language, const QString& reason);

}  // namespace quillet

#endif  // QUILLET_UI_MAIN_FAILURE_TEXT_H_
