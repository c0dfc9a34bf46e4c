// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/document_opener.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace quillet {
namespace {

class ScriptedRunner : public CommandRunner {
 public:
  int exit_code = 0;
  QString printed;
  bool can_start = true;
  QStringList runs;
  QList<QStringList> started;

  int Run(const QString& program, const QStringList& arguments,
          QString* output) override {
    runs.append(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
    if (output != nullptr) *output = printed;
    return exit_code;
  }
  bool StartDetached(const QString& program, const QStringList& arguments,
                     const QString&) override {
    started.append(QStringList{program} + arguments);
    return can_start;
  }
};

class DocumentOpenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath(QStringLiteral("folder with blanks/readme.txt"));
    ASSERT_TRUE(
        QDir().mkpath(dir_.filePath(QStringLiteral("folder with blanks"))));
    QFile file(path_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Anleitung\r\n");
  }
  QTemporaryDir dir_;
  QString path_;
  ScriptedRunner runner_;
};

TEST_F(DocumentOpenerTest, AssociatedProgramOpensTheDocument) {
  runner_.printed = QStringLiteral("org.gnome.TextEditor.desktop\n");
  XdgDocumentOpener opener(runner_);
  EXPECT_EQ(opener.Open(path_), OpenOutcome::kOpened);
  ASSERT_EQ(runner_.runs.size(), 1);
  EXPECT_EQ(runner_.runs[0],
            QStringLiteral("xdg-mime query default text/plain"));
  ASSERT_EQ(runner_.started.size(), 1);
  EXPECT_EQ(runner_.started[0],
            (QStringList{QStringLiteral("xdg-open"), path_}));
}

TEST_F(DocumentOpenerTest, NoProgramIsToldApart) {
  runner_.printed = QStringLiteral("\n");
  XdgDocumentOpener opener(runner_);
  EXPECT_EQ(opener.Open(path_), OpenOutcome::kNoAssociation);
  EXPECT_TRUE(runner_.started.isEmpty());
}

TEST_F(DocumentOpenerTest, MissingDocumentFailsWithoutStartingAnything) {
  XdgDocumentOpener opener(runner_);
  EXPECT_EQ(opener.Open(dir_.filePath(QStringLiteral("missing.txt"))),
            OpenOutcome::kFailed);
  EXPECT_TRUE(runner_.runs.isEmpty());
  EXPECT_TRUE(runner_.started.isEmpty());
}

TEST_F(DocumentOpenerTest, OpenerThatCannotStartFails) {
  runner_.printed = QStringLiteral("editor.desktop");
  runner_.can_start = false;
  XdgDocumentOpener opener(runner_);
  EXPECT_EQ(opener.Open(path_), OpenOutcome::kFailed);
}

TEST(ExpandExecTest, PutsTheDocumentInPlaceOfFieldCodes) {
  const QString doc = QStringLiteral("/opt/my app/readme.txt");
  EXPECT_EQ(ExpandExec(QStringLiteral("gedit %U"), doc),
            (QStringList{QStringLiteral("gedit"),
                         QStringLiteral("file:///opt/my%20app/readme.txt")}));
  EXPECT_EQ(
      ExpandExec(QStringLiteral("\"/usr/bin/my editor\" --new %f %i"), doc),
      (QStringList{QStringLiteral("/usr/bin/my editor"),
                   QStringLiteral("--new"), doc}));
  EXPECT_EQ(ExpandExec(QStringLiteral("less"), doc),
            (QStringList{QStringLiteral("less"), doc}));
  EXPECT_EQ(
      ExpandExec(QStringLiteral("x --p=100%% %F"), doc),
      (QStringList{QStringLiteral("x"), QStringLiteral("--p=100%"), doc}));
}

TEST(ApplicationsForTest, HandlersComeFirstAndHiddenOnesAreLeftOut) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto write = [&](const char* name, const char* text) {
    QFile file(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  };
  write("b.desktop",
        "[Desktop Entry]\nType=Application\nName=Bee Edit\nExec=bee %f\n"
        "MimeType=text/plain;text/x-c;\n");
  write("a.desktop",
        "[Desktop Entry]\nType=Application\nName=Alpha View\nExec=alpha %U\n");
  write("h.desktop",
        "[Desktop Entry]\nType=Application\nName=Hidden\nExec=h %f\n"
        "NoDisplay=true\n");
  write("n.desktop",
        "[Desktop Entry]\nType=Application\nName=No Files\nExec=nofiles\n");
  const QList<DesktopApplication> apps =
      ApplicationsFor(QStringLiteral("text/plain"), {dir.path()});
  ASSERT_EQ(apps.size(), 2);
  EXPECT_EQ(apps[0].name, QStringLiteral("Bee Edit"));
  EXPECT_EQ(apps[1].name, QStringLiteral("Alpha View"));
}

TEST(MimeTypeOfTest, TextFileIsPlainText) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("readme.txt"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("hello\r\n");
  file.close();
  EXPECT_EQ(MimeTypeOf(path), QStringLiteral("text/plain"));
}

}  // namespace
}  // namespace quillet
