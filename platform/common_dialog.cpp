#include "platform/common_dialog.h"

namespace quillet {

CommonDialog::CommonDialog(Desktop& desktop, QObject* parent)
    : QObject(parent), desktop_(desktop) {}

DialogOutcome CommonDialog::ShowOpen(QString* error) {
  OpenDialogSettings settings;
  settings.default_ext = DefaultExt;
  settings.filter = Filter;
  settings.flags = Flags;
  settings.file_name = FileName;
  OpenDialogAnswer answer = desktop_.ShowOpen(settings);
  switch (answer.outcome) {
    case DialogOutcome::kChosen:
      FileName = answer.file_name;
      break;
    case DialogOutcome::kFailed:
      if (error != nullptr) *error = answer.error;
      break;
    case DialogOutcome::kCancelled:
      break;
  }
  return answer.outcome;
}

}  // namespace quillet
