// SPDX-License-Identifier: GPL-3.0-or-later
// Qt Test tests of the main window Haupt: the About window at start-up, then
// the main window as designed.
#include "ui/main/haupt_test_fixture.h"

namespace quillet {

class HauptStartUpTest : public HauptFixture {
  Q_OBJECT

 private slots:
  void startUpShowsOnlyTheAboutWindow();
  void clickOnAboutShowsTheMainWindowAsDesigned();
  void everyPartOfTheAboutWindowLeadsToTheMainWindow_data();
  void everyPartOfTheAboutWindowLeadsToTheMainWindow();
  void aboutButtonAtStartOpensInstructionsThenMainWindow();
  void closingTheAboutWindowActsAsAClick();
  void escapeOnTheAboutWindowActsAsAClick();
  void minimisingTheAboutWindowActsAsAClick();
  void enterAndSpaceActOnTheFocusedButton_data();
  void enterAndSpaceActOnTheFocusedButton();
  void layoutAsDesigned();
  void tabOrderAsDesigned();
  void aboutCommandBringsTheOneAboutWindowForward();
  void closingTheMainWindowEndsTheProgramAndTakesTheAboutWindow();
};

void HauptStartUpTest::startUpShowsOnlyTheAboutWindow() {
  haupt_->Form_Load();
  FrmSplash* splash = haupt_->LoadedSplash();
  QVERIFY(splash != nullptr);
  QVERIFY(splash->isVisible());
  QVERIFY(!haupt_->isVisible());
  QWidgetList shown;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible()) shown.append(w);
  }
  QCOMPARE(shown.size(), 1);
  QCOMPARE(shown.front(), static_cast<QWidget*>(splash));
  QCOMPARE(splash->Command1->text(), Utf8("Anleitung"));
  QCOMPARE(splash->findChild<QLabel*>("lblVersion")->text(),
           QStringLiteral("Version 0.3.1"));
  QVERIFY(haupt_->Job().MboxToBox);
  UiText german;
  FillUiText(german, Language::kGerman);
  QVERIFY(haupt_->Text() == german);
  QVERIFY(!Button("Command3")->isEnabled());
}

void HauptStartUpTest::clickOnAboutShowsTheMainWindowAsDesigned() {
  haupt_->Form_Load();
  QPointer<FrmSplash> splash = haupt_->LoadedSplash();
  ClickAboutLabel("lblCompany");
  QVERIFY(haupt_->isVisible());
  QVERIFY(haupt_->LoadedSplash() == nullptr);
  QVERIFY(!splash || !splash->isVisible());
  QTRY_VERIFY(splash.isNull());
  QCOMPARE(haupt_->windowTitle(), Utf8("Mbox <-> Rerure Konverter V. 0.3.1"));
  QVERIFY(!Button("Command3")->isEnabled());
  QCOMPARE(GoColour(), ButtonFaceColour());
  QCOMPARE(Picture(), QStringLiteral("picToBox"));
  QLabel* to_box = Find<QLabel>("picToBox");
  QCOMPARE(Button("Command4")->icon().pixmap(QSize(26, 54)).toImage(),
           to_box->pixmap().toImage());
  QVERIFY(!to_box->pixmap().isNull());
  QCOMPARE(Button("Command1")->text(), Utf8("Mbox(en) wählen..."));
  QCOMPARE(Button("Command2")->text(), Utf8("Rerure Ordner wählen..."));
  QVERIFY(Edit("Text1")->text().isEmpty());
  QVERIFY(Edit("Text2")->text().isEmpty());
  QVERIFY(Find<QLabel>("Label1")->text().isEmpty());
  QCOMPARE(Find<QProgressBar>("ProgressBar1")->value(), 0);
  QCOMPARE(Find<QProgressBar>("ProgressBar1")->minimum(), 0);
  QCOMPARE(Find<QProgressBar>("ProgressBar1")->maximum(), 100);
  QVERIFY(Action("d")->isChecked());
  QVERIFY(!Action("e")->isChecked());
  QVERIFY(!Action("f")->isChecked());
  QVERIFY(!Find<QLabel>("picToBox")->isVisible());
  QVERIFY(!Find<QLabel>("picToMbox")->isVisible());
  QCOMPARE(MenuTexts(Menu("s")),
           (QStringList{Utf8("Deutsch"), Utf8("Français"), Utf8("English")}));
  QCOMPARE(MenuTexts(Menu("h")),
           (QStringList{Utf8("Anleitung"), Utf8("Über")}));
  QCOMPARE(Menu("s")->title(), Utf8("Sprache"));
  QCOMPARE(Menu("h")->title(), Utf8("Hilfe"));
  const QList<QAction*> bar = haupt_->menuBar()->actions();
  QCOMPARE(bar.size(), 2);
  QCOMPARE(bar[0], Menu("s")->menuAction());
  QCOMPARE(bar[1], Menu("h")->menuAction());
  QCOMPARE(haupt_->focusWidget(), Button("Command1"));
  QVERIFY(Edit("Text1")->isReadOnly());
  QVERIFY(Edit("Text2")->isReadOnly());
}

