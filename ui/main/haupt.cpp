// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/haupt.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

#include "conversion/job_check.h"
#include "platform/fonts.h"
#include "platform/open_dialog_rules.h"
#include "ui/help/enter_click.h"
#include "ui/help/frm_splash.h"
#include "ui/help/module1.h"
#include "ui/help/window_geometry.h"
#include "ui/main/graphical_button.h"
#include "ui/main/progress_binding.h"
#include "ui/text/failure_text.h"
#include "ui/text/qt_translations.h"

namespace quillet {
namespace {

QColor ButtonFace() {
  return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

template <typename W>
W* Place(W* widget, const char* name, int left, int top, int width,
         int height) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(TwipsRect(left, top, width, height));
  return widget;
}

}  // namespace

Haupt::Haupt(Desktop& desktop, FileLayer* files)
    : QMainWindow(nullptr, Qt::Window | Qt::MSWindowsFixedSizeDialogHint |
                               Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      desktop_(desktop),
      injected_files_(files) {
  InstallFontSubstitutions();
  setObjectName(QStringLiteral("Haupt"));
  setWindowTitle(QString::fromUtf8(kDesignedTitle));
  setWindowIcon(QIcon(QStringLiteral(":/quillet/icon.png")));
  // Controls without a named font use the default dialog font, for which
  // the designed widths were made.
  setFont(DesignedFont(QStringLiteral("MS Sans Serif"), 8.25, false));
  job_.MboxToBox = false;  // as at creation; the load step sets it
  CreateControls();
  CreateMenus();
  CommonDialog1 = new CommonDialog(desktop_, this);
  CommonDialog1->setObjectName(QStringLiteral("CommonDialog1"));
  // Fixed size: the client area as designed below the menu bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  setAcceptDrops(true);  // mailboxes dropped from a file manager
}

Haupt::~Haupt() { delete splash_; }

void Haupt::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(Twips(9255), Twips(1905));
  setCentralWidget(client);

  // Created in tab order, so the focus chain is the designed one.
  Command1 = Place(new QPushButton(client), "Command1", 645, 210, 2115, 330);
  Text1 = Place(new QLineEdit(client), "Text1", 2940, 210, 5160, 330);
  ProgressBar1 =
      Place(new QProgressBar(client), "ProgressBar1", 630, 1470, 8520, 330);
  Command3 = Place(new GraphicalButton(QStringLiteral("Go!"), client),
                   "Command3", 8295, 210, 855, 855);
  Command2 = Place(new QPushButton(client), "Command2", 630, 735, 2115, 330);
  Text2 = Place(new QLineEdit(client), "Text2", 2940, 735, 5160, 330);
  Label1 = Place(new QLabel(client), "Label1", 2940, 1155, 5160, 225);
  Command4 = Place(new GraphicalButton(client), "Command4", 105, 210, 435, 855);
  picToBox = Place(new QLabel(client), "picToBox", 105, 1155, 435, 225);
  picToMbox = Place(new QLabel(client), "picToMbox", 735, 1155, 435, 225);

  Command1->setText(QStringLiteral("Mbox(en) wählen..."));
  Command2->setText(QStringLiteral("Rerure Ordner wählen..."));
  // The program only writes the two boxes; typing there would mean nothing.
  Text1->setReadOnly(true);
  Text2->setReadOnly(true);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  Command3->setFont(DesignedFont(QStringLiteral("MS Sans Serif"), 9.75, true));
  SetGoColour(ButtonFace());
  picToBox->setPixmap(QPixmap(QStringLiteral(":/quillet/to_box.png")));
  picToMbox->setPixmap(QPixmap(QStringLiteral(":/quillet/to_mbox.png")));
  Command4->setIconSize(QSize(26, 54));
  Command4->setIcon(QIcon(picToBox->pixmap()));
  Command4->setProperty("picture", QStringLiteral("picToBox"));
  for (QPushButton* button : {Command1, Command2, Command3, Command4}) {
    button->setAutoDefault(false);
    ClickOnEnter(button);
  }
  QWidget::setTabOrder(Command1, Text1);
  QWidget::setTabOrder(Text1, Command3);
  QWidget::setTabOrder(Command3, Command2);
  QWidget::setTabOrder(Command2, Text2);
  QWidget::setTabOrder(Text2, Command4);

  connect(Command1, &QPushButton::clicked, this, &Haupt::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Haupt::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &Haupt::Command3_Click);
  connect(Command4, &QPushButton::clicked, this, &Haupt::Command4_Click);
}

void Haupt::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setNativeMenuBar(false);
  s = bar->addMenu(QStringLiteral("Sprache"));
  s->setObjectName(QStringLiteral("s"));
  s->menuAction()->setObjectName(QStringLiteral("s_menu"));
  // French before English, as designed.
  d = s->addAction(QStringLiteral("Deutsch"));
  f = s->addAction(QStringLiteral("Français"));
  e = s->addAction(QStringLiteral("English"));
  h = bar->addMenu(QStringLiteral("Hilfe"));
  h->setObjectName(QStringLiteral("h"));
  h->menuAction()->setObjectName(QStringLiteral("h_menu"));
  a = h->addAction(QStringLiteral("Anleitung"));
  u = h->addAction(QStringLiteral("Über"));
  d->setObjectName(QStringLiteral("d"));
  f->setObjectName(QStringLiteral("f"));
  e->setObjectName(QStringLiteral("e"));
  a->setObjectName(QStringLiteral("a"));
  u->setObjectName(QStringLiteral("u"));
  for (QAction* item : {d, f, e}) item->setCheckable(true);
  d->setChecked(true);
  connect(d, &QAction::triggered, this, &Haupt::d_Click);
  connect(e, &QAction::triggered, this, &Haupt::e_Click);
  connect(f, &QAction::triggered, this, &Haupt::f_Click);
  connect(a, &QAction::triggered, this, &Haupt::a_Click);
  connect(u, &QAction::triggered, this, &Haupt::u_Click);
}

