// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/help/frm_splash.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>

#include "platform/fonts.h"
#include "ui/help/enter_click.h"
#include "ui/help/module1.h"
#include "ui/help/window_geometry.h"

namespace quillet {

QString VersionLine() {
  return QStringLiteral("Version %1.%2.%3")
      .arg(QUILLET_VERSION_MAJOR)
      .arg(QUILLET_VERSION_MINOR)
      .arg(QUILLET_VERSION_PATCH);
}

FrmSplash::FrmSplash(Desktop& desktop, const UiText& text,
                     std::function<void()> show_main_window)
    : QWidget(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                           Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      desktop_(desktop),
      text_(text),
      show_main_window_(std::move(show_main_window)) {
  InstallFontSubstitutions();
  setObjectName(QStringLiteral("frmSplash"));
  // No caption text, as designed. An empty title would make the X11
  // window manager show the application's name instead, so it is a blank.
  setWindowTitle(QStringLiteral(" "));
  // Task bars name a window by its icon name (_NET_WM_ICON_NAME on X11),
  // which the title bar does not show: there it is the program's name.
  setWindowIconText(QStringLiteral("Quillet"));
  // Controls without a named font use the default dialog font.
  setFont(DesignedFont(QStringLiteral("MS Sans Serif"), 8.25, false));
  setWindowIcon(QIcon(QStringLiteral(":/quillet/icon.png")));
  setFixedSize(Twips(7380), Twips(4245));

  Frame1 = new QFrame(this);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);  // etched, no caption
  Frame1->setGeometry(TwipsRect(150, 60, 7080, 4050));

  const QString arial = QStringLiteral("Arial");
  // Two of the six labels have no place in the design; they stand with the
  // maker's lines on the right.
  lblCopyright =
      AddLabel("lblCopyright", QStringLiteral("Copyright"),
               DesignedFont(arial, 8.25, false), 4560, 3000, 1680, 225);
  lblCompany =
      AddLabel("lblCompany",
               QString::fromLatin1(kMakerName) + QLatin1Char(' ') +
                   QString::fromLatin1(kMakerTrade),
               DesignedFont(arial, 8.25, false), 4560, 3270, 1680, 600);
  lblCompany->setWordWrap(true);
  lblCompany->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblVersion = AddLabel("lblVersion", QStringLiteral("V XXX"),
                        DesignedFont(arial, 12, true), 6135, 2700, 720, 285);
  lblVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblProductName =
      AddLabel("lblProductName", QStringLiteral("Quillet"),
               DesignedFont(arial, 32.25, true), 2730, 1350, 2715, 765);
  lblLicenseTo =
      AddLabel("lblLicenseTo", QStringLiteral("Freeware"),
               DesignedFont(arial, 8.25, false), 2760, 2220, 1680, 225);
  lblCompanyProduct = AddLabel(
      "lblCompanyProduct", QLatin1Char(' ') + QString::fromLatin1(kMakerName),
      DesignedFont(arial, 18, true), 2625, 735, 3015, 435);
  QPalette black = lblCompanyProduct->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  lblCompanyProduct->setPalette(black);
  for (QLabel* label : {lblVersion, lblProductName, lblCompanyProduct,
                        lblLicenseTo, lblCopyright}) {
    label->adjustSize();  // sized to fit the text
  }

  imgLogo = new QLabel(Frame1);
  imgLogo->setObjectName(QStringLiteral("imgLogo"));
  imgLogo->setGeometry(TwipsRect(360, 630, 2130, 2130));
  imgLogo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  imgLogo->setPixmap(QPixmap(QStringLiteral(":/quillet/logo.png")));
  imgLogo->installEventFilter(this);

  Command1 = new QPushButton(QStringLiteral("Anleitung"), Frame1);
  Command1->setObjectName(QStringLiteral("Command1"));
  Command1->setGeometry(TwipsRect(315, 3360, 1590, 435));
  Command1->setAutoDefault(false);
  ClickOnEnter(Command1);
  connect(Command1, &QPushButton::clicked, this, &FrmSplash::Command1_Click);

  Frame1->installEventFilter(this);
  Form_Load();
}

QLabel* FrmSplash::AddLabel(const char* name, const QString& text,
                            const QFont& font, int left, int top, int width,
                            int height) {
  auto* label = new QLabel(text, Frame1);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(font);
  label->setGeometry(TwipsRect(left, top, width, height));
  label->installEventFilter(this);
  return label;
}

void FrmSplash::Form_Load() {
  Command1->setText(text_.InstructionsCaption);
  // The label keeps its right edge and grows to the left as it fits itself.
  const int right = lblVersion->geometry().right();
  lblVersion->setText(VersionLine());
  lblVersion->adjustSize();
  lblVersion->move(right - lblVersion->width() + 1, lblVersion->y());
}

void FrmSplash::Show() {
  if (!placed_) {
    CentreOnScreen(*this);
    placed_ = true;
  }
  show();
  raise();
  activateWindow();
}

void FrmSplash::Command1_Click() {
  OpenDocument(desktop_, InstructionsPath(desktop_));
  ClickAnywhere();
}

void FrmSplash::Form_Click() { ClickAnywhere(); }
void FrmSplash::Frame1_Click() { ClickAnywhere(); }
void FrmSplash::imgLogo_Click() { ClickAnywhere(); }
void FrmSplash::lblCompany_Click() { ClickAnywhere(); }
void FrmSplash::lblCompanyProduct_Click() { ClickAnywhere(); }
void FrmSplash::lblCopyright_Click() { ClickAnywhere(); }
void FrmSplash::lblLicenseTo_Click() { ClickAnywhere(); }
void FrmSplash::lblProductName_Click() { ClickAnywhere(); }
void FrmSplash::lblVersion_Click() { ClickAnywhere(); }

void FrmSplash::ClickAnywhere() {
  if (!loaded_) return;
  show_main_window_();
  Unload();
}

void FrmSplash::Unload() {
  loaded_ = false;
  hide();
  emit Unloaded();
  deleteLater();
}

void FrmSplash::closeEvent(QCloseEvent* event) {
  // The close box or a system keystroke: act as a click, so the main
  // window shows before this one goes.
  event->accept();
  if (loaded_) ClickAnywhere();
}

void FrmSplash::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Minimised (by the window manager's keys or a task bar), the window
  // would leave nothing on the screen: act as a click instead.
  if (event->type() == QEvent::WindowStateChange &&
      (windowState() & Qt::WindowMinimized) != 0 && loaded_) {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    ClickAnywhere();
  }
}

void FrmSplash::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    ClickAnywhere();
    return;
  }
  QWidget::keyPressEvent(event);
}

