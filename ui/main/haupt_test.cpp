// SPDX-License-Identifier: GPL-3.0-or-later
// Qt Test tests of the main window Haupt, driven through its real controls
// on the offscreen platform, with the fake platform layer answering every
// dialog. Grouped by handler.
#include "ui/main/haupt.h"

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <memory>

#include "conversion/file_layer.h"
#include "tests/support/failing_output_layer.h"
#include "tests/support/fake_desktop.h"
#include "ui/help/frm_splash.h"
#include "ui/main/progress_binding.h"
#include "ui/text/failure_text.h"

namespace quillet {
namespace {

const QChar kNul(u'\0');
const QByteArray kBoxSeparatorLine =
    QByteArray("\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S\r\n");

QColor ButtonFaceColour() {
  return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

QString Utf8(const char* text) { return QString::fromUtf8(text); }

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  return file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
  return file.readAll();
}

// A file layer that fails to create the output of one mailbox, as a full
// disk does.
testing::FailingOutputLayer LayerFailingToOpen(const QString& failing_name) {
  testing::FailingOutputLayer files(failing_name);
  files.fail_open = true;
  return files;
}

}  // namespace

class HauptTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  // Start-up: the About window, then the main window.
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

  // Command1_Click: choosing source mailboxes.
  void oneFileSetsFoldersAndMakesGoReady();
  void severalFilesAddTheSeparatorToTheFolder();
  void severalFilesInTheRootKeepOneSeparator();
  void oneFileInTheRoot();
  void cancelBeforeAnySelectionChangesNothing();
  void cancelAfterASelectionAppliesTheLastAnswerAgain();
  void targetChosenFirstIsKept();
  void defaultedTargetStaysWithSourcesFromElsewhere();
  void newSelectionReplacesTheOldList();
  void selectionLongerThan260CharactersIsTaken();
  void failingFileDialogShowsOneMessageAndKeepsTheJob();

  // Command2_Click: choosing the target folder.
  void targetBeforeSourcesLeavesGoAlone();
  void targetInTheRootGetsNoSecondSeparator();
  void cancelledPickerKeepsTheTarget();
  void targetAfterSourcesMakesGoReady();
  void targetRightAfterADirectionSwitchLeavesGoAlone();
  void failingFolderPickerShowsOneMessage();

  // Command4_Click: switching the direction.
  void switchRightAfterStart();
  void twoSwitchesBringTheDirectionBackButNotTheSelection();
  void switchAfterASelectionKeepsOnlyTheTarget();
  void dialogFilterAndDefaultExtensionFollowTheDirection();

  // d_Click, e_Click, f_Click: the language commands.
  void englishRelabelsTheWindow();
  void frenchInTheBoxToMboxDirection();
  void germanFirstChangesOnlyTheTitle();
  void languageLeavesTheJobAndTheBoxesAlone();
  void switchAfterALanguageUsesThatLanguage();
  void laterDialogsAndPickerFollowTheLanguage();
  void exactlyOneCheckMark();
  void germanRelabelsTheOpenAboutWindowOthersDoNot();
  void germanLoadsTheAboutWindowHidden();
  void englishAloneLeavesTheAboutWindowToItsLoad();

  // a_Click: the instructions.
  void instructionsOpenTheProgramFoldersReadme();
  void noAssociationLeadsToTheChooser();
  void missingInstructionsStaySilent();

  // Command3_Click: the run, and the reporter binding.
  void wholeRunMboxToBoxWritesTheExpectedBytesAndEnds();
  void wholeRunInEnglishEndsWithTheEnglishMessage();
  void boxToMboxRunRewritesTheSeparators();
  void runWithARemovedTargetShowsTheMessageAndStaysOpen();
  void runWithATargetThatIsAFileShowsTheMessage();
  void failureNamesHowManyWereConvertedBefore();
  void ownReasonsAreInTheWindowsLanguage_data();
  void ownReasonsAreInTheWindowsLanguage();
  void everyOwnReasonHasWordsInEveryLanguage();
  void failedRunSaysItStoppedAndKeepsTheBarWhereItStopped();
  void replacingIsAskedFirstAndCancelWritesNothing();
  void wrongFormatIsRefusedNamingTheOtherDirection();
  void stoppedStatusFollowsTheLanguage();
  void undecodableNamesInTheFolderAreNamed();
  void systemReasonsUsersMeetAreInEveryLanguage();
  void filesFromTheCommandLineAndADropFillTheJob();
  void filesFromOutsideOfMixedKindsAreRefused();
  void closeDuringARunIsRefused();
  void repaintsAreThrottled();
  void progressBarCopesWithEverySize();
  void barShowsWhereTheFailingMailboxStopped();
  void statusLineIsBuiltWhenShown();

 private:
  template <typename T>
  T* Find(const char* name) {
    T* child = haupt_->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no control named %s", name);
    return child;
  }
  QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QAction* Action(const char* name) { return Find<QAction>(name); }
  QMenu* Menu(const char* name) { return Find<QMenu>(name); }
  QColor GoColour() {
    return Button("Command3")->palette().color(QPalette::Button);
  }
  void Click(const char* name) {
    QTest::mouseClick(Button(name), Qt::LeftButton);
  }
  void ClickAboutLabel(const char* name);
  void Start();  // load, then click the About window
  QString Picture() {
    return Button("Command4")->property("picture").toString();
  }
  QStringList MenuTexts(QMenu* menu);

  std::unique_ptr<FakeDesktop> desktop_;
  std::unique_ptr<Haupt> haupt_;
};

void HauptTest::initTestCase() {
  // The offscreen platform cannot raise windows and says so each time.
  static QtMessageHandler previous = nullptr;
  previous = qInstallMessageHandler([](QtMsgType type,
                                       const QMessageLogContext& context,
                                       const QString& text) {
    if (text.contains(QLatin1String("does not support raise()"))) return;
    previous(type, context, text);
  });
  // Tests look at the end of the program through Haupt::Unloaded.
  QApplication::setQuitOnLastWindowClosed(false);
}

void HauptTest::init() {
  desktop_ = std::make_unique<FakeDesktop>();
  desktop_->SetProgramFolder(QStringLiteral("/opt/quillet program"));
  haupt_ = std::make_unique<Haupt>(*desktop_);
}

void HauptTest::cleanup() {
  haupt_.reset();
  desktop_.reset();
}

void HauptTest::ClickAboutLabel(const char* name) {
  FrmSplash* splash = haupt_->LoadedSplash();
  QVERIFY(splash != nullptr);
  QWidget* part = splash->findChild<QWidget*>(QString::fromLatin1(name));
  QVERIFY2(part != nullptr, name);
  QTest::mouseClick(part, Qt::LeftButton);
}

void HauptTest::Start() {
  haupt_->Form_Load();
  QVERIFY(haupt_->LoadedSplash() != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(haupt_->LoadedSplash()));
  ClickAboutLabel("lblProductName");
  QVERIFY(haupt_->isVisible());
  QVERIFY(QTest::qWaitForWindowExposed(haupt_.get()));
}

QStringList HauptTest::MenuTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions()) texts.append(action->text());
  return texts;
}

// ---------------------------------------------------------------- start-up

