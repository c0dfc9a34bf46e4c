// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/widget_desktop.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#ifdef Q_OS_WIN
#include "platform/windows/shell_document_opener.h"
#endif
#include "platform/common_dialog.h"
#include "platform/document_opener.h"
#include "platform/open_dialog_rules.h"
#include "ui/text/qt_translations.h"

namespace quillet {
namespace {

// Texts the file dialog adds to Qt's own, in the language Qt's texts speak.
struct OpenDialogTexts {
  const char* ambiguous;  // %1 typed name, %2 the files it could mean
  const char* folders;
};

OpenDialogTexts TextsFor(Language language) {
  switch (language) {
    case Language::kGerman:
      return {
          "%1\nMehrere Dateien tragen diesen Namen in verschiedener "
          "Groß- und Kleinschreibung: %2.\nBitte geben Sie den Namen "
          "genau so an, wie er geschrieben ist.",
          "Die Dateien liegen in verschiedenen Ordnern.\nBitte wählen "
          "Sie Dateien aus einem Ordner."};
    case Language::kFrench:
      return {
          "%1\nPlusieurs fichiers portent ce nom, en majuscules et "
          "minuscules différentes : %2.\nVeuillez donner le nom tel "
          "qu'il est écrit.",
          "Les fichiers se trouvent dans des dossiers différents.\n"
          "Veuillez choisir des fichiers d'un seul dossier."};
    case Language::kEnglish:
      break;
  }
  return {
      "%1\nSeveral files bear this name in different letter case: "
      "%2.\nPlease give the name exactly as it is written.",
      "The files lie in different folders.\nPlease choose files from "
      "one folder."};
}

}  // namespace

QWidget* WidgetDesktop::Owner() const {
  if (owner_ && owner_->isVisible()) return owner_;
  return QApplication::activeWindow();
}

OpenDialogAnswer WidgetDesktop::ShowOpen(const OpenDialogSettings& settings) {
  OpenFileDialog dialog(Owner());
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
  FitToScreen(dialog, Owner());
  if (dialog.exec() != QDialog::Accepted) return answer;  // cancelled
  const QString composed = ComposeOpenAnswer(dialog.ChosenFiles());
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
  FitToScreen(dialog, Owner());
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
                  : icon == MessageIcon::kWarning   ? QMessageBox::Warning
                                                    : QMessageBox::Critical,
                  QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, Owner());
  box.exec();
}

bool WidgetDesktop::Confirm(const QString& text, const QString& accept,
                            const QString& reject) {
  QMessageBox box(QMessageBox::Warning,
                  QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::NoButton, Owner());
  QPushButton* yes = box.addButton(accept, QMessageBox::AcceptRole);
  QPushButton* no = box.addButton(reject, QMessageBox::RejectRole);
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
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

OpenFileDialog::OpenFileDialog(QWidget* parent) : QFileDialog(parent) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  if (QLineEdit* edit = FileNameEdit()) {
    // Both queued, so that they come after the dialog's own handling of
    // the same change, which moves the list's selection.
    connect(
        edit, &QLineEdit::textEdited, this, [this] { edited_ = true; },
        Qt::QueuedConnection);
    connect(edit, &QLineEdit::textChanged, this,
            &OpenFileDialog::FollowTypedNames, Qt::QueuedConnection);
  }
  for (const char* name : {"listView", "treeView"}) {
    if (auto* view = findChild<QAbstractItemView*>(QString::fromLatin1(name))) {
      view->installEventFilter(this);
      view->viewport()->installEventFilter(this);
    }
  }
}

bool OpenFileDialog::eventFilter(QObject* watched, QEvent* event) {
  // A click or a key in the list or the detail view is a choice in the
  // list: from then on the list's selection is the answer. Selections the
  // dialog changes itself (while it fills in sizes and icons, say) are not.
  if (event->type() == QEvent::MouseButtonPress ||
      event->type() == QEvent::MouseButtonDblClick ||
      event->type() == QEvent::KeyPress) {
    edited_ = false;
  }
  return QFileDialog::eventFilter(watched, event);
}