void Haupt::Form_Load() {
  FileSystem =
      injected_files_ != nullptr ? injected_files_ : &SystemFileLayer();
  FillUiText(UiText_, Language::kGerman);
  UseQtTranslations(Language::kGerman);
  Command3->setEnabled(false);
  job_.MboxToBox = true;
  picToBox->hide();
  picToMbox->hide();
  hide();
  LoadSplash()->Show();
}

FrmSplash* Haupt::LoadSplash() {
  if (FrmSplash* loaded = LoadedSplash()) return loaded;
  splash_ = new FrmSplash(desktop_, UiText_, [this] { Show(); });
  return splash_;
}

FrmSplash* Haupt::LoadedSplash() {
  return splash_ && splash_->IsLoaded() ? splash_.data() : nullptr;
}

void Haupt::Show() {
  if (unloaded_) return;
  if (!placed_) {
    adjustSize();
    CentreOnScreen(*this);
    placed_ = true;
    if (focusWidget() == nullptr) Command1->setFocus();
  }
  show();
  raise();
  activateWindow();
}

void Haupt::Unload() { close(); }

void Haupt::closeEvent(QCloseEvent* event) {
  if (running_) {
    // A run cannot be cancelled; closing now would leave it half done.
    event->ignore();
    return;
  }
  event->accept();
  if (unloaded_) return;
  unloaded_ = true;
  delete splash_;  // shown or hidden, the About window goes with it
  emit Unloaded();
}

void Haupt::SetGoColour(const QColor& colour) {
  static_cast<GraphicalButton*>(Command3)->SetBackColor(colour);
}

LanguageSurface Haupt::Surface() {
  LanguageSurface surface;
  surface.window = this;
  surface.s = s;
  surface.h = h;
  surface.a = a;
  surface.u = u;
  surface.d = d;
  surface.e = e;
  surface.f = f;
  surface.Command1 = Command1;
  surface.Command2 = Command2;
  surface.load_about_button = [this] { return LoadSplash()->Command1; };
  return surface;
}

void Haupt::ShowFailure(const QString& text) {
  desktop_.ShowMessage(text, MessageIcon::kCritical);
}

// Choosing source mailboxes.
void Haupt::Command1_Click() {
  if (job_.MboxToBox) {
    CommonDialog1->DefaultExt = QString();
    CommonDialog1->Filter = UiText_.MboxFilter;
  } else {
    CommonDialog1->DefaultExt = QStringLiteral("box");
    CommonDialog1->Filter = UiText_.BoxFilter;
  }
  CommonDialog1->Flags = kCdlOFNExplorer | kCdlOFNAllowMultiselect;  // 524800
  QString error;
  if (CommonDialog1->ShowOpen(&error) == DialogOutcome::kFailed) {
    ShowFailure(OpenDialogFailureMessage(CheckedLanguage(Surface()), error));
    return;
  }
  // A cancelled dialog leaves the last answer, which is applied again.
  ApplyOpenAnswer(CommonDialog1->FileName);
}