void HauptTest::startUpShowsOnlyTheAboutWindow() {
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

void HauptTest::clickOnAboutShowsTheMainWindowAsDesigned() {
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

void HauptTest::everyPartOfTheAboutWindowLeadsToTheMainWindow_data() {
  QTest::addColumn<QString>("part");
  for (const char* part :
       {"frmSplash", "Frame1", "imgLogo", "lblCompany", "lblCompanyProduct",
        "lblCopyright", "lblLicenseTo", "lblProductName", "lblVersion"}) {
    QTest::newRow(part) << QString::fromLatin1(part);
  }
}

void HauptTest::everyPartOfTheAboutWindowLeadsToTheMainWindow() {
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

void HauptTest::aboutButtonAtStartOpensInstructionsThenMainWindow() {
  haupt_->Form_Load();
  QPointer<FrmSplash> splash = haupt_->LoadedSplash();
  QTest::mouseClick(splash->Command1, Qt::LeftButton);
  QCOMPARE(desktop_->OpenedDocuments(),
           QStringList{QStringLiteral("/opt/quillet program/readme.txt")});
  QVERIFY(haupt_->isVisible());
  QTRY_VERIFY(splash.isNull());
}

void HauptTest::closingTheAboutWindowActsAsAClick() {
  haupt_->Form_Load();
  QPointer<FrmSplash> splash = haupt_->LoadedSplash();
  QVERIFY(splash->close());
  QVERIFY(haupt_->isVisible());
  QVERIFY(haupt_->LoadedSplash() == nullptr);
  QTRY_VERIFY(splash.isNull());
  QVERIFY(desktop_->OpenedDocuments().isEmpty());
}

void HauptTest::escapeOnTheAboutWindowActsAsAClick() {
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

void HauptTest::minimisingTheAboutWindowActsAsAClick() {
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

void HauptTest::enterAndSpaceActOnTheFocusedButton_data() {
  QTest::addColumn<int>("key");
  QTest::newRow("Return") << int(Qt::Key_Return);
  QTest::newRow("Enter") << int(Qt::Key_Enter);
  QTest::newRow("Space") << int(Qt::Key_Space);
}

void HauptTest::enterAndSpaceActOnTheFocusedButton() {
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

void HauptTest::layoutAsDesigned() {
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

void HauptTest::tabOrderAsDesigned() {
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

void HauptTest::aboutCommandBringsTheOneAboutWindowForward() {
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

void HauptTest::closingTheMainWindowEndsTheProgramAndTakesTheAboutWindow() {
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

// ------------------------------------------------------- Command1_Click

void HauptTest::oneFileSetsFoldersAndMakesGoReady() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/mail/inbox"));
  Click("Command1");
  QCOMPARE(desktop_->OpenRequests().size(), 1);
  const OpenDialogSettings& asked = desktop_->OpenRequests()[0];
  QCOMPARE(asked.default_ext, QString());
  QCOMPARE(asked.filter, Utf8("Mbox-Mailboxen (*.*)|*.*"));
  QCOMPARE(asked.flags, 524800u);
  QCOMPARE(asked.file_name, QString());
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{QStringLiteral("inbox")});
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/mail/"));
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/mail/"));
  QCOMPARE(Edit("Text1")->text(), QStringLiteral("/mail/inbox"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/mail/"));
  QVERIFY(Button("Command3")->isEnabled());
  QCOMPARE(GoColour(), QColor(255, 192, 192));
  QCOMPARE(haupt_->focusWidget(), Button("Command3"));
  // The face shows the colour itself, flat, not a style's gradient of it.
  const QImage face = Button("Command3")->grab().toImage();
  QCOMPARE(face.pixelColor(6, 6), QColor(255, 192, 192));
  QCOMPARE(face.pixelColor(6, face.height() - 7), QColor(255, 192, 192));
}

void HauptTest::severalFilesAddTheSeparatorToTheFolder() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/mail") + kNul + "a" + kNul + "b");
  Click("Command1");
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/mail/"));
  QCOMPARE(haupt_->Job().MailboxFiles,
           (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
  QCOMPARE(Edit("Text1")->text(), QStringLiteral("/mail/"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/mail/"));
}

void HauptTest::severalFilesInTheRootKeepOneSeparator() {
  Start();
  desktop_->AnswerOpenFiles({QStringLiteral("/a"), QStringLiteral("/b")});
  Click("Command1");
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/"));
  QCOMPARE(haupt_->Job().MailboxFiles,
           (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
  QCOMPARE(Edit("Text1")->text(), QStringLiteral("/"));
}

void HauptTest::oneFileInTheRoot() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/x"));
  Click("Command1");
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/"));
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{QStringLiteral("x")});
  QCOMPARE(Edit("Text1")->text(), QStringLiteral("/x"));
}

void HauptTest::cancelBeforeAnySelectionChangesNothing() {
  Start();
  desktop_->CancelOpen();
  Click("Command1");
  QCOMPARE(desktop_->OpenRequests().size(), 1);
  QVERIFY(haupt_->Job().MailboxFiles.isEmpty());
  QVERIFY(haupt_->Job().SourceFolder.isEmpty());
  QVERIFY(haupt_->Job().TargetFolder.isEmpty());
  QVERIFY(Edit("Text1")->text().isEmpty());
  QVERIFY(!Button("Command3")->isEnabled());
  QCOMPARE(GoColour(), ButtonFaceColour());
  QVERIFY(desktop_->Messages().isEmpty());
}

void HauptTest::cancelAfterASelectionAppliesTheLastAnswerAgain() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/m") + kNul + "a" + kNul + "b");
  Click("Command1");
  desktop_->AnswerFolder(QStringLiteral("/out"));
  Click("Command2");
  Button("Command1")->setFocus();
  const ConversionJob before = haupt_->Job();
  desktop_->CancelOpen();
  Click("Command1");
  QCOMPARE(desktop_->OpenRequests().last().file_name,
           QStringLiteral("/m") + kNul + "a" + kNul + "b");
  QCOMPARE(haupt_->Job().MailboxFiles, before.MailboxFiles);
  QCOMPARE(haupt_->Job().SourceFolder, before.SourceFolder);
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/out/"));
  QCOMPARE(Edit("Text1")->text(), QStringLiteral("/m/"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/out/"));
  QCOMPARE(haupt_->focusWidget(), Button("Command3"));
}

void HauptTest::targetChosenFirstIsKept() {
  Start();
  desktop_->AnswerFolder(QStringLiteral("/d/Out"));
  Click("Command2");
  desktop_->AnswerOpen(QStringLiteral("/c/Mail/inbox"));
  Click("Command1");
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/d/Out/"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/d/Out/"));
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/c/Mail/"));
}

void HauptTest::defaultedTargetStaysWithSourcesFromElsewhere() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/A/x"));
  Click("Command1");
  desktop_->AnswerOpen(QStringLiteral("/B/y"));
  Click("Command1");
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/B/"));
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/A/"));
}

void HauptTest::newSelectionReplacesTheOldList() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/m") + kNul + "1" + kNul + "2" + kNul +
                       "3" + kNul + "4" + kNul + "5");
  Click("Command1");
  QCOMPARE(haupt_->Job().MailboxFiles.size(), 5);
  desktop_->AnswerOpen(QStringLiteral("/m/6"));
  Click("Command1");
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{QStringLiteral("6")});
  QCOMPARE(Edit("Text1")->text(), QStringLiteral("/m/6"));
}

void HauptTest::selectionLongerThan260CharactersIsTaken() {
  Start();
  QStringList paths;
  for (int i = 0; i < 40; ++i) {
    paths.append(
        QStringLiteral("/archive/2024/mail/mailbox-with-a-long-name-%1")
            .arg(i));
  }
  desktop_->AnswerOpenFiles(paths);
  Click("Command1");
  QCOMPARE(haupt_->Job().MailboxFiles.size(), 40);
  QCOMPARE(haupt_->Job().MailboxFiles.last(),
           QStringLiteral("mailbox-with-a-long-name-39"));
  QVERIFY(desktop_->Messages().isEmpty());
}

void HauptTest::failingFileDialogShowsOneMessageAndKeepsTheJob() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/m/in"));
  Click("Command1");
  desktop_->FailOpen(QStringLiteral("the display went away"));
  Click("Command1");
  QCOMPARE(desktop_->Messages().size(), 1);
  QCOMPARE(desktop_->Messages()[0].icon, MessageIcon::kCritical);
  QVERIFY(desktop_->Messages()[0].text.contains(
      QStringLiteral("the display went away")));
  QVERIFY(desktop_->Messages()[0].text.contains(Utf8("Dateiauswahldialog")));
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{QStringLiteral("in")});
  QVERIFY(haupt_->isVisible());
  QVERIFY(Button("Command3")->isEnabled());
}

// ------------------------------------------------------- Command2_Click

void HauptTest::targetBeforeSourcesLeavesGoAlone() {
  Start();
  desktop_->AnswerFolder(QStringLiteral("/d/Out"));
  Click("Command2");
  QCOMPARE(desktop_->FolderPrompts(),
           QStringList{Utf8("Wählen Sie einen Ordner aus:")});
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/d/Out/"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/d/Out/"));
  QVERIFY(!Button("Command3")->isEnabled());
  QCOMPARE(GoColour(), ButtonFaceColour());
  QVERIFY(haupt_->focusWidget() != Button("Command3"));
}

void HauptTest::targetInTheRootGetsNoSecondSeparator() {
  Start();
  desktop_->AnswerFolder(QStringLiteral("/"));
  Click("Command2");
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/"));
}

void HauptTest::cancelledPickerKeepsTheTarget() {
  Start();
  desktop_->CancelFolder();
  Click("Command2");
  QVERIFY(haupt_->Job().TargetFolder.isEmpty());
  QVERIFY(Edit("Text2")->text().isEmpty());
  desktop_->AnswerFolder(QStringLiteral("/d/Out"));
  Click("Command2");
  desktop_->CancelFolder();
  Click("Command2");
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/d/Out/"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/d/Out/"));
}

void HauptTest::targetAfterSourcesMakesGoReady() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/c/Mail/inbox"));
  Click("Command1");
  Button("Command1")->setFocus();
  desktop_->AnswerFolder(QStringLiteral("/d/Out"));
  Click("Command2");
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/d/Out/"));
  QVERIFY(Button("Command3")->isEnabled());
  QCOMPARE(GoColour(), QColor(255, 192, 192));
  QCOMPARE(haupt_->focusWidget(), Button("Command3"));
}

void HauptTest::targetRightAfterADirectionSwitchLeavesGoAlone() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/c/Mail/inbox"));
  Click("Command1");
  Click("Command4");
  desktop_->AnswerFolder(QStringLiteral("/d/Out"));
  Click("Command2");
  QVERIFY(!Button("Command3")->isEnabled());
  QCOMPARE(GoColour(), ButtonFaceColour());
  QVERIFY(haupt_->focusWidget() != Button("Command3"));
}

