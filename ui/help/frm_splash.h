// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_HELP_FRM_SPLASH_H_
#define QUILLET_UI_HELP_FRM_SPLASH_H_

#include <QWidget>
#include <functional>

#include "platform/desktop.h"
#include "ui/text/ui_text.h"

class QFrame;
class QLabel;
class QPushButton;

namespace quillet {

// The maker as the About window names it.
inline constexpr char kMakerName[] = "Quillet Werkstatt";
inline constexpr char kMakerTrade[] = "Mailbox tools";

// The About window frmSplash: splash screen at start-up and About
// box of the Help menu. Constructing it is loading it (the load step runs);
// it is shown only by Show(). Any click on it shows the main window and
// unloads it; its button opens the instructions first. Closing or
// minimising it by its title bar, the window manager or the keyboard acts
// as a click, so there is never a moment with no window shown.
class FrmSplash : public QWidget {
  Q_OBJECT

 public:
  // `text` is the program's one UiText record; `show_main_window` is the
  // main window's Show. Both must outlive the window.
  FrmSplash(Desktop& desktop, const UiText& text,
            std::function<void()> show_main_window);

  // Makes the window visible, centred, and brings it to the front.
  void Show();
  // False once a click handler has unloaded it (it is then deleted later).
  bool IsLoaded() const { return loaded_; }

  void Form_Load();
  void Command1_Click();
  void Form_Click();
  void Frame1_Click();
  void imgLogo_Click();
  void lblCompany_Click();
  void lblCompanyProduct_Click();
  void lblCopyright_Click();
  void lblLicenseTo_Click();
  void lblProductName_Click();
  void lblVersion_Click();

  QPushButton* Command1 = nullptr;

 signals:
  void Unloaded();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ClickAnywhere();  // what all nine click handlers do
  void Unload();
  QLabel* AddLabel(const char* name, const QString& text, const QFont& font,
                   int left, int top, int width, int height);

  Desktop& desktop_;
  const UiText& text_;
  std::function<void()> show_main_window_;
  bool loaded_ = true;
  bool placed_ = false;

  QFrame* Frame1 = nullptr;
  QLabel* lblCompanyProduct = nullptr;
  QLabel* lblProductName = nullptr;
  QLabel* imgLogo = nullptr;
  QLabel* lblVersion = nullptr;
  QLabel* lblCompany = nullptr;
  QLabel* lblLicenseTo = nullptr;
  QLabel* lblCopyright = nullptr;
};

// The version line of the About window: "Version 0.3.1".
QString VersionLine();

}  // namespace quillet

#endif  // QUILLET_UI_HELP_FRM_SPLASH_H_
