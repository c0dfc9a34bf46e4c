// SPDX-License-Identifier: GPL-3.0-or-later
// Qt Test tests of the About window frmSplash and the document opener
// Module1, on the offscreen platform with the fake platform layer. The
// interplay with the main window is tested in ui/main/haupt_startup_test.cpp.
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "tests/support/fake_desktop.h"
#include "ui/help/frm_splash.h"
#include "ui/help/module1.h"

namespace quillet {

class SplashTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void loadStepSetsButtonAndVersion();
  void designedContentAndGeometry();
  void onlyTheButtonTakesTheFocus();
  void everyClickHandlerShowsTheMainWindowAndUnloads_data();
  void everyClickHandlerShowsTheMainWindowAndUnloads();
  void buttonOpensTheInstructionsFirst();
  void buttonWithoutAssociationShowsTheChooserAndStillGoesOn();
  void closeBoxActsAsAClick();
  void escapeActsAsAClick();
  void eachLoadReadsTheCurrentCaption();

  void openDocumentOpensWithTheAssociatedProgram();
  void openDocumentWithoutAssociationShowsTheChooser();
  void openDocumentFailureIsSilent();
  void instructionsPathJoinsFolderAndName();

 private:
  FrmSplash* Load();

  std::unique_ptr<FakeDesktop> desktop_;
  UiText text_;
  int main_shown_ = 0;
  QPointer<FrmSplash> splash_;
};

void SplashTest::initTestCase() {
  QApplication::setQuitOnLastWindowClosed(false);
}

void SplashTest::init() {
  desktop_ = std::make_unique<FakeDesktop>();
  desktop_->SetProgramFolder(QStringLiteral("/opt/my quillet"));
  FillUiText(text_, Language::kGerman);
  main_shown_ = 0;
}

void SplashTest::cleanup() {
  delete splash_;
  desktop_.reset();
}

FrmSplash* SplashTest::Load() {
  splash_ = new FrmSplash(*desktop_, text_, [this] { ++main_shown_; });
  return splash_;
}

void SplashTest::loadStepSetsButtonAndVersion() {
  FrmSplash* splash = Load();
  QVERIFY(!splash->isVisible());  // loading does not show it
  QCOMPARE(splash->Command1->text(), QStringLiteral("Anleitung"));
  QCOMPARE(splash->findChild<QLabel*>("lblVersion")->text(),
           QStringLiteral("Version 0.3.1"));
  QCOMPARE(VersionLine(), QStringLiteral("Version 0.3.1"));
}

void SplashTest::designedContentAndGeometry() {
  FrmSplash* splash = Load();
  splash->Show();
  QVERIFY(QTest::qWaitForWindowExposed(splash));
  QCOMPARE(splash->objectName(), QStringLiteral("frmSplash"));
  QVERIFY(splash->windowTitle().trimmed().isEmpty());
  QCOMPARE(splash->size(), QSize(492, 283));  // 7380 x 4245 twips
  QCOMPARE(splash->minimumSize(), splash->maximumSize());
  QWidget* frame = splash->findChild<QWidget*>("Frame1");
  QCOMPARE(frame->geometry(), QRect(10, 4, 472, 270));
  const auto label = [&](const char* name) {
    return splash->findChild<QLabel*>(QString::fromLatin1(name));
  };
  QCOMPARE(label("lblProductName")->text(), QStringLiteral("Quillet"));
  QCOMPARE(label("lblCompanyProduct")->text(),
           QStringLiteral(" Quillet Werkstatt"));
  QCOMPARE(label("lblCompany")->text(),
           QStringLiteral("Quillet Werkstatt Mailbox tools"));
  QVERIFY(label("lblCompany")->wordWrap());
  QCOMPARE(label("lblLicenseTo")->text(), QStringLiteral("Freeware"));
  QCOMPARE(label("lblCopyright")->text(), QStringLiteral("Copyright"));
  QCOMPARE(label("lblProductName")->pos(), QPoint(182, 90));
  QCOMPARE(label("lblCompanyProduct")->pos(), QPoint(175, 49));
  QCOMPARE(label("lblCompany")->geometry(), QRect(304, 218, 112, 40));
  QCOMPARE(label("imgLogo")->geometry(), QRect(24, 42, 142, 142));
  QCOMPARE(splash->Command1->geometry(), QRect(21, 224, 106, 29));
  // Right-aligned and sized to fit: the right edge stays as designed.
  QCOMPARE(label("lblVersion")->geometry().right(), 409 + 48 - 1);
  QCOMPARE(label("lblProductName")->font().family(), QStringLiteral("Arial"));
  QCOMPARE(label("lblProductName")->font().pointSizeF(), 32.25);
  QVERIFY(label("lblProductName")->font().bold());
  QCOMPARE(label("lblCompanyProduct")->font().pointSizeF(), 18.0);
  QCOMPARE(label("lblVersion")->font().pointSizeF(), 12.0);
  QCOMPARE(label("lblCompany")->font().pointSizeF(), 8.25);
  QVERIFY(!label("lblCompany")->font().bold());
  QCOMPARE(label("lblCompanyProduct")->palette().color(QPalette::WindowText),
           QColor(0, 0, 0));
  // Every label fits inside the frame.
  for (QLabel* l : frame->findChildren<QLabel*>()) {
    QVERIFY2(frame->rect().contains(l->geometry()),
             qPrintable(l->objectName()));
  }
  const QPixmap logo = label("imgLogo")->pixmap();
  QVERIFY(!logo.isNull());
  QCOMPARE(logo.size(), QSize(142, 142));
}