void HauptTest::failingFolderPickerShowsOneMessage() {
  Start();
  desktop_->AnswerFolder(QStringLiteral("/d/Out"));
  Click("Command2");
  desktop_->FailFolder(QStringLiteral("no shell"));
  Click("Command2");
  QCOMPARE(desktop_->Messages().size(), 1);
  QVERIFY(desktop_->Messages()[0].text.contains(QStringLiteral("no shell")));
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/d/Out/"));
  QVERIFY(haupt_->isVisible());
}

// ------------------------------------------------------- Command4_Click

void HauptTest::switchRightAfterStart() {
  Start();
  Click("Command4");
  QVERIFY(!haupt_->Job().MboxToBox);
  QCOMPARE(Picture(), QStringLiteral("picToMbox"));
  QCOMPARE(Button("Command4")->icon().pixmap(QSize(26, 54)).toImage(),
           Find<QLabel>("picToMbox")->pixmap().toImage());
  QCOMPARE(Button("Command1")->text(), Utf8("Rerure(en) wählen..."));
  QCOMPARE(Button("Command2")->text(), Utf8("Mbox Ordner wählen..."));
  QVERIFY(!Find<QLabel>("picToMbox")->isVisible());
}

void HauptTest::twoSwitchesBringTheDirectionBackButNotTheSelection() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/m") + kNul + "a" + kNul + "b");
  Click("Command1");
  Click("Command4");
  Click("Command4");
  QVERIFY(haupt_->Job().MboxToBox);
  QCOMPARE(Picture(), QStringLiteral("picToBox"));
  QCOMPARE(Button("Command1")->text(), Utf8("Mbox(en) wählen..."));
  QCOMPARE(Button("Command2")->text(), Utf8("Rerure Ordner wählen..."));
  QVERIFY(haupt_->Job().MailboxFiles.isEmpty());
  QVERIFY(haupt_->Job().SourceFolder.isEmpty());
  QVERIFY(!Button("Command3")->isEnabled());
}

void HauptTest::switchAfterASelectionKeepsOnlyTheTarget() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/m/a"));
  Click("Command1");
  desktop_->AnswerFolder(QStringLiteral("/out"));
  Click("Command2");
  Click("Command4");
  QVERIFY(Edit("Text1")->text().isEmpty());
  QVERIFY(!Button("Command3")->isEnabled());
  QCOMPARE(GoColour(), ButtonFaceColour());
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/out/"));
  QVERIFY(haupt_->Dialog().FileName.isEmpty());
  // The next dialog opens without an initial name; cancelling changes nothing.
  desktop_->CancelOpen();
  Click("Command1");
  QCOMPARE(desktop_->OpenRequests().last().file_name, QString());
  QVERIFY(haupt_->Job().SourceFolder.isEmpty());
  QVERIFY(!Button("Command3")->isEnabled());
  // A new selection keeps the target.
  desktop_->AnswerOpen(QStringLiteral("/n/b.box"));
  Click("Command1");
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/out/"));
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{QStringLiteral("b.box")});
}

void HauptTest::dialogFilterAndDefaultExtensionFollowTheDirection() {
  Start();
  Click("Command4");
  Click("Command1");
  QCOMPARE(desktop_->OpenRequests().last().filter,
           Utf8("Foxmail-Mailboxen (*.box)|*.box"));
  QCOMPARE(desktop_->OpenRequests().last().default_ext, QStringLiteral("box"));
  Click("Command4");
  Click("Command1");
  QCOMPARE(desktop_->OpenRequests().last().filter,
           Utf8("Mbox-Mailboxen (*.*)|*.*"));
  QCOMPARE(desktop_->OpenRequests().last().default_ext, QString());
}

// -------------------------------------------------- language commands

void HauptTest::englishRelabelsTheWindow() {
  Start();
  Action("e")->trigger();
  QCOMPARE(haupt_->windowTitle(),
           Utf8("Mbox <-> Foxmail .BOX Converter V.0.3.1"));
  QCOMPARE(Menu("s")->title(), Utf8("Language"));
  QCOMPARE(Menu("h")->title(), Utf8("Help"));
  QCOMPARE(MenuTexts(Menu("h")),
           (QStringList{Utf8("Instructions"), Utf8("About")}));
  QCOMPARE(MenuTexts(Menu("s")),
           (QStringList{Utf8("Deutsch"), Utf8("Français"), Utf8("English")}));
  QCOMPARE(Button("Command1")->text(), Utf8("Mbox file(s)..."));
  QCOMPARE(Button("Command2")->text(), Utf8("Save .BOX file(s) in..."));
  QVERIFY(!Action("d")->isChecked());
  QVERIFY(Action("e")->isChecked());
  QVERIFY(!Action("f")->isChecked());
  QCOMPARE(Button("Command3")->text(), QStringLiteral("Go!"));
}