void FrmSplash::mousePressEvent(QMouseEvent* event) { event->accept(); }

void FrmSplash::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton &&
      rect().contains(event->position().toPoint())) {
    Form_Click();
  }
}

bool FrmSplash::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress ||
      event->type() == QEvent::MouseButtonDblClick) {
    return true;  // the release on the same control is the click
  }
  if (event->type() != QEvent::MouseButtonRelease) {
    return QWidget::eventFilter(watched, event);
  }
  auto* mouse = static_cast<QMouseEvent*>(event);
  auto* widget = qobject_cast<QWidget*>(watched);
  if (mouse->button() != Qt::LeftButton || widget == nullptr ||
      !widget->rect().contains(mouse->position().toPoint())) {
    return true;
  }
  if (watched == Frame1) {
    Frame1_Click();
  } else if (watched == imgLogo) {
    imgLogo_Click();
  } else if (watched == lblCompany) {
    lblCompany_Click();
  } else if (watched == lblCompanyProduct) {
    lblCompanyProduct_Click();
  } else if (watched == lblCopyright) {
    lblCopyright_Click();
  } else if (watched == lblLicenseTo) {
    lblLicenseTo_Click();
  } else if (watched == lblProductName) {
    lblProductName_Click();
  } else if (watched == lblVersion) {
    lblVersion_Click();
  }
  return true;
}

}  // namespace quillet
