// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_TEXT_QT_TRANSLATIONS_H_
#define QUILLET_UI_TEXT_QT_TRANSLATIONS_H_

#include <QString>

#include "ui/text/ui_text.h"

namespace quillet {

// Qt's own texts (the file dialog's "Look in" and "Cancel", the message
// boxes' buttons) in the interface language: loads Qt's translations for
// the language from the system's Qt translations folder in place of those
// loaded before. English is Qt's own language and needs no file. Dialogs
// made afterwards speak the language. Returns false when the language's
// file is not installed; Qt's texts are then English.
bool UseQtTranslations(Language language);

// The language last given to UseQtTranslations (English before any): the
// language Qt's dialogs speak, for texts added to them.
Language QtTextsLanguage();

// Where Qt's translations of the language are looked for ("" for English).
QString QtTranslationsFile(Language language);

}  // namespace quillet

#endif  // QUILLET_UI_TEXT_QT_TRANSLATIONS_H_
