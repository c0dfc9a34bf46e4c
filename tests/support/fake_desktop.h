// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_SUPPORT_FAKE_DESKTOP_H_
#define QUILLET_TESTS_SUPPORT_FAKE_DESKTOP_H_

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/desktop.h"

namespace quillet {

// A Desktop for tests and the GUI benchmark (no shipped program links it):
// answers every dialog from a queue set up beforehand (cancelling when the
// queue is empty), records what the windows asked for, and never shows or
// starts anything.
class FakeDesktop : public Desktop {
 public:
  struct Message {
    QString text;
    MessageIcon icon;
  };
  struct Question {
    QString text;
    QString accept;
    QString reject;
  };

  // Answers of the file-open dialog, in order.
  void AnswerOpen(const QString& file_name);  // kChosen with this value
  void AnswerOpenFiles(
      const QStringList& paths);  // composed as the real dialog does
  void CancelOpen();
  void FailOpen(const QString& reason);
  // Answers of the folder picker, in order.
  void AnswerFolder(const QString& path);
  void CancelFolder();
  void FailFolder(const QString& reason);
  // What the document opener comes to (kOpened unless set).
  void SetOpenOutcome(OpenOutcome outcome) { open_outcome_ = outcome; }
  void SetProgramFolder(const QString& folder) { program_folder_ = folder; }
  // Answers of Confirm, in order (true: accept); the default, reject, when
  // none is left.
  void AnswerConfirm(bool accept) { confirm_answers_.append(accept); }
  // Called inside ShowMessage, as while the box is open.
  void SetOnMessage(std::function<void(const Message&)> on_message) {
    on_message_ = std::move(on_message);
  }

  // What was asked, in order.
  const QList<OpenDialogSettings>& OpenRequests() const {
    return open_requests_;
  }
  const QStringList& FolderPrompts() const { return folder_prompts_; }
  const QList<Message>& Messages() const { return messages_; }
  const QList<Question>& Questions() const { return questions_; }
  // The documents handed to OpenWithAssociatedProgram / ShowProgramChooser.
  const QStringList& OpenedDocuments() const { return opened_documents_; }
  const QStringList& ChooserDocuments() const { return chooser_documents_; }

  OpenDialogAnswer ShowOpen(const OpenDialogSettings& settings) override;
  FolderAnswer BrowseForFolder(const QString& prompt) override;
  void ShowMessage(const QString& text, MessageIcon icon) override;
  bool Confirm(const QString& text, const QString& accept,
               const QString& reject) override;
  OpenOutcome OpenWithAssociatedProgram(const QString& path) override;
  void ShowProgramChooser(const QString& path) override;
  QString ProgramFolder() override { return program_folder_; }

 private:
  QList<OpenDialogAnswer> open_answers_;
  QList<FolderAnswer> folder_answers_;
  OpenOutcome open_outcome_ = OpenOutcome::kOpened;
  QString program_folder_ = QStringLiteral("/opt/quillet");
  std::function<void(const Message&)> on_message_;
  QList<OpenDialogSettings> open_requests_;
  QStringList folder_prompts_;
  QList<Message> messages_;
  QList<bool> confirm_answers_;
  QList<Question> questions_;
  QStringList opened_documents_;
  QStringList chooser_documents_;
};

}  // namespace quillet

#endif  // QUILLET_TESTS_SUPPORT_FAKE_DESKTOP_H_
