// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/haupt_test_fixture.h"

namespace quillet {

void HauptFixture::initTestCase() {
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

void HauptFixture::init() {
  desktop_ = std::make_unique<FakeDesktop>();
  desktop_->SetProgramFolder(QStringLiteral("/opt/quillet program"));
  haupt_ = std::make_unique<Haupt>(*desktop_);
}

void HauptFixture::cleanup() {
  haupt_.reset();
  desktop_.reset();
}

void HauptFixture::ClickAboutLabel(const char* name) {
  FrmSplash* splash = haupt_->LoadedSplash();
  QVERIFY(splash != nullptr);
  QWidget* part = splash->findChild<QWidget*>(QString::fromLatin1(name));
  QVERIFY2(part != nullptr, name);
  QTest::mouseClick(part, Qt::LeftButton);
}

void HauptFixture::Start() {
  haupt_->Form_Load();
  QVERIFY(haupt_->LoadedSplash() != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(haupt_->LoadedSplash()));
  ClickAboutLabel("lblProductName");
  QVERIFY(haupt_->isVisible());
  QVERIFY(QTest::qWaitForWindowExposed(haupt_.get()));
}

QStringList HauptFixture::MenuTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions()) texts.append(action->text());
  return texts;
}

}  // namespace quillet