void HauptTest::frenchInTheBoxToMboxDirection() {
  Start();
  Click("Command4");
  Action("f")->trigger();
  QCOMPARE(haupt_->windowTitle(),
           Utf8("Convertisseur mbox <-> Foxmail .BOX V.0.3.1"));
  QCOMPARE(Button("Command1")->text(), Utf8("Fichier(s) .BOX..."));
  QCOMPARE(Button("Command2")->text(), Utf8("Créer le(s) mbox dans..."));
  QCOMPARE(Menu("s")->title(), Utf8("Langage"));
  QCOMPARE(Menu("h")->title(), Utf8("Aide"));
  QCOMPARE(MenuTexts(Menu("h")),
           (QStringList{Utf8("Instruction"), Utf8("par...")}));
  QVERIFY(Action("f")->isChecked());
  // And back to mbox to .BOX in French.
  Click("Command4");
  QCOMPARE(Button("Command1")->text(), Utf8("Fichier(s) mbox..."));
  QCOMPARE(Button("Command2")->text(), Utf8("Créer le(s) .BOX dans..."));
}

void HauptTest::germanFirstChangesOnlyTheTitle() {
  Start();
  Action("d")->trigger();
  QCOMPARE(haupt_->windowTitle(), Utf8("Mbox<-> Rerure Konverter V.0.3.1"));
  QCOMPARE(Button("Command1")->text(), Utf8("Mbox(en) wählen..."));
  QCOMPARE(Button("Command2")->text(), Utf8("Rerure Ordner wählen..."));
  QCOMPARE(Menu("s")->title(), Utf8("Sprache"));
  QCOMPARE(MenuTexts(Menu("h")),
           (QStringList{Utf8("Anleitung"), Utf8("Über")}));
  QVERIFY(Action("d")->isChecked());
}

void HauptTest::languageLeavesTheJobAndTheBoxesAlone() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/m") + kNul + "a" + kNul + "b");
  Click("Command1");
  desktop_->AnswerFolder(QStringLiteral("/out"));
  Click("Command2");
  const ConversionJob before = haupt_->Job();
  for (const char* item : {"e", "f", "d"}) {
    Action(item)->trigger();
    QCOMPARE(haupt_->Job().MailboxFiles, before.MailboxFiles);
    QCOMPARE(haupt_->Job().SourceFolder, before.SourceFolder);
    QCOMPARE(haupt_->Job().TargetFolder, before.TargetFolder);
    QCOMPARE(haupt_->Job().MboxToBox, before.MboxToBox);
    QCOMPARE(Edit("Text1")->text(), QStringLiteral("/m/"));
    QCOMPARE(Edit("Text2")->text(), QStringLiteral("/out/"));
    QVERIFY(Button("Command3")->isEnabled());
    QCOMPARE(GoColour(), QColor(255, 192, 192));
    QVERIFY(Find<QLabel>("Label1")->text().isEmpty());
  }
}

void HauptTest::switchAfterALanguageUsesThatLanguage() {
  Start();
  Action("e")->trigger();
  Click("Command4");
  QCOMPARE(Button("Command1")->text(), Utf8("Foxmail .BOX file(s)..."));
  QCOMPARE(Button("Command2")->text(), Utf8("Save Mbox file(s) in..."));
}

void HauptTest::laterDialogsAndPickerFollowTheLanguage() {
  Start();
  Action("e")->trigger();
  Click("Command1");
  QCOMPARE(desktop_->OpenRequests().last().filter,
           Utf8("Mbox-Mailboxes (*.*)|*.*"));
  Click("Command4");
  Click("Command1");
  QCOMPARE(desktop_->OpenRequests().last().filter,
           Utf8("Foxmail-Mailboxes (*.box)|*.box"));
  Action("f")->trigger();
  Click("Command2");
  QCOMPARE(desktop_->FolderPrompts().last(),
           Utf8("Choisissez le dossier de destination:"));
  Click("Command1");
  QCOMPARE(desktop_->OpenRequests().last().filter,
           Utf8("Boîte aux lettres Foxmail (*.BOX)|*.BOX"));
}

void HauptTest::exactlyOneCheckMark() {
  Start();
  for (const char* item : {"e", "e", "f", "d", "d", "f", "e"}) {
    Action(item)->trigger();
    int checked = 0;
    for (const char* name : {"d", "e", "f"})
      checked += Action(name)->isChecked();
    QCOMPARE(checked, 1);
    QVERIFY(Action(item)->isChecked());
  }
}

void HauptTest::germanRelabelsTheOpenAboutWindowOthersDoNot() {
  Start();
  Action("e")->trigger();
  Action("u")->trigger();  // loaded afresh: the English caption
  FrmSplash* splash = haupt_->LoadedSplash();
  QCOMPARE(splash->Command1->text(), Utf8("Instructions"));
  Action("f")->trigger();
  QCOMPARE(splash->Command1->text(), Utf8("Instructions"));
  Action("d")->trigger();
  QCOMPARE(haupt_->LoadedSplash(), splash);
  QCOMPARE(splash->Command1->text(), Utf8("Anleitung"));
  Action("e")->trigger();
  QCOMPARE(splash->Command1->text(), Utf8("Anleitung"));
  QVERIFY(splash->isVisible());
}

void HauptTest::germanLoadsTheAboutWindowHidden() {
  Start();
  QVERIFY(haupt_->LoadedSplash() == nullptr);
  Action("d")->trigger();
  FrmSplash* hidden = haupt_->LoadedSplash();
  QVERIFY(hidden != nullptr);
  QVERIFY(!hidden->isVisible());
  Action("e")->trigger();
  Action("u")->trigger();
  QCOMPARE(haupt_->LoadedSplash(), hidden);
  QVERIFY(hidden->isVisible());
  QCOMPARE(hidden->Command1->text(), Utf8("Anleitung"));
  QCOMPARE(hidden->findChild<QLabel*>("lblVersion")->text(),
           QStringLiteral("Version 0.3.1"));
}

void HauptTest::englishAloneLeavesTheAboutWindowToItsLoad() {
  Start();
  Action("e")->trigger();
  QVERIFY(haupt_->LoadedSplash() == nullptr);
  Action("u")->trigger();
  QCOMPARE(haupt_->LoadedSplash()->Command1->text(), Utf8("Instructions"));
  QCOMPARE(haupt_->LoadedSplash()->findChild<QLabel*>("lblProductName")->text(),
           QStringLiteral("Quillet"));
}

// ------------------------------------------------------------ a_Click

void HauptTest::instructionsOpenTheProgramFoldersReadme() {
  Start();
  const QString title = haupt_->windowTitle();
  Action("a")->trigger();
  QCOMPARE(desktop_->OpenedDocuments(),
           QStringList{QStringLiteral("/opt/quillet program/readme.txt")});
  QVERIFY(desktop_->ChooserDocuments().isEmpty());
  QVERIFY(desktop_->Messages().isEmpty());
  QVERIFY(haupt_->isVisible());
  QCOMPARE(haupt_->windowTitle(), title);
}

void HauptTest::noAssociationLeadsToTheChooser() {
  Start();
  desktop_->SetOpenOutcome(OpenOutcome::kNoAssociation);
  Action("a")->trigger();
  QCOMPARE(desktop_->ChooserDocuments(),
           QStringList{QStringLiteral("/opt/quillet program/readme.txt")});
  QVERIFY(desktop_->Messages().isEmpty());
}

