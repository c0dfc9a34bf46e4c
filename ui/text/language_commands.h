// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_TEXT_LANGUAGE_COMMANDS_H_
#define QUILLET_UI_TEXT_LANGUAGE_COMMANDS_H_

#include <functional>

#include "ui/text/ui_text.h"

class QAbstractButton;
class QAction;
class QMenu;
class QWidget;

namespace quillet {

// What a language command relabels. Everything is the main
// window's, except the About window's button, which `load_about_button`
// gives, loading that window hidden first when it is not loaded.
struct LanguageSurface {
  QWidget* window = nullptr;
  QMenu* s = nullptr;
  QMenu* h = nullptr;
  QAction* a = nullptr;
  QAction* u = nullptr;
  QAction* d = nullptr;
  QAction* e = nullptr;
  QAction* f = nullptr;
  QAbstractButton* Command1 = nullptr;
  QAbstractButton* Command2 = nullptr;
  std::function<QAbstractButton*()> load_about_button;
};

// The language commands d_Click, e_Click and f_Click: fill `text` with the
// language and switch Qt's own texts to it, then relabel step by step.
// `mbox_to_box` picks the captions of the source and target buttons.
void RunLanguageCommand(Language language, UiText& text,
                        const LanguageSurface& surface, bool mbox_to_box);

// The captions of the source and target buttons for a direction, as the
// direction switch and the language commands choose them.
const QString& SourceButtonCaption(const UiText& text, bool mbox_to_box);
const QString& TargetButtonCaption(const UiText& text, bool mbox_to_box);

// The current language, read off the check marks of the language items:
// together with UiText the whole language state.
Language CheckedLanguage(const LanguageSurface& surface);

}  // namespace quillet

#endif  // QUILLET_UI_TEXT_LANGUAGE_COMMANDS_H_
