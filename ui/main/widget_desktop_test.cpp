// SPDX-License-Identifier: GPL-3.0-or-later
// Qt Test tests of the real file dialog as WidgetDesktop sets it up: the
// filters behave as on the original platform, and the answer comes in the
// forms the window expects. Offscreen; the test itself plays the user.
#include "ui/main/widget_desktop.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/common_dialog.h"
#include "ui/main/haupt.h"
#include "ui/text/qt_translations.h"

namespace quillet {

class WidgetDesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void allFilesFilterListsNamesWithoutADot();
  void boxFilterIgnoresLetterCase();
  void severalChosenFilesComeAsFolderAndNames();
  void oneChosenFileComesAsItsPath();
  void chosenNameWithDoubleQuotesComesThrough();
  void cancelledDialog();
  void folderPickerGivesThePath();
  void typedNamesAllReachTheAnswer_data();
  void typedNamesAllReachTheAnswer();
  void typedNameThatFindsNoFileIsRefusedVisibly();
  void dialogsSpeakTheWindowsLanguage_data();
  void dialogsSpeakTheWindowsLanguage();

 private:
  // Runs `user` on the dialog once it is open, then returns the answer.
  OpenDialogAnswer Open(const QString& filter, const QString& file_name,
                        const std::function<void(QFileDialog*)>& user,
                        const QString& default_ext = QString());
  // Types `text` into the dialog's file-name field as a person does and
  // presses Return; a dialog still open after that is cancelled. Message
  // boxes that come up are closed and their texts kept in `messages`.
  static void TypeAndReturn(QFileDialog* dialog, const QString& text,
                            QStringList* messages);
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
    const std::function<void(QFileDialog*)>& user, const QString& default_ext) {
  OpenDialogSettings settings;
  settings.filter = filter;
  settings.default_ext = default_ext;
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

// Qt reads a choice of several back from the field's text, where a name
// with double quotes breaks the quoting: the dialog stayed open, silent.
void WidgetDesktopTest::chosenNameWithDoubleQuotesComesThrough() {
#ifdef Q_OS_WIN
  QSKIP("Windows names cannot hold double quotes");
#endif
  Touch("Post \"alt\"");
  struct Remove {  // the folder is shared by the other tests
    QString path;
    ~Remove() { QFile::remove(path); }
  } remove{dir_.filePath(QStringLiteral("Post \"alt\""))};
  const OpenDialogAnswer answer = Open(
      QStringLiteral("Mbox-Mailboxen (*.*)|*.*"), dir_.filePath("Inbox"),
      [&](QFileDialog* dialog) {
        QTRY_COMPARE_WITH_TIMEOUT(Listed(dialog).size(), 7, 5000);
        QListView* list =
            dialog->findChild<QListView*>(QStringLiteral("listView"));
        QVERIFY(list != nullptr);
        QAbstractItemModel* model = list->model();
        list->selectionModel()->clearSelection();
        for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
          const QModelIndex index = model->index(row, 0, list->rootIndex());
          const QString text = index.data().toString();
          if (text == QLatin1String("Inbox") ||
              text == QLatin1String("Post \"alt\"")) {
            // The name cell alone, as select-all in the detail view
            // leaves it: Qt then finds no selected row.
            list->selectionModel()->select(index, QItemSelectionModel::Select);
          }
        }
        static_cast<QDialog*>(dialog)->accept();    // the "Open" button
        if (dialog->isVisible()) dialog->reject();  // it would stay open
      });
  QCOMPARE(answer.outcome, DialogOutcome::kChosen);
  QStringList names = answer.file_name.split(QChar(u'\0')).mid(1);
  names.sort();
  QCOMPARE(names, (QStringList{"Inbox", "Post \"alt\""}));
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

void WidgetDesktopTest::TypeAndReturn(QFileDialog* dialog, const QString& text,
                                      QStringList* messages) {
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(edit != nullptr);
  dialog->activateWindow();
  QTRY_VERIFY(dialog->isActiveWindow());
  edit->setFocus();
  QTRY_VERIFY(edit->hasFocus());
  edit->selectAll();
  QTest::keyClicks(edit, text);
  // Let the dialog's queued reactions to the typing run, as between keys.
  QTest::qWait(600);
  auto close_messages = std::make_shared<std::function<void()>>();
  *close_messages = [dialog, messages,
                     again =
                         std::weak_ptr<std::function<void()>>(close_messages)] {
    if (auto* box =
            qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      messages->append(box->text());
      box->reject();
      return;
    }
    if (auto next = again.lock()) QTimer::singleShot(20, dialog, *next);
  };
  QTimer::singleShot(20, dialog, *close_messages);
  QTest::keyClick(edit, Qt::Key_Return);
  if (dialog->isVisible()) dialog->reject();
}

void WidgetDesktopTest::typedNamesAllReachTheAnswer_data() {
  QTest::addColumn<QString>("filter");
  QTest::addColumn<QString>("default_ext");
  QTest::addColumn<QStringList>("files");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QStringList>("answer");  // names, in the order typed
  const QString mbox = QStringLiteral("Mbox-Mailboxen (*.*)|*.*");
  const QString box = QStringLiteral("Foxmail-Mailboxen (*.box)|*.box");
  QTest::newRow("three mailboxes")
      << mbox << QString() << QStringList{"Archiv", "Posteingang", "Gesendet"}
      << "\"Archiv\" \"Posteingang\" \"Gesendet\""
      << QStringList{"Archiv", "Posteingang", "Gesendet"};
  QTest::newRow("two mailboxes")
      << mbox << QString() << QStringList{"A_Inbox", "Leer", "Other"}
      << "\"A_Inbox\" \"Leer\"" << QStringList{"A_Inbox", "Leer"};
  QTest::newRow("one name, other letter case and default extension")
      << box << "box" << QStringList{"Sent.BOX", "x.box"} << "Sent"
      << QStringList{"Sent.BOX"};
  QTest::newRow("several names with the default extension")
      << box << "box" << QStringList{"Sent.BOX", "Inbox.box", "x.box"}
      << "\"x\" \"sent\" \"Inbox.box\""
      << QStringList{"x.box", "Sent.BOX", "Inbox.box"};
}

void WidgetDesktopTest::typedNamesAllReachTheAnswer() {
  QFETCH(QString, filter);
  QFETCH(QString, default_ext);
  QFETCH(QStringList, files);
  QFETCH(QString, typed);
  QFETCH(QStringList, answer);
  QTemporaryDir dir;
  for (const QString& name : files) {
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
  }
  QStringList messages;
  const OpenDialogAnswer result = Open(
      filter, dir.filePath(files.back()),
      [&](QFileDialog* dialog) {
        QTRY_COMPARE_WITH_TIMEOUT(Listed(dialog).size(),
                                  static_cast<int>(files.size()), 5000);
        TypeAndReturn(dialog, typed, &messages);
      },
      default_ext);
  QCOMPARE(messages, QStringList());
  QCOMPARE(result.outcome, DialogOutcome::kChosen);
  const QString expected = answer.size() == 1 ? dir.filePath(answer.front())
                                              : dir.path() + QChar(u'\0') +
                                                    answer.join(QChar(u'\0'));
  QCOMPARE(result.file_name, expected);
}

void WidgetDesktopTest::typedNameThatFindsNoFileIsRefusedVisibly() {
  QStringList messages;
  bool still_open = false;
  const OpenDialogAnswer result = Open(
      QStringLiteral("Mbox-Mailboxen (*.*)|*.*"), dir_.filePath("Inbox"),
      [&](QFileDialog* dialog) {
        QTRY_COMPARE_WITH_TIMEOUT(Listed(dialog).size(), 6, 5000);
        auto* edit =
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit != nullptr);
        // TypeAndReturn cancels a dialog left open; see that it was.
        connect(dialog, &QDialog::rejected, dialog, [&] { still_open = true; });
        TypeAndReturn(dialog, QStringLiteral("\"Inbox\" \"Nowhere\""),
                      &messages);
      });
  QCOMPARE(messages.size(), 1);
  QVERIFY2(messages[0].contains(QLatin1String("Nowhere")),
           qPrintable(messages[0]));
  QVERIFY(still_open);
  QCOMPARE(result.outcome, DialogOutcome::kCancelled);
}