void HauptTest::missingInstructionsStaySilent() {
  Start();
  desktop_->SetOpenOutcome(OpenOutcome::kFailed);  // as for a missing file
  Action("a")->trigger();
  QCOMPARE(desktop_->OpenedDocuments().size(), 1);
  QVERIFY(desktop_->ChooserDocuments().isEmpty());
  QVERIFY(desktop_->Messages().isEmpty());
  QVERIFY(haupt_->isVisible());
}

// ------------------------------------------------------- Command3_Click

void HauptTest::wholeRunMboxToBoxWritesTheExpectedBytesAndEnds() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString folder = dir.path() + QLatin1Char('/');
  const QByteArray first =
      "From alice@example.org Mon Jan  1 09:00:00 2024\r\n"
      "Subject: one\r\n"
      "\r\n"
      "body line\r\n"
      ">From quoted, unquoted\r\n"
      "From bob@example.org Tue Jan  2 10:00:00 2024\r\n"
      "Subject: two\r\n"
      "\r\n"
      "last line\r\n";
  const QByteArray second =
      "From carol@example.org Wed Jan  3 11:00:00 2024\r\n"
      "Subject: three\r\n";
  QVERIFY(WriteFile(folder + "first", first));
  QVERIFY(WriteFile(folder + "second.mbx", second));
  Start();
  desktop_->AnswerOpenFiles({folder + "first", folder + "second.mbx"});
  Click("Command1");
  QCOMPARE(haupt_->Job().TargetFolder, folder);
  QColor colour_at_message;
  desktop_->SetOnMessage(
      [&](const FakeDesktop::Message&) { colour_at_message = GoColour(); });
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");

  QCOMPARE(ReadFile(folder + "first.box"),
           kBoxSeparatorLine +
               "Subject: one\r\n\r\nbody line\r\n"
               "From quoted, unquoted\r\n" +
               kBoxSeparatorLine + "Subject: two\r\n\r\nlast line\r\n");
  QCOMPARE(ReadFile(folder + "second.mbx.box"),
           kBoxSeparatorLine + "Subject: three\r\n");
  QCOMPARE(desktop_->Messages().size(), 1);
  QCOMPARE(desktop_->Messages()[0].text,
           Utf8("Fertig. Öffnen Sie nun Ihr Mailprogramm."));
  QCOMPARE(desktop_->Messages()[0].icon, MessageIcon::kInformation);
  QCOMPARE(colour_at_message, ButtonFaceColour());
  QCOMPARE(unloaded.count(), 1);
  QVERIFY(haupt_->IsUnloaded());
  QVERIFY(!haupt_->isVisible());
  QCOMPARE(Find<QLabel>("Label1")->text(),
           Utf8("konvertiere Mailbox 2 Nachricht 1, bitte warten..."));
  QProgressBar* bar = Find<QProgressBar>("ProgressBar1");
  QCOMPARE(bar->maximum(), second.size());
  QCOMPARE(bar->value(), 49);  // the separator line of the second mailbox
}

void HauptTest::wholeRunInEnglishEndsWithTheEnglishMessage() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "in", "From x\r\nbody\r\n"));
  Start();
  Action("e")->trigger();
  desktop_->AnswerOpen(folder + "in");
  Click("Command1");
  Action("u")->trigger();  // the About window stays open during the run
  QPointer<FrmSplash> about = haupt_->LoadedSplash();
  QVERIFY(about && about->isVisible());
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QVERIFY(about.isNull());  // and goes with the main window
  QCOMPARE(desktop_->Messages().size(), 1);
  QCOMPARE(desktop_->Messages()[0].text,
           Utf8("Everything done. Open your mailclient."));
  QCOMPARE(Find<QLabel>("Label1")->text(),
           Utf8("converting mailbox 1 message 1, pleasse wait..."));
  QCOMPARE(unloaded.count(), 1);
  QCOMPARE(ReadFile(folder + "in.box"), kBoxSeparatorLine + "body\r\n");
}

void HauptTest::boxToMboxRunRewritesTheSeparators() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(QDir().mkpath(folder + "out"));
  QVERIFY(WriteFile(folder + "Sent.BOX",
                    kBoxSeparatorLine + "Subject: a\r\n\r\nhello\r\n" +
                        kBoxSeparatorLine + "Subject: b\r\n"));
  Start();
  Click("Command4");
  desktop_->AnswerOpen(folder + "Sent.BOX");
  Click("Command1");
  desktop_->AnswerFolder(folder + "out");
  Click("Command2");
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 1);
  const QByteArray out = ReadFile(folder + "out/Sent");
  QVERIFY2(out.startsWith("From "), out.constData());
  QCOMPARE(out.count("\nFrom "), 1);
  QVERIFY(out.contains("Subject: a"));
  QVERIFY(out.contains("hello"));
  QVERIFY(!out.contains('\x10'));
  QCOMPARE(Find<QLabel>("Label1")->text(),
           Utf8("konvertiere Mailbox 1 Nachricht 2, bitte warten..."));
}

void HauptTest::runWithARemovedTargetShowsTheMessageAndStaysOpen() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "inbox", "From x\r\nbody\r\n"));
  QVERIFY(QDir().mkpath(folder + "target"));
  Start();
  desktop_->AnswerOpen(folder + "inbox");
  Click("Command1");
  desktop_->AnswerFolder(folder + "target");
  Click("Command2");
  QVERIFY(QDir(folder + "target").removeRecursively());
  const ConversionJob before = haupt_->Job();
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 0);
  QVERIFY(haupt_->isVisible());
  QVERIFY(!haupt_->IsUnloaded());
  QCOMPARE(desktop_->Messages().size(), 1);
  const QString text = desktop_->Messages()[0].text;
  QCOMPARE(desktop_->Messages()[0].icon, MessageIcon::kCritical);
  QVERIFY2(text.contains(folder + "target/"), qPrintable(text));
  QVERIFY2(text.contains(Utf8("Grund: der Zielordner existiert nicht")),
           qPrintable(text));
  QVERIFY2(text.contains(Utf8("Davor vollständig konvertiert: 0 Mailbox(en).")),
           qPrintable(text));
  QCOMPARE(haupt_->Job().MailboxFiles, before.MailboxFiles);
  QCOMPARE(haupt_->Job().TargetFolder, before.TargetFolder);
  QVERIFY(Button("Command3")->isEnabled());
  QVERIFY(!QFile::exists(folder + "target/inbox.box"));
  // Mended, "Go!" again: the run goes through and the program ends.
  QVERIFY(QDir().mkpath(folder + "target"));
  Click("Command3");
  QCOMPARE(unloaded.count(), 1);
  QCOMPARE(ReadFile(folder + "target/inbox.box"),
           kBoxSeparatorLine + "body\r\n");
  QCOMPARE(desktop_->Messages().size(), 2);
  QCOMPARE(desktop_->Messages()[1].icon, MessageIcon::kInformation);
}

void HauptTest::runWithATargetThatIsAFileShowsTheMessage() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "inbox", "From x\r\nbody\r\n"));
  QVERIFY(WriteFile(folder + "plainfile", "not a folder"));
  Start();
  Action("f")->trigger();
  desktop_->AnswerOpen(folder + "inbox");
  Click("Command1");
  desktop_->AnswerFolder(folder + "plainfile");
  Click("Command2");
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 0);
  QCOMPARE(desktop_->Messages().size(), 1);
  const QString text = desktop_->Messages()[0].text;
  QVERIFY2(text.contains(Utf8("La conversion a été interrompue.")),
           qPrintable(text));
  QVERIFY2(text.contains(folder + "plainfile/"), qPrintable(text));
  QVERIFY(haupt_->isVisible());
}

