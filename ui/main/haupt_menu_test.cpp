// SPDX-License-Identifier: GPL-3.0-or-later
// Qt Test tests of the main window Haupt: the menus: the language commands
// (d_Click, e_Click, f_Click) and the instructions (a_Click).
#include "ui/main/haupt_test_fixture.h"

namespace quillet {

class HauptMenuTest : public HauptFixture {
  Q_OBJECT

 private slots:
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
  void instructionsOpenTheProgramFoldersReadme();
  void noAssociationLeadsToTheChooser();
  void missingInstructionsStaySilent();
};

void HauptMenuTest::englishRelabelsTheWindow() {
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

void HauptMenuTest::frenchInTheBoxToMboxDirection() {
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

void HauptMenuTest::germanFirstChangesOnlyTheTitle() {
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

void HauptMenuTest::languageLeavesTheJobAndTheBoxesAlone() {
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

void HauptMenuTest::switchAfterALanguageUsesThatLanguage() {
  Start();
  Action("e")->trigger();
  Click("Command4");
  QCOMPARE(Button("Command1")->text(), Utf8("Foxmail .BOX file(s)..."));
  QCOMPARE(Button("Command2")->text(), Utf8("Save Mbox file(s) in..."));
}

void HauptMenuTest::laterDialogsAndPickerFollowTheLanguage() {
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

void HauptMenuTest::exactlyOneCheckMark() {
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

void HauptMenuTest::germanRelabelsTheOpenAboutWindowOthersDoNot() {
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

void HauptMenuTest::germanLoadsTheAboutWindowHidden() {
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

void HauptMenuTest::englishAloneLeavesTheAboutWindowToItsLoad() {
  Start();
  Action("e")->trigger();
  QVERIFY(haupt_->LoadedSplash() == nullptr);
  Action("u")->trigger();
  QCOMPARE(haupt_->LoadedSplash()->Command1->text(), Utf8("Instructions"));
  QCOMPARE(haupt_->LoadedSplash()->findChild<QLabel*>("lblProductName")->text(),
           QStringLiteral("Quillet"));
}

void HauptMenuTest::instructionsOpenTheProgramFoldersReadme() {
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

void HauptMenuTest::noAssociationLeadsToTheChooser() {
  Start();
  desktop_->SetOpenOutcome(OpenOutcome::kNoAssociation);
  Action("a")->trigger();
  QCOMPARE(desktop_->ChooserDocuments(),
           QStringList{QStringLiteral("/opt/quillet program/readme.txt")});
  QVERIFY(desktop_->Messages().isEmpty());
}

void HauptMenuTest::missingInstructionsStaySilent() {
  Start();
  desktop_->SetOpenOutcome(OpenOutcome::kFailed);  // as for a missing file
  Action("a")->trigger();
  QCOMPARE(desktop_->OpenedDocuments().size(), 1);
  QVERIFY(desktop_->ChooserDocuments().isEmpty());
  QVERIFY(desktop_->Messages().isEmpty());
  QVERIFY(haupt_->isVisible());
}

}  // namespace quillet

QTEST_MAIN(quillet::HauptMenuTest)
#include "haupt_menu_test.moc"
