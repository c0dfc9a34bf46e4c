// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/text/ui_text.h"

namespace quillet {
namespace {

// The tables are kept as UTF-8 literals; every character lies within
// Latin-1 ("ä", "Ö", "Ü", "é", "î", "°"), and "..." is three full stops.
struct Table {
  const char* pick_box_files;
  const char* mbox_folder;
  const char* pick_mbox_files;
  const char* box_folder;
  const char* box_filter;
  const char* mbox_filter;
  const char* folder_prompt;
  const char* progress_prefix;
  const char* progress_middle;
  const char* progress_suffix;
  const char* done_message;
  const char* language_menu;
  const char* window_title;
  const char* help_menu;
  const char* instructions;
  const char* about_menu;
};

constexpr Table kGerman = {
    "Rerure(en) wählen...",
    "Mbox Ordner wählen...",
    "Mbox(en) wählen...",
    "Rerure Ordner wählen...",
    "Foxmail-Mailboxen (*.box)|*.box",
    "Mbox-Mailboxen (*.*)|*.*",
    "Wählen Sie einen Ordner aus:",
    "konvertiere Mailbox ",
    " Nachricht ",
    ", bitte warten...",
    "Fertig. Öffnen Sie nun Ihr Mailprogramm.",
    "Sprache",
    "Mbox<-> Rerure Konverter V.0.3.1",
    "Hilfe",
    "Anleitung",
    "Über",
};

constexpr Table kEnglish = {
    "Foxmail .BOX file(s)...",
    "Save Mbox file(s) in...",
    "Mbox file(s)...",
    "Save .BOX file(s) in...",
    "Foxmail-Mailboxes (*.box)|*.box",
    "Mbox-Mailboxes (*.*)|*.*",
    "Choose a Folder",
    "converting mailbox ",
    " message ",
    ", pleasse wait...",
    "Everything done. Open your mailclient.",
    "Language",
    "Mbox <-> Foxmail .BOX Converter V.0.3.1",
    "Help",
    "Instructions",
    "About",
};

constexpr Table kFrench = {
    "Fichier(s) .BOX...",
    "Créer le(s) mbox dans...",
    "Fichier(s) mbox...",
    "Créer le(s) .BOX dans...",
    "Boîte aux lettres Foxmail (*.BOX)|*.BOX",
    "Boîte aux lettres mbox (*.*)|*.*",
    "Choisissez le dossier de destination:",
    "Conversion Boîte n° ",
    " / Message n° ",
    " , merci de patienter...",
    "Terminé, vous pouvez utiliser votre nouveau client mail.",
    "Langage",
    "Convertisseur mbox <-> Foxmail .BOX V.0.3.1",
    "Aide",
    "Instruction",
    "par...",
};

const Table& TableFor(Language language) {
  return ForLanguage(language, kGerman, kEnglish, kFrench);
}

}  // namespace

void FillUiText(UiText& text, Language language) {
  const Table& t = TableFor(language);
  // Built whole, then assigned, so the record never holds a mix of languages.
  text = UiText{
      QString::fromUtf8(t.pick_box_files),
      QString::fromUtf8(t.mbox_folder),
      QString::fromUtf8(t.pick_mbox_files),
      QString::fromUtf8(t.box_folder),
      QString::fromUtf8(t.box_filter),
      QString::fromUtf8(t.mbox_filter),
      QString::fromUtf8(t.folder_prompt),
      QString::fromUtf8(t.progress_prefix),
      QString::fromUtf8(t.progress_middle),
      QString::fromUtf8(t.progress_suffix),
      QString::fromUtf8(t.done_message),
      QString::fromUtf8(t.language_menu),
      QString::fromUtf8(t.window_title),
      QString::fromUtf8(t.help_menu),
      QString::fromUtf8(t.instructions),
      QString::fromUtf8(t.about_menu),
  };
}

ProgressText ProgressTextOf(const UiText& text) {
  return {text.ProgressPrefix, text.ProgressMiddle, text.ProgressSuffix};
}

QString ProgressStatus(const UiText& text, qint64 mailbox_number,
                       qint64 message_number) {
  return StatusLine(ProgressTextOf(text), mailbox_number, message_number);
}

}  // namespace quillet