void WidgetDesktopTest::dialogsSpeakTheWindowsLanguage_data() {
  QTest::addColumn<QString>("command");  // "" for none: German from start
  QTest::addColumn<QString>("cancel");
  QTest::addColumn<QString>("look_in");
  QTest::newRow("start") << ""
                         << "Abbrechen"
                         << "Suchen in:";
  QTest::newRow("Français") << "f"
                            << "Annuler"
                            << "Voir dans :";
  QTest::newRow("English") << "e"
                           << "Cancel"
                           << "Look in:";
  QTest::newRow("Deutsch") << "d"
                           << "Abbrechen"
                           << "Suchen in:";
}

void WidgetDesktopTest::dialogsSpeakTheWindowsLanguage() {
  QFETCH(QString, command);
  QFETCH(QString, cancel);
  QFETCH(QString, look_in);
  for (Language language : {Language::kGerman, Language::kFrench}) {
    if (!QFile::exists(QtTranslationsFile(language))) {
      QSKIP(qPrintable(QStringLiteral("Qt's translations are not installed "
                                      "(%1; Debian: qt6-translations-l10n)")
                           .arg(QtTranslationsFile(language))));
    }
  }
  Haupt haupt(desktop_);
  desktop_.SetOwner(&haupt);
  haupt.Form_Load();
  haupt.Show();
  if (!command.isEmpty()) {
    haupt.findChild<QAction*>(command)->trigger();
  }
  // The file dialog and the folder picker, each opened by its button.
  for (const char* button : {"Command1", "Command2"}) {
    QString seen_cancel;
    QString seen_look_in;
    std::function<void()> poll;
    poll = [&] {
      auto* dialog =
          qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr) {
        QTimer::singleShot(10, poll);
        return;
      }
      auto* box = dialog->findChild<QDialogButtonBox*>();
      if (box != nullptr && box->button(QDialogButtonBox::Cancel) != nullptr) {
        seen_cancel = box->button(QDialogButtonBox::Cancel)->text();
      }
      if (auto* label =
              dialog->findChild<QLabel*>(QStringLiteral("lookInLabel"))) {
        seen_look_in = label->text();
      }
      dialog->reject();
    };
    QTimer::singleShot(0, poll);
    QTest::mouseClick(haupt.findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(seen_cancel.remove(QLatin1Char('&')), cancel);
    if (QLatin1String(button) == QLatin1String("Command1")) {
      QCOMPARE(seen_look_in.remove(QLatin1Char('&')), look_in);
    }
  }
  UseQtTranslations(Language::kEnglish);  // the other tests read English
}

}  // namespace quillet

QTEST_MAIN(quillet::WidgetDesktopTest)
#include "widget_desktop_test.moc"