void HauptTest::failureNamesHowManyWereConvertedBefore() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "one", "From a\r\nx\r\n"));
  QVERIFY(WriteFile(folder + "two", "From b\r\ny\r\n"));
  QVERIFY(WriteFile(folder + "three", "From c\r\nz\r\n"));
  testing::FailingOutputLayer files =
      LayerFailingToOpen(QStringLiteral("two.box"));
  haupt_ = std::make_unique<Haupt>(*desktop_, &files);
  Start();
  Action("e")->trigger();
  desktop_->AnswerOpenFiles({folder + "one", folder + "two", folder + "three"});
  Click("Command1");
  Click("Command3");
  QCOMPARE(desktop_->Messages().size(), 1);
  const QString text = desktop_->Messages()[0].text;
  QVERIFY2(text.contains(QStringLiteral("Mailbox 2: two")), qPrintable(text));
  QVERIFY2(text.contains(folder + "two.box"), qPrintable(text));
  QVERIFY2(text.contains(QStringLiteral("Reason: the disk is full")),
           qPrintable(text));
  QVERIFY2(text.contains(
               QStringLiteral("Converted completely before: 1 mailbox(es).")),
           qPrintable(text));
  QVERIFY(QFile::exists(folder + "one.box"));
  QVERIFY(!QFile::exists(folder + "two.box"));
  QVERIFY(!QFile::exists(folder + "three.box"));
  QVERIFY(haupt_->isVisible());
}

void HauptTest::ownReasonsAreInTheWindowsLanguage_data() {
  QTest::addColumn<QString>("command");
  QTest::addColumn<QString>("reason");
  QTest::addColumn<QString>("system_reason");
  QTest::newRow("German") << "d"
                          << Utf8("Grund: der Zielordner existiert nicht")
                          << Utf8(
                                 "Grund: auf dem Datenträger ist kein Platz "
                                 "mehr");
  QTest::newRow("French")
      << "f" << Utf8("Raison : le dossier de destination n'existe pas")
      << Utf8("Raison : le disque est plein");
  QTest::newRow("English") << "e"
                           << Utf8("Reason: the target folder does not exist")
                           << Utf8("Reason: the disk is full");
}

void HauptTest::ownReasonsAreInTheWindowsLanguage() {
  QFETCH(QString, command);
  QFETCH(QString, reason);
  QFETCH(QString, system_reason);
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "inbox", "From x\r\nbody\r\n"));
  testing::FailingOutputLayer files =
      LayerFailingToOpen(QStringLiteral("inbox.box"));
  haupt_ = std::make_unique<Haupt>(*desktop_, &files);
  Start();
  Action(qPrintable(command))->trigger();
  desktop_->AnswerOpen(folder + "inbox");
  Click("Command1");
  // The program's own reason: the target folder is gone.
  desktop_->AnswerFolder(folder + "gone");
  Click("Command2");
  Click("Command3");
  // The system's reason, one users meet: in the window's words too.
  desktop_->AnswerFolder(dir.path());
  Click("Command2");
  Click("Command3");
  QCOMPARE(desktop_->Messages().size(), 2);
  const QString own = desktop_->Messages()[0].text;
  QVERIFY2(own.contains(reason), qPrintable(own));
  if (command != QLatin1String("e")) {
    QVERIFY2(!own.contains(QLatin1String("does not exist")), qPrintable(own));
  }
  const QString system = desktop_->Messages()[1].text;
  QVERIFY2(system.contains(system_reason), qPrintable(system));
}

void HauptTest::everyOwnReasonHasWordsInEveryLanguage() {
  for (int code = 0; code < static_cast<int>(FailureReason::kCount); ++code) {
    const auto reason = static_cast<FailureReason>(code);
    for (Language language :
         {Language::kGerman, Language::kEnglish, Language::kFrench}) {
      const QString words = OwnReasonWords(language, reason);
      if (reason == FailureReason::kSystem) {
        QVERIFY(words.isEmpty());
      } else {
        QVERIFY2(!words.trimmed().isEmpty(),
                 qPrintable(QStringLiteral("reason %1, language %2")
                                .arg(code)
                                .arg(static_cast<int>(language))));
      }
    }
  }
}

void HauptTest::failedRunSaysItStoppedAndKeepsTheBarWhereItStopped() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "one", "From a\r\nx\r\nFrom b\r\ny\r\n"));
  QVERIFY(WriteFile(folder + "two", "From c\r\nz\r\n"));
  testing::FailingOutputLayer files =
      LayerFailingToOpen(QStringLiteral("two.box"));
  haupt_ = std::make_unique<Haupt>(*desktop_, &files);
  Start();
  desktop_->AnswerOpenFiles({folder + "one", folder + "two"});
  Click("Command1");
  Click("Command3");
  QCOMPARE(desktop_->Messages().size(), 1);
  QLabel* status = Find<QLabel>("Label1");
  QCOMPARE(status->text(),
           Utf8("Konvertierung abgebrochen bei Mailbox 2 (two)."));
  // The bar stands at the start of the second mailbox, where it stopped.
  QProgressBar* bar = Find<QProgressBar>("ProgressBar1");
  QCOMPARE(bar->maximum(), 11);
  QCOMPARE(bar->value(), 0);
  // In French, a failure of the whole job says only that the run stopped.
  Action("f")->trigger();
  desktop_->AnswerFolder(folder + "gone");
  Click("Command2");
  Click("Command3");
  QCOMPARE(status->text(), Utf8("Conversion interrompue."));
}

// Outputs that would replace files: one question before anything is
// written, naming a few of them and how many more; its default, as
// Escape's, is Cancel, which leaves the files and the job as they were.
void HauptTest::replacingIsAskedFirstAndCancelWritesNothing() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QStringList sources;
  for (int i = 1; i <= 7; ++i) {
    const QString name = QStringLiteral("m%1").arg(i);
    QVERIFY(WriteFile(folder + name, "From x\r\nbody\r\n"));
    QVERIFY(WriteFile(folder + name + ".box", "old"));
    sources.append(folder + name);
  }
  Start();
  desktop_->AnswerOpenFiles(sources);
  Click("Command1");
  const ConversionJob job = haupt_->Job();
  Click("Command3");  // no answer given: the default, Cancel
  QCOMPARE(desktop_->Questions().size(), 1);
  const FakeDesktop::Question& question = desktop_->Questions()[0];
  QCOMPARE(question.accept, QStringLiteral("Ersetzen"));
  QCOMPARE(question.reject, QStringLiteral("Abbrechen"));
  QVERIFY2(question.text.contains(Utf8("Diese 7 Dateien gibt es schon")),
           qPrintable(question.text));
  QVERIFY(question.text.contains(folder + "m5.box"));
  QVERIFY(!question.text.contains(folder + "m6.box"));
  QVERIFY2(question.text.contains(Utf8("… und 2 weitere")),
           qPrintable(question.text));
  QVERIFY(desktop_->Messages().isEmpty());
  QCOMPARE(ReadFile(folder + "m1.box"), QByteArray("old"));
  QCOMPARE(haupt_->Job().MailboxFiles, job.MailboxFiles);
  QVERIFY(haupt_->isVisible());

  desktop_->AnswerConfirm(true);
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 1);
  QCOMPARE(ReadFile(folder + "m7.box"), kBoxSeparatorLine + "body\r\n");
}