void Haupt::ApplyOpenAnswer(const QString& answer) {
  const InitialSelection chosen = SplitOpenAnswer(answer);
  if (chosen.names.isEmpty()) return;
  job_.SourceFolder = chosen.folder;
  // An answer of several names gives their folder without the final "/"
  // (but for the root); one path gives it with it, or none.
  if (chosen.names.size() > 1 && !job_.SourceFolder.endsWith(u'/')) {
    job_.SourceFolder += u'/';
  }
  if (job_.TargetFolder.isEmpty()) job_.TargetFolder = job_.SourceFolder;
  job_.MailboxFiles = chosen.names;
  Text1->setText(job_.MailboxFiles.size() == 1
                     ? job_.SourceFolder + job_.MailboxFiles.front()
                     : job_.SourceFolder);
  Text2->setText(job_.TargetFolder);
  Command3->setEnabled(true);
  SetGoColour(kReadyColour);
  Command3->setFocus();
  WarnOfUndecodableNames();
}

void Haupt::TakeFiles(const QStringList& paths) {
  if (paths.isEmpty() || running_ || unloaded_) return;
  const Language language = CheckedLanguage(Surface());
  const auto refuse = [&](OutsideRefusal why, const QString& path) {
    desktop_.ShowMessage(OutsideFilesMessage(language, why, path),
                         MessageIcon::kCritical);
  };
  QStringList absolute;
  QString folder;
  std::optional<bool> mbox_to_box;
  for (const QString& path : paths) {
    const QFileInfo info(path);
    const QString full = info.absoluteFilePath();
    const PathFacts facts = FileSystem->Inspect(full);
    if (facts.is_directory) return refuse(OutsideRefusal::kFolder, full);
    if (!facts.exists || !facts.is_regular_file) {
      return refuse(OutsideRefusal::kNotAFile, full);
    }
    if (!folder.isEmpty() && info.absolutePath() != folder) {
      return refuse(OutsideRefusal::kSeveralFolders, full);
    }
    folder = info.absolutePath();
    FileError error;
    std::unique_ptr<InputFile> input = FileSystem->OpenInput(full, &error);
    const std::optional<SourceKind> kind =
        input ? KindOfSource(*input, &error) : std::nullopt;
    if (input) input->Close();
    if (!kind) return refuse(OutsideRefusal::kNotAFile, full);
    if (*kind == SourceKind::kBinary || *kind == SourceKind::kText) {
      return refuse(OutsideRefusal::kNoMailbox, full);
    }
    if (*kind != SourceKind::kEmpty) {
      const bool is_mbox = *kind == SourceKind::kMbox;
      if (mbox_to_box && *mbox_to_box != is_mbox) {
        return refuse(OutsideRefusal::kBothFormats, full);
      }
      mbox_to_box = is_mbox;
    }
    absolute.append(full);
  }
  // Empty files alone: the direction stays.
  if (mbox_to_box && *mbox_to_box != job_.MboxToBox) Command4_Click();
  CommonDialog1->FileName = ComposeOpenAnswer(absolute);
  ApplyOpenAnswer(CommonDialog1->FileName);
}

void Haupt::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  const bool local = !urls.isEmpty() &&
                     std::all_of(urls.begin(), urls.end(), [](const QUrl& url) {
                       return url.isLocalFile();
                     });
  if (local && !running_) event->acceptProposedAction();
}

void Haupt::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    paths.append(url.toLocalFile());
  }
  event->acceptProposedAction();
  TakeFiles(paths);
}

void Haupt::WarnOfUndecodableNames() {
  // Once per folder and direction: a second choice there is made knowing.
  const QString key = job_.SourceFolder + (job_.MboxToBox ? u'm' : u'b');
  if (warned_folders_.contains(key)) return;
  const QStringList names =
      UndecodableFileNames(job_.SourceFolder, !job_.MboxToBox);
  if (names.isEmpty()) return;
  warned_folders_.insert(key);
  desktop_.ShowMessage(UndecodableNamesMessage(CheckedLanguage(Surface()),
                                               job_.SourceFolder, names),
                       MessageIcon::kWarning);
}