void SplashTest::onlyTheButtonTakesTheFocus() {
  FrmSplash* splash = Load();
  for (QWidget* w : splash->findChildren<QWidget*>()) {
    if (w == splash->Command1) {
      QVERIFY(w->focusPolicy() & Qt::TabFocus);
    } else {
      QCOMPARE(w->focusPolicy(), Qt::NoFocus);
    }
  }
}

void SplashTest::everyClickHandlerShowsTheMainWindowAndUnloads_data() {
  QTest::addColumn<int>("handler");
  const char* names[] = {"Form_Click",
                         "Frame1_Click",
                         "imgLogo_Click",
                         "lblCompany_Click",
                         "lblCompanyProduct_Click",
                         "lblCopyright_Click",
                         "lblLicenseTo_Click",
                         "lblProductName_Click",
                         "lblVersion_Click"};
  for (int i = 0; i < 9; ++i) QTest::newRow(names[i]) << i;
}

void SplashTest::everyClickHandlerShowsTheMainWindowAndUnloads() {
  QFETCH(int, handler);
  FrmSplash* splash = Load();
  splash->Show();
  QSignalSpy unloaded(splash, &FrmSplash::Unloaded);
  using Handler = void (FrmSplash::*)();
  const Handler handlers[] = {&FrmSplash::Form_Click,
                              &FrmSplash::Frame1_Click,
                              &FrmSplash::imgLogo_Click,
                              &FrmSplash::lblCompany_Click,
                              &FrmSplash::lblCompanyProduct_Click,
                              &FrmSplash::lblCopyright_Click,
                              &FrmSplash::lblLicenseTo_Click,
                              &FrmSplash::lblProductName_Click,
                              &FrmSplash::lblVersion_Click};
  (splash->*handlers[handler])();
  QCOMPARE(main_shown_, 1);
  QCOMPARE(unloaded.count(), 1);
  QVERIFY(!splash->IsLoaded());
  QVERIFY(!splash->isVisible());
  QTRY_VERIFY(splash_.isNull());
  QVERIFY(desktop_->OpenedDocuments().isEmpty());
}

void SplashTest::buttonOpensTheInstructionsFirst() {
  FrmSplash* splash = Load();
  splash->Show();
  QStringList opened_when_main_shown;
  splash_ = splash;
  QTest::mouseClick(splash->Command1, Qt::LeftButton);
  QCOMPARE(desktop_->OpenedDocuments(),
           QStringList{QStringLiteral("/opt/my quillet/readme.txt")});
  QCOMPARE(main_shown_, 1);
  QTRY_VERIFY(splash_.isNull());
}

void SplashTest::buttonWithoutAssociationShowsTheChooserAndStillGoesOn() {
  desktop_->SetOpenOutcome(OpenOutcome::kNoAssociation);
  FrmSplash* splash = Load();
  splash->Show();
  QTest::mouseClick(splash->Command1, Qt::LeftButton);
  QCOMPARE(desktop_->ChooserDocuments(),
           QStringList{QStringLiteral("/opt/my quillet/readme.txt")});
  QCOMPARE(main_shown_, 1);
  QTRY_VERIFY(splash_.isNull());
}

void SplashTest::closeBoxActsAsAClick() {
  FrmSplash* splash = Load();
  splash->Show();
  QVERIFY(splash->close());
  QCOMPARE(main_shown_, 1);
  QTRY_VERIFY(splash_.isNull());
}

void SplashTest::escapeActsAsAClick() {
  FrmSplash* splash = Load();
  splash->Show();
  QVERIFY(QTest::qWaitForWindowExposed(splash));
  QTest::keyClick(splash, Qt::Key_Escape);
  QCOMPARE(main_shown_, 1);
  QTRY_VERIFY(splash_.isNull());
}

void SplashTest::eachLoadReadsTheCurrentCaption() {
  FillUiText(text_, Language::kFrench);
  FrmSplash* splash = Load();
  QCOMPARE(splash->Command1->text(), QStringLiteral("Instruction"));
  FillUiText(text_, Language::kEnglish);  // a loaded window keeps its caption
  QCOMPARE(splash->Command1->text(), QStringLiteral("Instruction"));
  splash->Form_Load();
  QCOMPARE(splash->Command1->text(), QStringLiteral("Instructions"));
  QCOMPARE(splash->findChild<QLabel*>("lblVersion")->text(),
           QStringLiteral("Version 0.3.1"));
}

void SplashTest::openDocumentOpensWithTheAssociatedProgram() {
  OpenDocument(*desktop_, QStringLiteral("/a b/readme.txt"));
  QCOMPARE(desktop_->OpenedDocuments(),
           QStringList{QStringLiteral("/a b/readme.txt")});
  QVERIFY(desktop_->ChooserDocuments().isEmpty());
}

void SplashTest::openDocumentWithoutAssociationShowsTheChooser() {
  desktop_->SetOpenOutcome(OpenOutcome::kNoAssociation);
  OpenDocument(*desktop_, QStringLiteral("/a b/readme.txt"));
  QCOMPARE(desktop_->ChooserDocuments(),
           QStringList{QStringLiteral("/a b/readme.txt")});
}

void SplashTest::openDocumentFailureIsSilent() {
  desktop_->SetOpenOutcome(OpenOutcome::kFailed);
  OpenDocument(*desktop_, QStringLiteral("/nowhere/readme.txt"));
  QCOMPARE(desktop_->OpenedDocuments().size(), 1);
  QVERIFY(desktop_->ChooserDocuments().isEmpty());
  QVERIFY(desktop_->Messages().isEmpty());
}

void SplashTest::instructionsPathJoinsFolderAndName() {
  QCOMPARE(InstructionsPath(*desktop_),
           QStringLiteral("/opt/my quillet/readme.txt"));
}

}  // namespace quillet

QTEST_MAIN(quillet::SplashTest)
#include "splash_test.moc"