// A file of the other format is refused before anything is written, in
// the window's language, naming the direction that takes it.
void HauptTest::wrongFormatIsRefusedNamingTheOtherDirection() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "Inbox", "From x\r\nbody\r\n"));
  QVERIFY(WriteFile(folder + "Posteingang.box", "From x\r\nbody\r\n"));
  Start();
  Click("Command4");  // .box to mbox
  desktop_->AnswerOpenFiles({folder + "Inbox", folder + "Posteingang.box"});
  Click("Command1");
  Click("Command3");
  QCOMPARE(desktop_->Messages().size(), 1);
  const QString text = desktop_->Messages()[0].text;
  QVERIFY2(text.contains(Utf8("Mailbox 1: Inbox")), qPrintable(text));
  QVERIFY2(text.contains(Utf8("Grund: die Datei ist eine mbox-Datei; wählen "
                              "Sie mbox → Rerure")),
           qPrintable(text));
  QVERIFY(desktop_->Questions().isEmpty());
  QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
  QVERIFY(haupt_->isVisible());
}

// After a failure the status line says so in the checked language, also
// after a switch of language.
void HauptTest::stoppedStatusFollowsTheLanguage() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "one", "From a\r\nx\r\n"));
  QVERIFY(WriteFile(folder + "two", "From c\r\nz\r\n"));
  testing::FailingOutputLayer files =
      LayerFailingToOpen(QStringLiteral("two.box"));
  haupt_ = std::make_unique<Haupt>(*desktop_, &files);
  Start();
  desktop_->AnswerOpenFiles({folder + "one", folder + "two"});
  Click("Command1");
  Click("Command3");
  QLabel* status = Find<QLabel>("Label1");
  QCOMPARE(status->text(),
           Utf8("Konvertierung abgebrochen bei Mailbox 2 (two)."));
  Action("e")->trigger();
  QCOMPARE(status->text(), Utf8("Conversion stopped at mailbox 2 (two)."));
  Action("f")->trigger();
  QCOMPARE(status->text(),
           Utf8("Conversion interrompue à la boîte n° 2 (two)."));
}

// A mailbox whose name is not UTF-8 (GBK from a Windows archive), which
// the dialog cannot list, is named, escaped, with how to rename it, as
// soon as files of its folder are chosen.
void HauptTest::undecodableNamesInTheFolderAreNamed() {
#ifdef Q_OS_WIN
  QSKIP("Windows names are UTF-16: none is undecodable");
#endif
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "Sent.box",
                    "\x10\x10\x10\x10\x10\x10\x10\x11"
                    "\x11\x11\x11\x11\x11S\r\n"));
  // "收件箱.box" in GBK.
  const QByteArray gbk =
      QFile::encodeName(folder) + "\xCA\xD5\xBC\xFE\xCF\xE4.box";
  const int fd = ::open(gbk.constData(), O_CREAT | O_WRONLY, 0600);
  if (fd < 0) QSKIP("this file system takes no name that is not UTF-8");
  ::close(fd);
  // QTemporaryDir cannot remove a name it cannot decode.
  const std::unique_ptr<const char, void (*)(const char*)> remove(
      gbk.constData(), [](const char* path) { ::unlink(path); });
  Start();
  Action("e")->trigger();
  Click("Command4");  // .box to mbox
  desktop_->AnswerOpen(folder + "Sent.box");
  Click("Command1");
  QCOMPARE(desktop_->Messages().size(), 1);
  const FakeDesktop::Message& message = desktop_->Messages()[0];
  QCOMPARE(message.icon, MessageIcon::kWarning);
  QVERIFY2(message.text.contains(
               QStringLiteral("\\xCA\\xD5\\xBC\\xFE\\xCF\\xE4.box")),
           qPrintable(message.text));
  QVERIFY2(message.text.contains(QStringLiteral("convmv -f gbk -t utf-8")),
           qPrintable(message.text));
  QVERIFY(message.text.contains(folder));
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{QStringLiteral("Sent.box")});
  // Told once: a second choice there is made knowing.
  desktop_->AnswerOpen(folder + "Sent.box");
  Click("Command1");
  QCOMPARE(desktop_->Messages().size(), 1);
  // A folder without such names says nothing.
  QTemporaryDir clean;
  QVERIFY(WriteFile(clean.path() + "/a.box", "x"));
  desktop_->AnswerOpen(clean.path() + "/a.box");
  Click("Command1");
  QCOMPARE(desktop_->Messages().size(), 1);
}

// The system's failures users meet are told in the window's language, by
// their codes; other failures of the system stand in the system's words.
void HauptTest::systemReasonsUsersMeetAreInEveryLanguage() {
  // The codes of each kind the system has, and one it has for none.
#ifdef Q_OS_WIN
  const qint64 met[] = {ERROR_DISK_FULL,
                        ERROR_HANDLE_DISK_FULL,
                        ERROR_WRITE_PROTECT,
                        ERROR_ACCESS_DENIED,
                        ERROR_CRC,
                        ERROR_IO_DEVICE,
                        ERROR_FILE_NOT_FOUND,
                        ERROR_TOO_MANY_OPEN_FILES};
  const int kinds =
      6;  // no code of Windows is taken for a quota or a long name
  const qint64 none = ERROR_NOT_SAME_DEVICE;
#else
  const qint64 met[] = {ENOSPC, EDQUOT, EROFS,  EACCES, EPERM,
                        EIO,    ENOENT, EMFILE, ENFILE, ENAMETOOLONG};
  const int kinds = 8;
  const qint64 none = ENOEXEC;
#endif
  for (const Language language :
       {Language::kGerman, Language::kEnglish, Language::kFrench}) {
    QSet<QString> distinct;
    for (const qint64 code : met) {
      RunFailure failure;
      failure.error = FileError::System(code);
      const QString told = ReasonInWords(language, failure);
      QVERIFY2(told != SystemErrorText(code) && !told.isEmpty(),
               qPrintable(SystemErrorText(code)));
      distinct.insert(told);
    }
    QCOMPARE(distinct.size(), kinds);
    RunFailure other;
    other.error = FileError::System(none);
    QCOMPARE(ReasonInWords(language, other), SystemErrorText(none));
  }
}

// Mailboxes given on the command line fill the job as the dialog would, the
// direction taken from their format; a drop does the same; the run then
// converts them.
void HauptTest::filesFromTheCommandLineAndADropFillTheJob() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "a.box", kBoxSeparatorLine + "x\r\n"));
  QVERIFY(WriteFile(folder + "b.box", kBoxSeparatorLine + "y\r\n"));
  QVERIFY(WriteFile(folder + "Inbox", "From x\r\nbody\r\n"));
  Start();
  haupt_->TakeFiles({folder + "a.box", folder + "b.box"});
  QVERIFY(!haupt_->Job().MboxToBox);
  QCOMPARE(Picture(), QStringLiteral("picToMbox"));
  QCOMPARE(haupt_->Job().MailboxFiles, (QStringList{"a.box", "b.box"}));
  QCOMPARE(haupt_->Job().SourceFolder, folder);
  QCOMPARE(Edit("Text1")->text(), folder);
  QVERIFY(Button("Command3")->isEnabled());

  // A drop from a file manager: mbox, so the direction switches back.
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(folder + "Inbox")});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(haupt_.get(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(haupt_.get(), &drop);
  QVERIFY(haupt_->Job().MboxToBox);
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{"Inbox"});
  QCOMPARE(Edit("Text1")->text(), folder + "Inbox");
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 1);
  QCOMPARE(ReadFile(folder + "Inbox.box"), kBoxSeparatorLine + "body\r\n");
}

