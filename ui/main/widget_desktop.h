// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_MAIN_WIDGET_DESKTOP_H_
#define QUILLET_UI_MAIN_WIDGET_DESKTOP_H_

#include <QFileDialog>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QStringList>

#include "platform/desktop.h"

class QLineEdit;
class QWidget;

namespace quillet {

// The Desktop of the real program: Qt's own file dialogs, QMessageBox, and
// the freedesktop.org document opener with the portal's chooser of a
// program, or a small chooser of our own where no portal runs.
class WidgetDesktop : public Desktop {
 public:
  WidgetDesktop() = default;

  // The window that message boxes and dialogs stand over; may be null.
  void SetOwner(QWidget* owner) { owner_ = owner; }

  OpenDialogAnswer ShowOpen(const OpenDialogSettings& settings) override;
  FolderAnswer BrowseForFolder(const QString& prompt) override;
  void ShowMessage(const QString& text, MessageIcon icon) override;
  bool Confirm(const QString& text, const QString& accept,
               const QString& reject) override;
  OpenOutcome OpenWithAssociatedProgram(const QString& path) override;
  void ShowProgramChooser(const QString& path) override;
  QString ProgramFolder() override;

 private:
  QWidget* Owner() const;
  QPointer<QWidget> owner_;
};

// Lists files in the file dialog as the original platform does: by the
// current filter's patterns, "*.*" listing names without a dot, and
// without regard to letter case. Folders are always listed. Installed as
// the dialog's proxy model; it lets the dialog's own file model show every
// file and decides itself which ones appear.
class WindowsFilterProxy : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  void SetPatterns(const QStringList& patterns);
  void setSourceModel(QAbstractItemModel* model) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

 private:
  bool Accepts(const QModelIndex& source_index) const;
  QStringList patterns_{QStringLiteral("*")};
};

// The file-open dialog of WidgetDesktop: Qt's own widget dialog, whose
// typed answers are read as the original platform reads them. Names typed
// into the file-name field ("a" "b" "c", or one name) are looked up in
// the folder without regard to letter case and with the default extension
// added, and every one of them is in the answer, in the order typed;
// a name that finds no file, or several, refuses the answer with a message
// and keeps the dialog open. The list's selection follows the typed names.
// A choice made in the list after the last typing is taken as Qt's dialog
// takes it.
class OpenFileDialog : public QFileDialog {
  Q_OBJECT

 public:
  explicit OpenFileDialog(QWidget* parent = nullptr);

  // After the dialog was accepted: the chosen files' full paths.
  QStringList ChosenFiles() const;

  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* FileNameEdit() const;
  // The typed names' files (full paths). With `refuse`, stops at the first
  // name that finds no one file, or that lies in another folder than the
  // others, and says so in a message; without, leaves such names out.
  bool ResolveTypedNames(QStringList* paths, bool refuse);
  void FollowTypedNames();
  // The files chosen in the list, full paths; empty when a folder is
  // among them or nothing is chosen.
  QStringList ListChoice() const;

  QStringList typed_choice_;
  bool typed_ = false;
  // The person has typed into the file-name field since the last click or
  // key in the list: the field is the answer.
  bool edited_ = false;
};

// Keeps a dialog within the available area of the screen it opens on:
// shrinks it to fit (never below what its layout needs) and moves it
// inside. Called just before a dialog is shown.
void FitToScreen(QWidget& dialog, QWidget* owner);

// Our own chooser of a program for a document, for desktops without the
// XDG portal: the desktop's applications that open files (those for the
// document's type first), or a command typed in. Starts the choice.
void ShowOwnProgramChooser(QWidget* owner, const QString& path);

}  // namespace quillet

#endif  // QUILLET_UI_MAIN_WIDGET_DESKTOP_H_
