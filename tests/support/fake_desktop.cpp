// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_desktop.h"

#include "platform/open_dialog_rules.h"

namespace quillet {

void FakeDesktop::AnswerOpen(const QString& file_name) {
  open_answers_.append({DialogOutcome::kChosen, file_name, QString()});
}

void FakeDesktop::AnswerOpenFiles(const QStringList& paths) {
  AnswerOpen(ComposeOpenAnswer(paths));
}

void FakeDesktop::CancelOpen() {
  open_answers_.append({DialogOutcome::kCancelled, QString(), QString()});
}

void FakeDesktop::FailOpen(const QString& reason) {
  open_answers_.append({DialogOutcome::kFailed, QString(), reason});
}

void FakeDesktop::AnswerFolder(const QString& path) {
  folder_answers_.append({DialogOutcome::kChosen, path, QString()});
}

void FakeDesktop::CancelFolder() {
  folder_answers_.append({DialogOutcome::kCancelled, QString(), QString()});
}

void FakeDesktop::FailFolder(const QString& reason) {
  folder_answers_.append({DialogOutcome::kFailed, QString(), reason});
}

OpenDialogAnswer FakeDesktop::ShowOpen(const OpenDialogSettings& settings) {
  open_requests_.append(settings);
  if (open_answers_.isEmpty()) return {};
  return open_answers_.takeFirst();
}

FolderAnswer FakeDesktop::BrowseForFolder(const QString& prompt) {
  folder_prompts_.append(prompt);
  if (folder_answers_.isEmpty()) return {};
  return folder_answers_.takeFirst();
}

void FakeDesktop::ShowMessage(const QString& text, MessageIcon icon) {
  messages_.append({text, icon});
  if (on_message_) on_message_(messages_.back());
}

bool FakeDesktop::Confirm(const QString& text, const QString& accept,
                          const QString& reject) {
  questions_.append({text, accept, reject});
  return !confirm_answers_.isEmpty() && confirm_answers_.takeFirst();
}

OpenOutcome FakeDesktop::OpenWithAssociatedProgram(const QString& path) {
  opened_documents_.append(path);
  return open_outcome_;
}

void FakeDesktop::ShowProgramChooser(const QString& path) {
  chooser_documents_.append(path);
}

}  // namespace quillet
