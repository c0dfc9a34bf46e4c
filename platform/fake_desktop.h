#ifndef QUILLET_PLATFORM_FAKE_DESKTOP_H_
#define QUILLET_PLATFORM_FAKE_DESKTOP_H_

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/desktop.h"

namespace quillet {

// A Desktop for tests and the GUI benchmark: answers every dialog from a
// queue set up beforehand (cancelling when the queue is empty), records
// what the windows asked for, and never shows or starts anything.
class FakeDesktop : public Desktop {
 public:
  struct Message {
    QString text;
    MessageIcon icon;
  };

  // Answers of the file-open dialog, in order.
  void AnswerOpen(const QString& file_name);     // kChosen with this value
  void AnswerOpenFiles(const QStringList& paths);  // composed as Part 2.2
  void CancelOpen();
  void FailOpen(const QString& reason);
  // Answers of the folder picker, in order.
  void AnswerFolder(const QString& path);
  void CancelFolder();
  void FailFolder(const QString& reason);
  // What the document opener comes to (kOpened unless set).
  void SetOpenOutcome(OpenOutcome outcome) { open_outcome_ = outcome; }
  void SetProgramFolder(const QString& folder) { program_folder_ = folder; }
  // Called inside ShowMessage, as while the box is open.
  std::function<void(const Message&)> on_message;

  // What was asked.
  QList<OpenDialogSettings> open_requests;
  QStringList folder_prompts;
  QList<Message> messages;
  QStringList opened_documents;  // OpenWithAssociatedProgram
  QStringList chooser_documents;  // ShowProgramChooser

  OpenDialogAnswer ShowOpen(const OpenDialogSettings& settings) override;
  FolderAnswer BrowseForFolder(const QString& prompt) override;
  void ShowMessage(const QString& text, MessageIcon icon) override;
  OpenOutcome OpenWithAssociatedProgram(const QString& path) override;
  void ShowProgramChooser(const QString& path) override;
  QString ProgramFolder() override { return program_folder_; }

 private:
  QList<OpenDialogAnswer> open_answers_;
  QList<FolderAnswer> folder_answers_;
  OpenOutcome open_outcome_ = OpenOutcome::kOpened;
  QString program_folder_ = QStringLiteral("/opt/quillet");
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_FAKE_DESKTOP_H_
