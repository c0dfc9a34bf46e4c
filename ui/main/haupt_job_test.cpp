// SPDX-License-Identifier: GPL-3.0-or-later
// Qt Test tests of the main window Haupt: setting up the job: choosing the
// mailboxes (Command1_Click), the target folder (Command2_Click) and the
// direction (Command4_Click).
#include "ui/main/haupt_test_fixture.h"

namespace quillet {

class HauptJobTest : public HauptFixture {
  Q_OBJECT

 private slots:
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
  void targetBeforeSourcesLeavesGoAlone();
  void targetInTheRootGetsNoSecondSeparator();
  void cancelledPickerKeepsTheTarget();
  void targetAfterSourcesMakesGoReady();
  void targetRightAfterADirectionSwitchLeavesGoAlone();
  void failingFolderPickerShowsOneMessage();
  void switchRightAfterStart();
  void twoSwitchesBringTheDirectionBackButNotTheSelection();
  void switchAfterASelectionKeepsOnlyTheTarget();
  void dialogFilterAndDefaultExtensionFollowTheDirection();
};

void HauptJobTest::oneFileSetsFoldersAndMakesGoReady() {
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

void HauptJobTest::severalFilesAddTheSeparatorToTheFolder() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/mail") + kNul + "a" + kNul + "b");
  Click("Command1");
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/mail/"));
  QCOMPARE(haupt_->Job().MailboxFiles,
           (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
  QCOMPARE(Edit("Text1")->text(), QStringLiteral("/mail/"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/mail/"));
}

void HauptJobTest::severalFilesInTheRootKeepOneSeparator() {
  Start();
  desktop_->AnswerOpenFiles({QStringLiteral("/a"), QStringLiteral("/b")});
  Click("Command1");
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/"));
  QCOMPARE(haupt_->Job().MailboxFiles,
           (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
  QCOMPARE(Edit("Text1")->text(), QStringLiteral("/"));
}

void HauptJobTest::oneFileInTheRoot() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/x"));
  Click("Command1");
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/"));
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{QStringLiteral("x")});
  QCOMPARE(Edit("Text1")->text(), QStringLiteral("/x"));
}

void HauptJobTest::cancelBeforeAnySelectionChangesNothing() {
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

void HauptJobTest::cancelAfterASelectionAppliesTheLastAnswerAgain() {
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

void HauptJobTest::targetChosenFirstIsKept() {
  Start();
  desktop_->AnswerFolder(QStringLiteral("/d/Out"));
  Click("Command2");
  desktop_->AnswerOpen(QStringLiteral("/c/Mail/inbox"));
  Click("Command1");
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/d/Out/"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/d/Out/"));
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/c/Mail/"));
}

void HauptJobTest::defaultedTargetStaysWithSourcesFromElsewhere() {
  Start();
  desktop_->AnswerOpen(QStringLiteral("/A/x"));
  Click("Command1");
  desktop_->AnswerOpen(QStringLiteral("/B/y"));
  Click("Command1");
  QCOMPARE(haupt_->Job().SourceFolder, QStringLiteral("/B/"));
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/A/"));
}

void HauptJobTest::newSelectionReplacesTheOldList() {
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

void HauptJobTest::selectionLongerThan260CharactersIsTaken() {
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

void HauptJobTest::failingFileDialogShowsOneMessageAndKeepsTheJob() {
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

void HauptJobTest::targetBeforeSourcesLeavesGoAlone() {
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

void HauptJobTest::targetInTheRootGetsNoSecondSeparator() {
  Start();
  desktop_->AnswerFolder(QStringLiteral("/"));
  Click("Command2");
  QCOMPARE(haupt_->Job().TargetFolder, QStringLiteral("/"));
  QCOMPARE(Edit("Text2")->text(), QStringLiteral("/"));
}

void HauptJobTest::cancelledPickerKeepsTheTarget() {
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

void HauptJobTest::targetAfterSourcesMakesGoReady() {
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

void HauptJobTest::targetRightAfterADirectionSwitchLeavesGoAlone() {
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

void HauptJobTest::failingFolderPickerShowsOneMessage() {
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

void HauptJobTest::switchRightAfterStart() {
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

void HauptJobTest::twoSwitchesBringTheDirectionBackButNotTheSelection() {
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

void HauptJobTest::switchAfterASelectionKeepsOnlyTheTarget() {
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

void HauptJobTest::dialogFilterAndDefaultExtensionFollowTheDirection() {
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

}  // namespace quillet

QTEST_MAIN(quillet::HauptJobTest)
#include "haupt_job_test.moc"
