// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_TEXT_UI_TEXT_H_
#define QUILLET_UI_TEXT_UI_TEXT_H_

#include <QString>

#include "conversion/conversion_reporter.h"

namespace quillet {

// The interface languages. Every start of the program is German.
enum class Language { kGerman, kEnglish, kFrench };

// The one of three things that belongs to `language`: tables of texts kept
// side by side for German, English and French.
template <class T>
const T& ForLanguage(Language language, const T& german, const T& english,
                     const T& french) {
  switch (language) {
    case Language::kEnglish:
      return english;
    case Language::kFrench:
      return french;
    case Language::kGerman:
      break;
  }
  return german;
}

// The sixteen strings of the current interface language. One record serves
// the whole program; readers take a field at the moment they need it and keep
// no copy, so a language change shows at each text's next use.
//
// BoxFilter and MboxFilter form a pair (BoxFilter first), each in the file
// dialog's two-field form "shown text|pattern".
struct UiText {
  QString PickBoxFilesCaption;
  QString MboxFolderCaption;
  QString PickMboxFilesCaption;
  QString BoxFolderCaption;
  QString BoxFilter;
  QString MboxFilter;
  QString FolderPrompt;
  QString ProgressPrefix;
  QString ProgressMiddle;
  QString ProgressSuffix;
  QString DoneMessage;
  QString LanguageMenuCaption;
  QString WindowTitle;
  QString HelpMenuCaption;
  QString InstructionsCaption;
  QString AboutMenuCaption;

  friend bool operator==(const UiText&, const UiText&) = default;
};

// Replaces all sixteen strings of `text` with the table of `language`.
// Relabels nothing by itself.
void FillUiText(UiText& text, Language language);

// The pieces of a run's status line in this language, as the engine takes
// them.
ProgressText ProgressTextOf(const UiText& text);

// The status line of a run: prefix, mailbox number, middle, message number,
// suffix, joined as they stand; numbers in plain decimal digits.
QString ProgressStatus(const UiText& text, qint64 mailbox_number,
                       qint64 message_number);

}  // namespace quillet

#endif  // QUILLET_UI_TEXT_UI_TEXT_H_