QLineEdit* OpenFileDialog::FileNameEdit() const {
  return findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

QStringList OpenFileDialog::ChosenFiles() const {
  return typed_ ? typed_choice_ : selectedFiles();
}

bool OpenFileDialog::ResolveTypedNames(QStringList* paths, bool refuse) {
  const QLineEdit* edit = FileNameEdit();
  const QStringList names =
      SplitTypedNames(edit != nullptr ? edit->text() : QString());
  const QDir here = directory();
  QString folder;
  for (const QString& typed : names) {
    const QFileInfo info(here, typed.startsWith(QLatin1String("~/"))
                                   ? QDir::homePath() + typed.mid(1)
                                   : typed);
    const QString typed_folder = info.absolutePath();
    const QStringList files =
        QDir(typed_folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    const TypedNameMatch match =
        FindTypedName(info.fileName(), files, defaultSuffix());
    if (match.outcome != TypedNameMatch::kFound) {
      if (!refuse) continue;  // the list shows those that are found
      const QString text =
          match.outcome == TypedNameMatch::kMissing
              // Qt's own words, in Qt's translation.
              ? QFileDialog::tr(
                    "%1\nFile not found.\nPlease verify the "
                    "correct file name was given.")
                    .arg(typed)
              : QString::fromUtf8(TextsFor(QtTextsLanguage()).ambiguous)
                    .arg(typed, match.candidates.join(QStringLiteral(", ")));
      QMessageBox::warning(this, windowTitle(), text);
      return false;
    }
    if (!folder.isEmpty() && typed_folder != folder) {
      if (!refuse) continue;
      QMessageBox::warning(
          this, windowTitle(),
          QString::fromUtf8(TextsFor(QtTextsLanguage()).folders));
      return false;
    }
    folder = typed_folder;
    paths->append(QDir(typed_folder).filePath(match.name));
  }
  return !paths->isEmpty();
}

void OpenFileDialog::accept() {
  typed_ = false;
  typed_choice_.clear();
  const QLineEdit* edit = FileNameEdit();
  const QString text = edit != nullptr ? edit->text() : QString();
  // A choice in the list, or no name: Qt's dialog knows what to do, also
  // with folders (it opens them) and names it cannot find.
  if (!edited_ || text.trimmed().isEmpty()) {
    // Files chosen in the list are taken from the list itself: Qt reads
    // them back from the field's text, where a name that holds a double
    // quote ('Post "alt"') breaks its quoting, and the dialog would stay
    // open without a word.
    const QStringList listed = ListChoice();
    if (!listed.isEmpty()) {
      typed_ = true;
      typed_choice_ = listed;
      QDialog::accept();
      return;
    }
    QFileDialog::accept();
    return;
  }
  const QStringList names = SplitTypedNames(text);
  if (names.size() == 1 && QFileInfo(directory(), names.front()).isDir()) {
    QFileDialog::accept();
    return;
  }
  QStringList paths;
  if (!ResolveTypedNames(&paths, /*refuse=*/true)) return;
  typed_ = true;
  typed_choice_ = paths;
  QDialog::accept();
}

QStringList OpenFileDialog::ListChoice() const {
  // The view shown: the list, or the detail view.
  QAbstractItemView* list = nullptr;
  for (const char* name : {"listView", "treeView"}) {
    auto* view = findChild<QAbstractItemView*>(QString::fromLatin1(name));
    if (view != nullptr && view->isVisible()) list = view;
  }
  auto* proxy = qobject_cast<QSortFilterProxyModel*>(proxyModel());
  auto* files = proxy != nullptr
                    ? qobject_cast<QFileSystemModel*>(proxy->sourceModel())
                    : nullptr;
  if (list == nullptr || files == nullptr ||
      list->selectionModel() == nullptr) {
    return {};
  }
  // By the name column: a row is chosen when its name is, whether or not
  // the list selected its other columns (selectedRows() wants them all).
  QStringList paths;
  for (const QModelIndex& cell : list->selectionModel()->selectedIndexes()) {
    if (cell.column() != 0) continue;
    const QModelIndex index = proxy->mapToSource(cell);
    if (files->isDir(index)) {
      // Select-all also selects the shown folder's own entry.
      if (files->filePath(index) == directory().absolutePath()) continue;
      return {};  // a folder among them is opened, not chosen
    }
    paths.append(files->filePath(index));
  }
  return paths;
}

void OpenFileDialog::FollowTypedNames() {
  // Only after the person typed: a text the dialog wrote for a choice in
  // the list already matches the list.
  const QLineEdit* edit = FileNameEdit();
  auto* list = findChild<QListView*>(QStringLiteral("listView"));
  auto* proxy = qobject_cast<QSortFilterProxyModel*>(proxyModel());
  auto* files = proxy != nullptr
                    ? qobject_cast<QFileSystemModel*>(proxy->sourceModel())
                    : nullptr;
  if (edit == nullptr || !edited_ || list == nullptr || files == nullptr ||
      list->selectionModel() == nullptr) {
    return;
  }
  QStringList paths;
  ResolveTypedNames(&paths, /*refuse=*/false);  // those that are found
  QItemSelection selection;
  for (const QString& path : paths) {
    const QModelIndex index = proxy->mapFromSource(files->index(path));
    if (index.isValid()) selection.select(index, index);
  }
  list->selectionModel()->select(
      selection,
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void FitToScreen(QWidget& dialog, QWidget* owner) {
  QScreen* screen = owner != nullptr ? owner->screen() : nullptr;
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  dialog.ensurePolished();
  if (dialog.layout() != nullptr) dialog.layout()->activate();
  // The window manager's frame, as far as it is known before showing; a
  // frame of a title bar's height is reckoned where nothing is known yet.
  const QRect area = screen->availableGeometry();
  const int frame_height = std::max(
      dialog.frameGeometry().height() - dialog.geometry().height(), 32);
  const int frame_width =
      std::max(dialog.frameGeometry().width() - dialog.geometry().width(), 8);
  const QSize room(area.width() - frame_width, area.height() - frame_height);
  QSize size = dialog.size().isEmpty() ? dialog.sizeHint() : dialog.size();
  size = size.boundedTo(room).expandedTo(dialog.minimumSizeHint());
  dialog.resize(size);
  const QPoint centre = owner != nullptr && owner->isVisible()
                            ? owner->frameGeometry().center()
                            : area.center();
  QRect frame(QPoint(0, 0),
              QSize(size.width() + frame_width, size.height() + frame_height));
  frame.moveCenter(centre);
  frame.moveRight(std::min(frame.right(), area.right()));
  frame.moveBottom(std::min(frame.bottom(), area.bottom()));
  frame.moveLeft(std::max(frame.left(), area.left()));
  frame.moveTop(std::max(frame.top(), area.top()));
  dialog.move(frame.topLeft());
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