// Choosing the target folder.
void Haupt::Command2_Click() {
  const FolderAnswer answer = desktop_.BrowseForFolder(UiText_.FolderPrompt);
  if (answer.outcome == DialogOutcome::kFailed) {
    ShowFailure(
        FolderPickerFailureMessage(CheckedLanguage(Surface()), answer.error));
    return;
  }
  if (answer.outcome == DialogOutcome::kChosen) {
    job_.TargetFolder = answer.path.endsWith(QLatin1Char('/'))
                            ? answer.path
                            : answer.path + QLatin1Char('/');
  }
  Text2->setText(job_.TargetFolder);
  if (!job_.SourceFolder.isEmpty() && !job_.TargetFolder.isEmpty()) {
    SetGoColour(kReadyColour);
    Command3->setFocus();
  }
}

// The run through "Go!" and its completion steps.
void Haupt::Command3_Click() {
  if (running_ || unloaded_) return;
  const Language language = CheckedLanguage(Surface());
  // The job is planned and checked whole before the question, so that
  // nobody is asked about a run that cannot happen; the run executes that
  // plan.
  ConversionPlan plan = PlanOf(job_);
  CheckOptions check;
  check.replace_existing = true;
  if (std::optional<RunFailure> failure = CheckPlan(plan, *FileSystem, check)) {
    stopped_ = std::move(failure);
    ProgressBar1->setValue(0);
    ShowStoppedStatus();
    ShowFailure(RunFailureMessage(language, *stopped_, 0));
    return;
  }
  const QStringList existing = ReplacedOutputs(plan);
  if (!existing.isEmpty() &&
      !desktop_.Confirm(ReplaceQuestion(language, existing),
                        ReplaceButtonText(language),
                        CancelButtonText(language))) {
    return;  // nothing written; the job stays as it was
  }
  running_ = true;
  stopped_.reset();
  // Agreed to: exactly the files named. One that appears meanwhile under
  // another output's name is refused by the run, not replaced.
  const ProgressText words = ProgressTextOf(UiText_);
  ProgressBinding binding(*ProgressBar1, *Label1, words);
  const RunResult result = RunPlan(plan, words, *FileSystem, binding);
  binding.Flush();
  last_repaint_count_ = binding.RepaintCount();
  running_ = false;
  if (!result.ok()) {
    // The program stays open with its job: the user can mend the cause and
    // click "Go!" again. The engine has left nothing half-written. The bar
    // shows where the failing mailbox stopped; the status line no longer
    // says "wait", and follows a change of language.
    binding.ShowStop(*result.failure);
    stopped_ = result.failure;
    ShowStoppedStatus();
    ShowFailure(RunFailureMessage(CheckedLanguage(Surface()), *stopped_,
                                  static_cast<int>(result.converted.size())));
    return;
  }
  SetGoColour(ButtonFace());
  desktop_.ShowMessage(UiText_.DoneMessage, MessageIcon::kInformation);
  Unload();
}

void Haupt::ShowStoppedStatus() {
  if (stopped_) {
    Label1->setText(RunStoppedStatus(CheckedLanguage(Surface()), *stopped_));
  }
}

// Switching the direction.
void Haupt::Command4_Click() {
  const bool to_box = !job_.MboxToBox;  // the direction it switches to
  QLabel* picture = to_box ? picToBox : picToMbox;
  Command4->setIcon(QIcon(picture->pixmap()));
  Command4->setProperty("picture", picture->objectName());
  Command1->setText(SourceButtonCaption(UiText_, to_box));
  job_.SourceFolder.clear();
  Text1->setText(job_.SourceFolder);
  SetGoColour(ButtonFace());
  Command3->setEnabled(false);
  Command2->setText(TargetButtonCaption(UiText_, to_box));
  CommonDialog1->FileName.clear();
  job_.MailboxFiles = QStringList();
  job_.MboxToBox = to_box;
}

// The language commands.
void Haupt::d_Click() {
  RunLanguageCommand(Language::kGerman, UiText_, Surface(), job_.MboxToBox);
  ShowStoppedStatus();
}
void Haupt::e_Click() {
  RunLanguageCommand(Language::kEnglish, UiText_, Surface(), job_.MboxToBox);
  ShowStoppedStatus();
}
void Haupt::f_Click() {
  RunLanguageCommand(Language::kFrench, UiText_, Surface(), job_.MboxToBox);
  ShowStoppedStatus();
}

// Opening the instructions.
void Haupt::a_Click() { OpenDocument(desktop_, InstructionsPath(desktop_)); }

// The About command.
void Haupt::u_Click() { LoadSplash()->Show(); }

}  // namespace quillet
