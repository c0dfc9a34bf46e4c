// SPDX-License-Identifier: GPL-3.0-or-later
// Qt Test test that the real dialogs fit the screen they open on: a
// 1280 x 800 screen (offscreen, from screen_1280x800.json) at the scale
// factor given by QT_SCALE_FACTOR; ctest runs it at 1, 1.5 and 2.
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/main/widget_desktop.h"

namespace quillet {

class DialogFitTest : public QObject {
  Q_OBJECT

 private slots:
  void dialogsFitTheScreen_data();
  void dialogsFitTheScreen();
};

void DialogFitTest::dialogsFitTheScreen_data() {
  QTest::addColumn<int>("which");
  QTest::newRow("file dialog") << 0;
  QTest::newRow("folder picker") << 1;
  QTest::newRow("failure message") << 2;
}

void DialogFitTest::dialogsFitTheScreen() {
  QFETCH(int, which);
  QScreen* screen = QGuiApplication::primaryScreen();
  QVERIFY(screen != nullptr);
  const double scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                           ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                           : 1.0;
  // The screen is the one the test is meant for.
  QCOMPARE(screen->geometry().width(), qRound(1280 / scale));
  QCOMPARE(screen->geometry().height(), qRound(800 / scale));

  QTemporaryDir dir;
  for (const char* name : {"Archiv", "Posteingang", "Gesendet"}) {
    QFile file(dir.filePath(QString::fromLatin1(name)));
    QVERIFY(file.open(QIODevice::WriteOnly));
  }
  WidgetDesktop desktop;
  QRect seen;
  std::function<void()> poll;
  poll = [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) {
      QTimer::singleShot(10, poll);
      return;
    }
    seen = dialog->frameGeometry();
    dialog->reject();
  };
  QTimer::singleShot(0, poll);
  switch (which) {
    case 0: {
      OpenDialogSettings settings;
      settings.filter = QStringLiteral("Mbox-Mailboxen (*.*)|*.*");
      settings.file_name = dir.filePath(QStringLiteral("Archiv"));
      desktop.ShowOpen(settings);
      break;
    }
    case 1:
      desktop.BrowseForFolder(QStringLiteral("Choose a folder:"));
      break;
    default:
      desktop.ShowMessage(QStringLiteral("The conversion has stopped.\n\n"
                                         "Mailbox 2: Gesendet\nPath: %1\n"
                                         "Step: creating the output\n"
                                         "Reason: No space left on device\n\n"
                                         "Converted completely before: 1 "
                                         "mailbox(es).\nMend the cause and "
                                         "click \"Go!\" again.")
                              .arg(dir.filePath(QStringLiteral("Gesendet"))),
                          MessageIcon::kCritical);
      break;
  }
  QVERIFY(seen.isValid());
  const QRect area = screen->availableGeometry();
  QVERIFY2(area.contains(seen),
           qPrintable(QStringLiteral("dialog %1,%2 %3x%4 outside %5x%6")
                          .arg(seen.x())
                          .arg(seen.y())
                          .arg(seen.width())
                          .arg(seen.height())
                          .arg(area.width())
                          .arg(area.height())));
}

}  // namespace quillet

QTEST_MAIN(quillet::DialogFitTest)
#include "dialog_fit_test.moc"
