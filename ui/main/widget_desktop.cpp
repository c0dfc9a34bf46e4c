#include "ui/main/widget_desktop.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>

#ifdef Q_OS_WIN
#include "platform/windows/shell_document_opener.h"
#endif
#include "platform/common_dialog.h"
#include "platform/document_opener.h"
#include "platform/open_dialog_rules.h"

namespace quillet {

QWidget* WidgetDesktop::Owner() const {
  if (owner_ && owner_->isVisible()) return owner_;
  return QApplication::activeWindow();
}

OpenDialogAnswer WidgetDesktop::ShowOpen(const OpenDialogSettings& settings) {
  QFileDialog dialog(Owner());
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode((settings.flags & kCdlOFNAllowMultiselect) != 0
                         ? QFileDialog::ExistingFiles
                         : QFileDialog::ExistingFile);
  auto* proxy = new WindowsFilterProxy(&dialog);
  dialog.setProxyModel(proxy);

  const QList<FilterEntry> entries = ParseFilter(settings.filter);
  QStringList texts;
  for (const FilterEntry& entry : entries) texts.append(entry.text);
  if (!texts.isEmpty()) {
    // The shown text as written; the proxy does the matching, so that "*.*"
    // and letter case behave as on the original platform.
    dialog.setNameFilters(texts);
    dialog.selectNameFilter(texts.front());
    proxy->SetPatterns(entries.front().patterns);
  }
  QObject::connect(&dialog, &QFileDialog::filterSelected, proxy,
                   [proxy, entries, texts](const QString& text) {
                     const qsizetype i = texts.indexOf(text);
                     if (i >= 0) proxy->SetPatterns(entries[i].patterns);
                   });
  if (!settings.default_ext.isEmpty()) {
    dialog.setDefaultSuffix(settings.default_ext);
  }
  // The remembered answer is the initial selection.
  const InitialSelection initial = SplitOpenAnswer(settings.file_name);
  if (!initial.folder.isEmpty() && QFileInfo(initial.folder).isDir()) {
    dialog.setDirectory(initial.folder);
  }
  if (initial.names.size() == 1) {
    dialog.selectFile(initial.names.front());
  } else if (initial.names.size() > 1) {
    QStringList quoted;
    for (const QString& name : initial.names) {
      quoted.append(QLatin1Char('"') + name + QLatin1Char('"'));
    }
    dialog.selectFile(quoted.join(QLatin1Char(' ')));
  }

  OpenDialogAnswer answer;
  if (dialog.exec() != QDialog::Accepted) return answer;  // cancelled
  const QString composed = ComposeOpenAnswer(dialog.selectedFiles());
  if (composed.isEmpty()) return answer;
  answer.outcome = DialogOutcome::kChosen;
  answer.file_name = composed;
  return answer;
}

FolderAnswer WidgetDesktop::BrowseForFolder(const QString& prompt) {
  QFileDialog dialog(Owner(), prompt);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setLabelText(QFileDialog::LookIn, prompt);
  FolderAnswer answer;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return answer;
  }
  answer.outcome = DialogOutcome::kChosen;
  answer.path = QDir::cleanPath(dialog.selectedFiles().front());
  return answer;
}

void WidgetDesktop::ShowMessage(const QString& text, MessageIcon icon) {
  // No title of our own: the box bears the application's title.
  QMessageBox box(icon == MessageIcon::kInformation ? QMessageBox::Information
                                                    : QMessageBox::Critical,
                  QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, Owner());
  box.exec();
}

OpenOutcome WidgetDesktop::OpenWithAssociatedProgram(const QString& path) {
#ifdef Q_OS_WIN
  return ShellOpenDocument(path);
#else
  return XdgDocumentOpener(SystemCommandRunner()).Open(path);
#endif
}

void WidgetDesktop::ShowProgramChooser(const QString& path) {
#ifdef Q_OS_WIN
  ShellShowOpenWith(path);
#else
  if (PortalChooseProgram(path)) return;
  ShowOwnProgramChooser(Owner(), path);
#endif
}

QString WidgetDesktop::ProgramFolder() { return RunningProgramFolder(); }

void WindowsFilterProxy::SetPatterns(const QStringList& patterns) {
  patterns_ = patterns.isEmpty() ? QStringList{QStringLiteral("*")} : patterns;
  invalidateFilter();
}

void WindowsFilterProxy::setSourceModel(QAbstractItemModel* model) {
  // The file model would hide (or grey) what its own, case-sensitive and
  // dot-requiring, name filter rejects; let it show everything instead.
  if (auto* files = qobject_cast<QFileSystemModel*>(model)) {
    files->setNameFilterDisables(true);
  }
  QSortFilterProxyModel::setSourceModel(model);
}

bool WindowsFilterProxy::Accepts(const QModelIndex& source_index) const {
  auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
  if (files == nullptr) return true;
  if (files->isDir(source_index)) return true;
  return MatchesAnyPattern(files->fileName(source_index), patterns_);
}

bool WindowsFilterProxy::filterAcceptsRow(int row,
                                          const QModelIndex& parent) const {
  return Accepts(sourceModel()->index(row, 0, parent));
}

Qt::ItemFlags WindowsFilterProxy::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
  if (index.isValid() && Accepts(mapToSource(index.siblingAtColumn(0)))) {
    flags |= Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  }
  return flags;
}

void ShowOwnProgramChooser(QWidget* owner, const QString& path) {
  const QList<DesktopApplication> apps =
      ApplicationsFor(MimeTypeOf(path), ApplicationFolders());
  QStringList items;
  for (const DesktopApplication& app : apps) items.append(app.name);
  bool ok = false;
  const QString label =
      QStringLiteral("%1\n\n%2")
          .arg(QFileInfo(path).fileName(),
               QStringLiteral("Open with / Öffnen mit / Ouvrir avec:"));
  const QString choice = QInputDialog::getItem(
      owner, QGuiApplication::applicationDisplayName(), label, items, 0,
      /*editable=*/true, &ok);
  if (!ok || choice.trimmed().isEmpty()) return;
  const qsizetype index = items.indexOf(choice);
  const QStringList command = index >= 0 ? ExpandExec(apps[index].exec, path)
                                         : ExpandExec(choice.trimmed(), path);
  if (command.isEmpty()) return;
  QProcess::startDetached(command.front(), command.mid(1),
                          QFileInfo(path).absolutePath());
}

}  // namespace quillet