void HauptStartUpTest::everyPartOfTheAboutWindowLeadsToTheMainWindow_data() {
  QTest::addColumn<QString>("part");
  for (const char* part :
       {"frmSplash", "Frame1", "imgLogo", "lblCompany", "lblCompanyProduct",
        "lblCopyright", "lblLicenseTo", "lblProductName", "lblVersion"}) {
    QTest::newRow(part) << QString::fromLatin1(part);
  }
}

void HauptStartUpTest::everyPartOfTheAboutWindowLeadsToTheMainWindow() {
  QFETCH(QString, part);
  haupt_->Form_Load();
  QPointer<FrmSplash> splash = haupt_->LoadedSplash();
  QVERIFY(QTest::qWaitForWindowExposed(splash));
  if (part == QLatin1String("frmSplash")) {
    QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(3, 3));  // margin
  } else if (part == QLatin1String("Frame1")) {
    QTest::mouseClick(splash->findChild<QWidget*>(part), Qt::LeftButton, {},
                      QPoint(4, 250));
  } else {
    QTest::mouseClick(splash->findChild<QWidget*>(part), Qt::LeftButton);
  }
  QVERIFY(haupt_->isVisible());
  QVERIFY(haupt_->LoadedSplash() == nullptr);
  QTRY_VERIFY(splash.isNull());
  QVERIFY(desktop_->OpenedDocuments().isEmpty());
}

void HauptStartUpTest::aboutButtonAtStartOpensInstructionsThenMainWindow() {
  haupt_->Form_Load();
  QPointer<FrmSplash> splash = haupt_->LoadedSplash();
  QTest::mouseClick(splash->Command1, Qt::LeftButton);
  QCOMPARE(desktop_->OpenedDocuments(),
           QStringList{QStringLiteral("/opt/quillet program/readme.txt")});
  QVERIFY(haupt_->isVisible());
  QTRY_VERIFY(splash.isNull());
}

void HauptStartUpTest::closingTheAboutWindowActsAsAClick() {
  haupt_->Form_Load();
  QPointer<FrmSplash> splash = haupt_->LoadedSplash();
  QVERIFY(splash->close());
  QVERIFY(haupt_->isVisible());
  QVERIFY(haupt_->LoadedSplash() == nullptr);
  QTRY_VERIFY(splash.isNull());
  QVERIFY(desktop_->OpenedDocuments().isEmpty());
}

void HauptStartUpTest::escapeOnTheAboutWindowActsAsAClick() {
  haupt_->Form_Load();
  QPointer<FrmSplash> splash = haupt_->LoadedSplash();
  QTest::keyClick(splash, Qt::Key_Escape);
  QVERIFY(haupt_->isVisible());
  QTRY_VERIFY(splash.isNull());
  // The focused button answers the space bar as a click on Command1.
  haupt_->u_Click();
  splash = haupt_->LoadedSplash();
  splash->Command1->setFocus();
  QTest::keyClick(splash->Command1, Qt::Key_Space);
  QCOMPARE(desktop_->OpenedDocuments().size(), 1);
  QTRY_VERIFY(splash.isNull());
}

void HauptStartUpTest::minimisingTheAboutWindowActsAsAClick() {
  haupt_->Form_Load();
  QPointer<FrmSplash> splash = haupt_->LoadedSplash();
  QVERIFY(QTest::qWaitForWindowExposed(splash));
  // No caption in the title bar; the task bar's entry (the icon name on
  // X11) bears the program's name.
  QVERIFY(splash->windowTitle().trimmed().isEmpty());
  QCOMPARE(splash->windowIconText(), QStringLiteral("Quillet"));
  splash->setWindowState(Qt::WindowMinimized);
  QVERIFY(haupt_->isVisible());
  QVERIFY(haupt_->LoadedSplash() == nullptr);
  QTRY_VERIFY(splash.isNull());
  QVERIFY(desktop_->OpenedDocuments().isEmpty());
}

void HauptStartUpTest::enterAndSpaceActOnTheFocusedButton_data() {
  QTest::addColumn<int>("key");
  QTest::newRow("Return") << int(Qt::Key_Return);
  QTest::newRow("Enter") << int(Qt::Key_Enter);
  QTest::newRow("Space") << int(Qt::Key_Space);
}

