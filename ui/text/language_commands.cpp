// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/text/language_commands.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QWidget>

#include "ui/text/qt_translations.h"

namespace quillet {
namespace {

void GiveWindowTheFocus(QWidget* window) {
  window->activateWindow();
  window->raise();
}

}  // namespace

const QString& SourceButtonCaption(const UiText& text, bool mbox_to_box) {
  return mbox_to_box ? text.PickMboxFilesCaption : text.PickBoxFilesCaption;
}

const QString& TargetButtonCaption(const UiText& text, bool mbox_to_box) {
  return mbox_to_box ? text.BoxFolderCaption : text.MboxFolderCaption;
}

void RunLanguageCommand(Language language, UiText& text,
                        const LanguageSurface& surface, bool mbox_to_box) {
  FillUiText(text, language);  // 1
  // Qt's own dialogs and message boxes follow; nothing here depends on
  // whether the system has the file.
  UseQtTranslations(language);
  if (language == Language::kEnglish) GiveWindowTheFocus(surface.window);  // 2
  surface.window->setWindowTitle(text.WindowTitle);                        // 3
  surface.s->setTitle(text.LanguageMenuCaption);                           // 4
  surface.h->setTitle(text.HelpMenuCaption);                               // 5
  surface.a->setText(text.InstructionsCaption);                            // 6
  if (language == Language::kGerman && surface.load_about_button) {        // 7
    if (QAbstractButton* button = surface.load_about_button()) {
      button->setText(text.InstructionsCaption);
    }
  }
  surface.u->setText(text.AboutMenuCaption);             // 8
  surface.d->setChecked(language == Language::kGerman);  // 9
  surface.e->setChecked(language == Language::kEnglish);
  surface.f->setChecked(language == Language::kFrench);
  surface.Command1->setText(SourceButtonCaption(text, mbox_to_box));  // 10
  surface.Command2->setText(TargetButtonCaption(text, mbox_to_box));
  if (language == Language::kFrench) GiveWindowTheFocus(surface.window);  // 11
}

Language CheckedLanguage(const LanguageSurface& surface) {
  if (surface.e != nullptr && surface.e->isChecked()) return Language::kEnglish;
  if (surface.f != nullptr && surface.f->isChecked()) return Language::kFrench;
  return Language::kGerman;
}

}  // namespace quillet
