// Qt Test tests of the real file dialog as WidgetDesktop sets it up: the
// filters behave as on the original platform, and the answer comes in the
// forms the window expects. Offscreen; the test itself plays the user.
#include "ui/main/widget_desktop.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/common_dialog.h"

namespace quillet {

class WidgetDesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void allFilesFilterListsNamesWithoutADot();
  void boxFilterIgnoresLetterCase();
  void severalChosenFilesComeAsFolderAndNames();
  void oneChosenFileComesAsItsPath();
  void cancelledDialog();
  void folderPickerGivesThePath();

 private:
  // Runs `user` on the dialog once it is open, then returns the answer.
  OpenDialogAnswer Open(const QString& filter, const QString& file_name,
                        const std::function<void(QFileDialog*)>& user);
  static QStringList Listed(QFileDialog* dialog);
  void Touch(const char* name);

  QTemporaryDir dir_;
  WidgetDesktop desktop_;
};

void WidgetDesktopTest::init() {
  QVERIFY(dir_.isValid());
  for (const char* name :
       {"Inbox", "old.mbx", "a.BOX", "b.box", "c.Box", "d.txt"}) {
    Touch(name);
  }
}

void WidgetDesktopTest::Touch(const char* name) {
  QFile file(dir_.filePath(QString::fromLatin1(name)));
  QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList WidgetDesktopTest::Listed(QFileDialog* dialog) {
  QListView* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
  if (list == nullptr) return {};
  QAbstractItemModel* model = list->model();
  QStringList names;
  const QModelIndex root = list->rootIndex();
  for (int row = 0; row < model->rowCount(root); ++row) {
    names.append(model->index(row, 0, root).data().toString());
  }
  names.sort();
  return names;
}

OpenDialogAnswer WidgetDesktopTest::Open(
    const QString& filter, const QString& file_name,
    const std::function<void(QFileDialog*)>& user) {
  OpenDialogSettings settings;
  settings.filter = filter;
  settings.flags = kCdlOFNExplorer | kCdlOFNAllowMultiselect;
  settings.file_name = file_name;
  bool ran = false;
  std::function<void()> poll;
  poll = [&] {
    auto* dialog =
        qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      QTimer::singleShot(10, poll);
      return;
    }
    ran = true;
    user(dialog);
  };
  QTimer::singleShot(0, poll);
  OpenDialogAnswer answer = desktop_.ShowOpen(settings);
  if (!ran) qWarning("the dialog never opened");
  return answer;
}

void WidgetDesktopTest::allFilesFilterListsNamesWithoutADot() {
  QStringList listed;
  Open(QStringLiteral("Mbox-Mailboxen (*.*)|*.*"), dir_.filePath("Inbox"),
       [&](QFileDialog* dialog) {
         QTRY_COMPARE_WITH_TIMEOUT(Listed(dialog).size(), 6, 5000);
         listed = Listed(dialog);
         QCOMPARE(dialog->selectedNameFilter(),
                  QStringLiteral("Mbox-Mailboxen (*.*)"));
         dialog->reject();
       });
  QCOMPARE(listed, (QStringList{"Inbox", "a.BOX", "b.box", "c.Box", "d.txt",
                                "old.mbx"}));
}

void WidgetDesktopTest::boxFilterIgnoresLetterCase() {
  QStringList listed;
  Open(QStringLiteral("Foxmail-Mailboxen (*.box)|*.box"),
       dir_.filePath("b.box"), [&](QFileDialog* dialog) {
         QTRY_COMPARE_WITH_TIMEOUT(Listed(dialog).size(), 3, 5000);
         listed = Listed(dialog);
         dialog->reject();
       });
  QCOMPARE(listed, (QStringList{"a.BOX", "b.box", "c.Box"}));
}

void WidgetDesktopTest::severalChosenFilesComeAsFolderAndNames() {
  const OpenDialogAnswer answer = Open(
      QStringLiteral("Mbox-Mailboxen (*.*)|*.*"), dir_.filePath("Inbox"),
      [&](QFileDialog* dialog) {
        QTRY_COMPARE_WITH_TIMEOUT(Listed(dialog).size(), 6, 5000);
        // The user picks two entries in the list.
        QListView* list =
            dialog->findChild<QListView*>(QStringLiteral("listView"));
        QVERIFY(list != nullptr);
        QAbstractItemModel* model = list->model();
        list->selectionModel()->clearSelection();
        for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
          const QModelIndex index = model->index(row, 0, list->rootIndex());
          const QString text = index.data().toString();
          if (text == QLatin1String("Inbox") ||
              text == QLatin1String("old.mbx")) {
            list->selectionModel()->select(
                index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
          }
        }
        QCOMPARE(dialog->selectedFiles().size(), 2);
        static_cast<QDialog*>(dialog)->accept();
      });
  QCOMPARE(answer.outcome, DialogOutcome::kChosen);
  const QStringList parts = answer.file_name.split(QChar(u'\0'));
  QCOMPARE(parts.size(), 3);
  QCOMPARE(parts[0], dir_.path());
  QStringList names = parts.mid(1);
  names.sort();
  QCOMPARE(names, (QStringList{"Inbox", "old.mbx"}));
}

void WidgetDesktopTest::oneChosenFileComesAsItsPath() {
  const OpenDialogAnswer answer =
      Open(QStringLiteral("Foxmail-Mailboxen (*.box)|*.box"),
           dir_.filePath("a.BOX"), [&](QFileDialog* dialog) {
             QTRY_COMPARE_WITH_TIMEOUT(Listed(dialog).size(), 3, 5000);
             static_cast<QDialog*>(dialog)->accept();
           });
  QCOMPARE(answer.outcome, DialogOutcome::kChosen);
  QCOMPARE(answer.file_name, dir_.filePath("a.BOX"));
}

void WidgetDesktopTest::cancelledDialog() {
  const OpenDialogAnswer answer = Open(QStringLiteral("A|*.*"), QString(),
                                       [](QFileDialog* d) { d->reject(); });
  QCOMPARE(answer.outcome, DialogOutcome::kCancelled);
  QVERIFY(answer.file_name.isEmpty());
}

void WidgetDesktopTest::folderPickerGivesThePath() {
  QString title;
  QTimer::singleShot(0, [&] {
    std::function<void()> poll;
    poll = [&] {
      auto* dialog =
          qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) {
        QTimer::singleShot(10, poll);
        return;
      }
      title = dialog->windowTitle();
      dialog->setDirectory(dir_.path());
      dialog->selectFile(dir_.path());
      static_cast<QDialog*>(dialog)->accept();
    };
    poll();
  });
  const FolderAnswer answer =
      desktop_.BrowseForFolder(QStringLiteral("Choose a Folder"));
  QCOMPARE(title, QStringLiteral("Choose a Folder"));
  QCOMPARE(answer.outcome, DialogOutcome::kChosen);
  QCOMPARE(answer.path, dir_.path());
}

}  // namespace quillet

QTEST_MAIN(quillet::WidgetDesktopTest)
#include "widget_desktop_test.moc"