void HauptStartUpTest::enterAndSpaceActOnTheFocusedButton() {
  QFETCH(int, key);
  const auto press = [key](QWidget* button) {
    button->setFocus();
    QTest::keyClick(button, static_cast<Qt::Key>(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
  };
  // The About window's "Anleitung" at start.
  haupt_->Form_Load();
  QPointer<FrmSplash> splash = haupt_->LoadedSplash();
  QVERIFY(QTest::qWaitForWindowActive(splash));
  press(splash->Command1);
  QCOMPARE(desktop_->OpenedDocuments().size(), 1);
  QVERIFY(haupt_->isVisible());
  QTRY_VERIFY(splash.isNull());
  // The main window's direction button and source button.
  QVERIFY(QTest::qWaitForWindowActive(haupt_.get()));
  press(Button("Command4"));
  QVERIFY(!haupt_->Job().MboxToBox);
  desktop_->AnswerOpen(QStringLiteral("/m/a.box"));
  press(Button("Command1"));
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{QStringLiteral("a.box")});
}

void HauptStartUpTest::layoutAsDesigned() {
  Start();
  QWidget* client = haupt_->centralWidget();
  QCOMPARE(client->size(), QSize(617, 127));  // 9255 x 1905 twips
  QCOMPARE(haupt_->minimumSize(), haupt_->maximumSize());
  QCOMPARE(Button("Command1")->geometry(), QRect(43, 14, 141, 22));
  QCOMPARE(Edit("Text1")->geometry(), QRect(196, 14, 344, 22));
  QCOMPARE(Find<QProgressBar>("ProgressBar1")->geometry(),
           QRect(42, 98, 568, 22));
  QCOMPARE(Button("Command3")->geometry(), QRect(553, 14, 57, 57));
  QCOMPARE(Button("Command2")->geometry(), QRect(42, 49, 141, 22));
  QCOMPARE(Edit("Text2")->geometry(), QRect(196, 49, 344, 22));
  QCOMPARE(Find<QLabel>("Label1")->geometry(), QRect(196, 77, 344, 15));
  QCOMPARE(Button("Command4")->geometry(), QRect(7, 14, 29, 57));
  QCOMPARE(Find<QLabel>("picToBox")->geometry(), QRect(7, 77, 29, 15));
  QCOMPARE(Find<QLabel>("picToMbox")->geometry(), QRect(49, 77, 29, 15));
  const QFont go = Button("Command3")->font();
  QCOMPARE(go.family(), QStringLiteral("MS Sans Serif"));
  QCOMPARE(go.pointSizeF(), 9.75);
  QVERIFY(go.bold());
  QVERIFY(haupt_->findChild<CommonDialog*>("CommonDialog1") != nullptr);
}

void HauptStartUpTest::tabOrderAsDesigned() {
  Start();
  const QStringList designed{"Command1", "Text1", "Command3",
                             "Command2", "Text2", "Command4"};
  QStringList order;
  QWidget* w = Button("Command1");
  do {
    if (designed.contains(w->objectName()) &&
        (w->focusPolicy() & Qt::TabFocus)) {
      order.append(w->objectName());
    }
    w = w->nextInFocusChain();
  } while (w != Button("Command1") && order.size() < 20);
  QCOMPARE(order, designed);
}

void HauptStartUpTest::aboutCommandBringsTheOneAboutWindowForward() {
  Start();
  Action("u")->trigger();
  FrmSplash* first = haupt_->LoadedSplash();
  QVERIFY(first != nullptr && first->isVisible());
  QVERIFY(haupt_->isVisible());  // the main window stays shown
  Action("u")->trigger();
  QCOMPARE(haupt_->LoadedSplash(), first);
  int about_windows = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (qobject_cast<FrmSplash*>(w) && w->isVisible()) ++about_windows;
  }
  QCOMPARE(about_windows, 1);
}

void HauptStartUpTest::
    closingTheMainWindowEndsTheProgramAndTakesTheAboutWindow() {
  Start();
  Action("d")->trigger();  // loads the About window hidden
  QPointer<FrmSplash> hidden = haupt_->LoadedSplash();
  QVERIFY(hidden != nullptr && !hidden->isVisible());
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  QVERIFY(haupt_->close());
  QCOMPARE(unloaded.count(), 1);
  QVERIFY(hidden.isNull());
  QVERIFY(!haupt_->isVisible());
}

}  // namespace quillet

QTEST_MAIN(quillet::HauptStartUpTest)
#include "haupt_startup_test.moc"
