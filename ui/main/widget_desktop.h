#ifndef QUILLET_UI_MAIN_WIDGET_DESKTOP_H_
#define QUILLET_UI_MAIN_WIDGET_DESKTOP_H_

#include <QPointer>
#include <QSortFilterProxyModel>
#include <QStringList>

#include "platform/desktop.h"

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

// Our own chooser of a program for a document, for desktops without the
// XDG portal: the desktop's applications that open files (those for the
// document's type first), or a command typed in. Starts the choice.
void ShowOwnProgramChooser(QWidget* owner, const QString& path);

}  // namespace quillet

#endif  // QUILLET_UI_MAIN_WIDGET_DESKTOP_H_