// Folders, files of two folders, of both formats or of neither are refused
// with one message in the window's language; the job stays as it was.
void HauptTest::filesFromOutsideOfMixedKindsAreRefused() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(QDir(folder).mkdir("sub"));
  QVERIFY(WriteFile(folder + "a.box", kBoxSeparatorLine + "x\r\n"));
  QVERIFY(WriteFile(folder + "Inbox", "From x\r\nbody\r\n"));
  QVERIFY(WriteFile(folder + "sub/Sent", "From x\r\nbody\r\n"));
  QVERIFY(WriteFile(folder + "notes.txt", "just text\r\n"));
  Start();
  Action("e")->trigger();
  const struct {
    QStringList paths;
    const char* says;
  } cases[] = {
      {{folder + "Inbox", folder + "a.box"}, "mbox and Foxmail .box files"},
      {{folder + "Inbox", folder + "sub/Sent"}, "different folders"},
      {{folder + "sub"}, "is a folder"},
      {{folder + "notes.txt"}, "is no mailbox"},
      {{folder + "missing"}, "does not exist"},
  };
  for (const auto& c : cases) {
    haupt_->TakeFiles(c.paths);
    QVERIFY(!desktop_->Messages().isEmpty());
    QVERIFY2(desktop_->Messages().back().text.contains(QLatin1String(c.says)),
             qPrintable(desktop_->Messages().back().text));
    QVERIFY(haupt_->Job().MailboxFiles.isEmpty());
    QVERIFY(haupt_->Job().MboxToBox);
  }
  QCOMPARE(desktop_->Messages().size(), 5);
}

// Outputs are confirmed in groups, so the mailbox that fails may be one
// read before the last: the bar shows that one, as far as its reading got,
// or empty when its output was discarded after reading or before it.
void HauptTest::barShowsWhereTheFailingMailboxStopped() {
  QWidget window;
  QProgressBar bar(&window);
  QLabel label(&window);
  ProgressBinding binding(window, bar, label, ProgressText{});
  binding.SetProgressMax(1000);
  binding.SetProgressValue(400);
  binding.SetProgressValue(1000);
  binding.SetProgressMax(50);
  binding.SetProgressValue(50);
  const struct {
    RunStep step;
    int mailbox;
    int maximum;
    int value;
  } cases[] = {
      {RunStep::kSync, 1, 1000, 0},     // read whole, output discarded
      {RunStep::kRead, 1, 1000, 1000},  // as far as its reading got
      {RunStep::kWrite, 2, 50, 50},
      {RunStep::kOpenSource, 3, 50, 0},  // failed before its size came
      {RunStep::kCheck, 0, 50, 0},
  };
  for (const auto& c : cases) {
    RunFailure failure;
    failure.step = c.step;
    failure.mailbox_number = c.mailbox;
    binding.ShowStop(failure);
    QCOMPARE(bar.maximum(), c.maximum);
    QCOMPARE(bar.value(), c.value);
  }
}

// The status line is built by the binding when it is shown: not for every
// separator while the run goes on, but always for the last one.
void HauptTest::statusLineIsBuiltWhenShown() {
  QWidget window;
  QProgressBar bar(&window);
  QLabel label(&window);
  ProgressBinding binding(window, bar, label, {"m ", " n ", "."});
  QVERIFY(!binding.WantsStatusText());
  QElapsedTimer timer;
  timer.start();
  binding.SetProgressMax(100);
  binding.SetProgressValue(10);
  binding.Flush();
  QCOMPARE(label.text(), QStringLiteral("m 1 n 1."));
  binding.SetProgressValue(20);
  binding.SetProgressValue(30);
  binding.SetProgressMax(100);  // repaints at once
  // Until its first separator, the last message of the mailbox before.
  QCOMPARE(label.text(), QStringLiteral("m 1 n 3."));
  binding.SetProgressValue(10);
  QTest::qWait(int(ProgressBinding::kRepaintIntervalMs) + 5);
  binding.Repaint();
  if (timer.elapsed() < ProgressBinding::kStatusIntervalMs) {
    QCOMPARE(label.text(), QStringLiteral("m 1 n 3."));  // not due yet
  }
  binding.Flush();
  QCOMPARE(label.text(), QStringLiteral("m 2 n 1."));
}

void HauptTest::closeDuringARunIsRefused() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QByteArray mailbox;
  for (int i = 0; i < 2000; ++i) mailbox += "From x\r\nline\r\n";
  QVERIFY(WriteFile(folder + "in", mailbox));
  Start();
  desktop_->AnswerOpen(folder + "in");
  Click("Command1");
  bool tried = false;
  bool refused = false;
  QTimer::singleShot(0, haupt_.get(), [&] {
    tried = haupt_->IsRunning();
    refused = !haupt_->close();
  });
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QVERIFY(tried);
  QVERIFY(refused);
  QCOMPARE(unloaded.count(), 1);  // by the end of the run, once
  QCOMPARE(desktop_->Messages().size(), 1);
}

void HauptTest::repaintsAreThrottled() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QByteArray mailbox;
  const int messages = 50000;
  for (int i = 0; i < messages; ++i)
    mailbox += "From x\r\nSubject: s\r\n\r\nb\r\n";
  QVERIFY(WriteFile(folder + "in", mailbox));
  Start();
  desktop_->AnswerOpen(folder + "in");
  Click("Command1");
  QElapsedTimer timer;
  timer.start();
  Click("Command3");
  const qint64 elapsed = timer.elapsed();
  const int repaints = haupt_->LastRepaintCount();
  QVERIFY(repaints >= 1);
  QVERIFY2(
      repaints <= 2 + elapsed / ProgressBinding::kRepaintIntervalMs,
      qPrintable(
          QStringLiteral("%1 repaints in %2 ms").arg(repaints).arg(elapsed)));
  QCOMPARE(Find<QLabel>("Label1")->text(),
           QStringLiteral("konvertiere Mailbox 1 Nachricht %1, bitte warten...")
               .arg(messages));
}

void HauptTest::progressBarCopesWithEverySize() {
  // Maximum 0: an empty bar, not the busy indicator.
  BarPosition p = ScaleProgress(0, 0);
  QCOMPARE(p.maximum, 1);
  QCOMPARE(p.value, 0);
  p = ScaleProgress(0, 7);
  QCOMPARE(p.value, p.maximum);
  // A value above the maximum: full.
  p = ScaleProgress(100, 102);
  QCOMPARE(p.maximum, 100);
  QCOMPARE(p.value, 100);
  // Over 2 GiB: scaled into int, the proportion kept.
  const qint64 big = 5LL * 1024 * 1024 * 1024;
  p = ScaleProgress(big, big / 2);
  QVERIFY(p.maximum > 0);
  QVERIFY(p.maximum <= INT_MAX);
  QVERIFY(qAbs(double(p.value) / p.maximum - 0.5) < 1e-6);
  p = ScaleProgress(big, big + 10);
  QCOMPARE(p.value, p.maximum);
  // Through the binding on the real bar.
  Start();
  ProgressBinding binding(*haupt_, *Find<QProgressBar>("ProgressBar1"),
                          *Find<QLabel>("Label1"), ProgressText{});
  binding.SetProgressMax(big);
  binding.SetProgressValue(big / 4);
  binding.Flush();
  QProgressBar* bar = Find<QProgressBar>("ProgressBar1");
  QVERIFY(qAbs(double(bar->value()) / bar->maximum() - 0.25) < 1e-6);
  binding.SetProgressMax(0);
  binding.Flush();
  QVERIFY(bar->maximum() > bar->minimum());
  binding.SetProgressMax(10);
  binding.SetProgressValue(12);
  binding.Flush();
  QCOMPARE(bar->value(), bar->maximum());
}

}  // namespace quillet

QTEST_MAIN(quillet::HauptTest)
#include "haupt_test.moc"
