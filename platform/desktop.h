// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_PLATFORM_DESKTOP_H_
#define QUILLET_PLATFORM_DESKTOP_H_

#include <QString>
#include <QtGlobal>

namespace quillet {

// The settings the window puts on CommonDialog1 before ShowOpen.
struct OpenDialogSettings {
  QString default_ext;  // added to a typed name without extension; "" none
  QString filter;       // "shown text|pattern[|shown text|pattern...]"
  quint32 flags = 0;    // cdlOFN* flags (see common_dialog.h)
  QString file_name;    // the remembered answer: the dialog's initial name
};

// How a dialog or picker closed.
enum class DialogOutcome { kChosen, kCancelled, kFailed };

// The file-open dialog's answer. When `outcome` is kChosen, `file_name` is in
// one of three forms: one full path when one file was chosen, or
// the folder, then each name, neighbours separated by one NUL; the folder
// ends in a separator only when it is the root ("/"). No length limit.
struct OpenDialogAnswer {
  DialogOutcome outcome = DialogOutcome::kCancelled;
  QString file_name;
  QString error;  // kFailed: the system's reason
};

// The folder picker's answer: a path (a trailing separator only for the
// root) when kChosen.
struct FolderAnswer {
  DialogOutcome outcome = DialogOutcome::kCancelled;
  QString path;
  QString error;  // kFailed: the system's reason
};

enum class MessageIcon { kInformation, kWarning, kCritical };

// What opening a document with its associated program came to. Only
// kNoAssociation leads to the chooser of a program; every other failure
// (a missing file among them) passes silently.
enum class OpenOutcome { kOpened, kNoAssociation, kFailed };

// The services of the desktop that the windows use: the file-open dialog,
// the folder picker, the message box and the document opener. The program
// has one implementation with real dialogs (ui/main/widget_desktop.h) and
// tests have a fake (tests/support/fake_desktop.h). Every call runs on the GUI
// thread and, apart from the document opener, returns when the user has
// closed what it showed.
class Desktop {
 public:
  virtual ~Desktop() = default;

  // The multi-select file-open dialog as CommonDialog1 shows it.
  virtual OpenDialogAnswer ShowOpen(const OpenDialogSettings& settings) = 0;

  // The folder picker with `prompt` above the folder tree.
  virtual FolderAnswer BrowseForFolder(const QString& prompt) = 0;

  // A message box with one OK button and the application's title; waits.
  virtual void ShowMessage(const QString& text, MessageIcon icon) = 0;

  // A question with the application's title and two buttons, `accept` and
  // `reject`; `reject` is the default button and Escape (or closing the
  // box) means it. Waits; true only when the user chose `accept`.
  virtual bool Confirm(const QString& text, const QString& accept,
                       const QString& reject) = 0;

  // Opens the document with the program associated with its type, without
  // waiting for that program.
  virtual OpenOutcome OpenWithAssociatedProgram(const QString& path) = 0;

  // Lets the user choose a program for the document (the Open With
  // dialog). Reports nothing.
  virtual void ShowProgramChooser(const QString& path) = 0;

  // The folder that holds the program's executable, without a final
  // separator (except for the root).
  virtual QString ProgramFolder() = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_DESKTOP_H_
