// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_MAIN_HAUPT_H_
#define QUILLET_UI_MAIN_HAUPT_H_

#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <optional>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"
#include "platform/common_dialog.h"
#include "platform/desktop.h"
#include "ui/text/language_commands.h"
#include "ui/text/ui_text.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;

namespace quillet {

class FrmSplash;

// The title of the main window as designed; differs from every WindowTitle
// of the text tables.
inline constexpr char kDesignedTitle[] = "Mbox <-> Rerure Konverter V. 0.3.1";
// "Go!" ready: light red, RGB 255, 192, 192 (colour value 12632319).
inline const QColor kReadyColour(255, 192, 192);

// The main window Haupt: owns the job, the UiText record, the file-system
// service and the About window, and carries the handlers of the job setup,
// the run, the languages and the Help menu. Constructing it loads it as
// designed; Form_Load is the load step the program runs next.
class Haupt : public QMainWindow {
  Q_OBJECT

 public:
  // `files` stands for the file-system service the load step creates;
  // null means the real file system.
  explicit Haupt(Desktop& desktop, FileLayer* files = nullptr);
  ~Haupt() override;

  void Form_Load();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void d_Click();
  void e_Click();
  void f_Click();
  void a_Click();
  void u_Click();

  // Makes the window visible and active (centred the first time).
  void Show();
  // Mailboxes from outside (the command line, a drop): fill the job as the
  // file dialog would, the direction switched to the files' format. Files
  // of several folders or of both formats, folders, missing files and
  // files of neither format are refused with one message, the job left as
  // it was. Nothing for an empty list, or while a run lasts.
  void TakeFiles(const QStringList& paths);
  // Unloads the window, and the About window with it: ends the program.
  void Unload();

  const ConversionJob& Job() const { return job_; }
  const UiText& Text() const { return UiText_; }
  CommonDialog& Dialog() { return *CommonDialog1; }
  // The About window while it is loaded (shown or hidden), else null.
  FrmSplash* LoadedSplash();
  bool IsRunning() const { return running_; }
  bool IsUnloaded() const { return unloaded_; }
  int LastRepaintCount() const { return last_repaint_count_; }

 signals:
  // The window has been unloaded: the program ends.
  void Unloaded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  void CreateMenus();
  FrmSplash* LoadSplash();
  void SetGoColour(const QColor& colour);
  LanguageSurface Surface();
  void ShowFailure(const QString& text);
  // The status line after a stopped run, in the checked language.
  void ShowStoppedStatus();
  // The dialog's answer applied to the job: list, folders, boxes, "Go!".
  void ApplyOpenAnswer(const QString& answer);
  // Tells of files in the chosen folder that the dialog could not show.
  void WarnOfUndecodableNames();

  Desktop& desktop_;
  FileLayer* injected_files_;

  // Members as designed.
  FileLayer* FileSystem = nullptr;
  ConversionJob job_;
  UiText UiText_;

  QPushButton* Command1 = nullptr;
  QLineEdit* Text1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* Command3 = nullptr;
  QPushButton* Command2 = nullptr;
  QLineEdit* Text2 = nullptr;
  QLabel* Label1 = nullptr;
  QPushButton* Command4 = nullptr;
  QLabel* picToBox = nullptr;
  QLabel* picToMbox = nullptr;
  CommonDialog* CommonDialog1 = nullptr;
  QMenu* s = nullptr;
  QAction* d = nullptr;
  QAction* f = nullptr;
  QAction* e = nullptr;
  QMenu* h = nullptr;
  QAction* a = nullptr;
  QAction* u = nullptr;

  QPointer<FrmSplash> splash_;
  // Why the last run stopped, while the status line tells of it.
  std::optional<RunFailure> stopped_;
  // Source folders (with the direction) whose undecodable names were told.
  QSet<QString> warned_folders_;
  bool running_ = false;
  bool unloaded_ = false;
  bool placed_ = false;
  int last_repaint_count_ = 0;
};

}  // namespace quillet

#endif  // QUILLET_UI_MAIN_HAUPT_H_
