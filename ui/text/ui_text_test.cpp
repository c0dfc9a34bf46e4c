// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/text/ui_text.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

// The texts are compared as UTF-8 bytes, so a wrong blank, a missing "s" in
// "pleasse" or an ellipsis character in place of "..." shows.
std::string Bytes(const QString& s) { return s.toUtf8().toStdString(); }

TEST(UiTextTables, GermanTableIsExact) {
  UiText t;
  FillUiText(t, Language::kGerman);
  EXPECT_EQ(Bytes(t.PickBoxFilesCaption), "Rerure(en) w\xC3\xA4hlen...");
  EXPECT_EQ(Bytes(t.MboxFolderCaption), "Mbox Ordner w\xC3\xA4hlen...");
  EXPECT_EQ(Bytes(t.PickMboxFilesCaption), "Mbox(en) w\xC3\xA4hlen...");
  EXPECT_EQ(Bytes(t.BoxFolderCaption), "Rerure Ordner w\xC3\xA4hlen...");
  EXPECT_EQ(Bytes(t.BoxFilter), "Foxmail-Mailboxen (*.box)|*.box");
  EXPECT_EQ(Bytes(t.MboxFilter), "Mbox-Mailboxen (*.*)|*.*");
  EXPECT_EQ(Bytes(t.FolderPrompt), "W\xC3\xA4hlen Sie einen Ordner aus:");
  EXPECT_EQ(Bytes(t.ProgressPrefix), "konvertiere Mailbox ");
  EXPECT_EQ(Bytes(t.ProgressMiddle), " Nachricht ");
  EXPECT_EQ(Bytes(t.ProgressSuffix), ", bitte warten...");
  EXPECT_EQ(Bytes(t.DoneMessage),
            "Fertig. \xC3\x96"
            "ffnen Sie nun Ihr Mailprogramm.");
  EXPECT_EQ(Bytes(t.LanguageMenuCaption), "Sprache");
  EXPECT_EQ(Bytes(t.WindowTitle), "Mbox<-> Rerure Konverter V.0.3.1");
  EXPECT_EQ(Bytes(t.HelpMenuCaption), "Hilfe");
  EXPECT_EQ(Bytes(t.InstructionsCaption), "Anleitung");
  EXPECT_EQ(Bytes(t.AboutMenuCaption),
            "\xC3\x9C"
            "ber");
}

TEST(UiTextTables, EnglishTableIsExact) {
  UiText t;
  FillUiText(t, Language::kEnglish);
  EXPECT_EQ(Bytes(t.PickBoxFilesCaption), "Foxmail .BOX file(s)...");
  EXPECT_EQ(Bytes(t.MboxFolderCaption), "Save Mbox file(s) in...");
  EXPECT_EQ(Bytes(t.PickMboxFilesCaption), "Mbox file(s)...");
  EXPECT_EQ(Bytes(t.BoxFolderCaption), "Save .BOX file(s) in...");
  EXPECT_EQ(Bytes(t.BoxFilter), "Foxmail-Mailboxes (*.box)|*.box");
  EXPECT_EQ(Bytes(t.MboxFilter), "Mbox-Mailboxes (*.*)|*.*");
  EXPECT_EQ(Bytes(t.FolderPrompt), "Choose a Folder");
  EXPECT_EQ(Bytes(t.ProgressPrefix), "converting mailbox ");
  EXPECT_EQ(Bytes(t.ProgressMiddle), " message ");
  EXPECT_EQ(Bytes(t.ProgressSuffix), ", pleasse wait...");
  EXPECT_EQ(Bytes(t.DoneMessage), "Everything done. Open your mailclient.");
  EXPECT_EQ(Bytes(t.LanguageMenuCaption), "Language");
  EXPECT_EQ(Bytes(t.WindowTitle), "Mbox <-> Foxmail .BOX Converter V.0.3.1");
  EXPECT_EQ(Bytes(t.HelpMenuCaption), "Help");
  EXPECT_EQ(Bytes(t.InstructionsCaption), "Instructions");
  EXPECT_EQ(Bytes(t.AboutMenuCaption), "About");
}

TEST(UiTextTables, FrenchTableIsExact) {
  UiText t;
  FillUiText(t, Language::kFrench);
  EXPECT_EQ(Bytes(t.PickBoxFilesCaption), "Fichier(s) .BOX...");
  EXPECT_EQ(Bytes(t.MboxFolderCaption),
            "Cr\xC3\xA9"
            "er le(s) mbox dans...");
  EXPECT_EQ(Bytes(t.PickMboxFilesCaption), "Fichier(s) mbox...");
  EXPECT_EQ(Bytes(t.BoxFolderCaption),
            "Cr\xC3\xA9"
            "er le(s) .BOX dans...");
  EXPECT_EQ(Bytes(t.BoxFilter),
            "Bo\xC3\xAEte aux lettres Foxmail (*.BOX)|*.BOX");
  EXPECT_EQ(Bytes(t.MboxFilter), "Bo\xC3\xAEte aux lettres mbox (*.*)|*.*");
  EXPECT_EQ(Bytes(t.FolderPrompt), "Choisissez le dossier de destination:");
  EXPECT_EQ(Bytes(t.ProgressPrefix), "Conversion Bo\xC3\xAEte n\xC2\xB0 ");
  EXPECT_EQ(Bytes(t.ProgressMiddle), " / Message n\xC2\xB0 ");
  EXPECT_EQ(Bytes(t.ProgressSuffix), " , merci de patienter...");
  EXPECT_EQ(Bytes(t.DoneMessage),
            "Termin\xC3\xA9, vous pouvez utiliser votre nouveau client mail.");
  EXPECT_EQ(Bytes(t.LanguageMenuCaption), "Langage");
  EXPECT_EQ(Bytes(t.WindowTitle),
            "Convertisseur mbox <-> Foxmail .BOX V.0.3.1");
  EXPECT_EQ(Bytes(t.HelpMenuCaption), "Aide");
  EXPECT_EQ(Bytes(t.InstructionsCaption), "Instruction");
  EXPECT_EQ(Bytes(t.AboutMenuCaption), "par...");
}

TEST(UiTextFill, ReplacesEveryFieldAndRepeatsIdentically) {
  UiText english;
  FillUiText(english, Language::kEnglish);
  UiText t;
  FillUiText(t, Language::kFrench);
  FillUiText(t, Language::kEnglish);
  EXPECT_EQ(t, english);  // nothing of the French table is left over
  FillUiText(t, Language::kEnglish);
  EXPECT_EQ(t, english);
}

TEST(UiTextStatus, JoinsPiecesWithPlainNumbers) {
  UiText t;
  FillUiText(t, Language::kGerman);
  EXPECT_EQ(Bytes(ProgressStatus(t, 2, 17)),
            "konvertiere Mailbox 2 Nachricht 17, bitte warten...");
  FillUiText(t, Language::kEnglish);
  EXPECT_EQ(Bytes(ProgressStatus(t, 1, 3)),
            "converting mailbox 1 message 3, pleasse wait...");
  FillUiText(t, Language::kFrench);
  EXPECT_EQ(Bytes(ProgressStatus(t, 1, 3)),
            "Conversion Bo\xC3\xAEte n\xC2\xB0 1 / Message n\xC2\xB0 3 , merci "
            "de patienter...");
  EXPECT_EQ(Bytes(ProgressStatus(t, 40000, 1234567)),
            "Conversion Bo\xC3\xAEte n\xC2\xB0 40000 / Message n\xC2\xB0 "
            "1234567 , merci de patienter...");
}

}  // namespace
}  // namespace quillet
