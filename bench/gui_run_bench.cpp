// SPDX-License-Identifier: GPL-3.0-or-later
// Times a conversion run through the real main window: Haupt with its
// progress bar, status label and throttled repaints, on the offscreen
// platform, the fake platform layer answering the dialogs as a user would.
// run_bench.sh compares its wall time with quillet-convert on the same file.
//
//   gui_run_bench --to-box|--to-mbox --output-dir DIR MAILBOX...
//
// The mailboxes must lie in one folder, as one selection in the dialog.
// Prints "gui_run_bench<TAB>seconds<TAB>mailboxes<TAB>processor seconds" for
// the run alone (from the click on "Go!" to the completion message; the
// processor time of every thread of the process, user and system); exits 1
// when the run fails.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QStringList>
#include <cstdio>
#include <ctime>

#include "tests/support/fake_desktop.h"
#include "ui/help/frm_splash.h"
#include "ui/main/haupt.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: gui_run_bench --to-box|--to-mbox --output-dir DIR "
               "MAILBOX...\n");
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  int direction = 0;  // 1: to .box, -1: to mbox
  QString output_dir;
  QStringList sources;
  const QStringList args = QApplication::arguments().mid(1);
  for (qsizetype i = 0; i < args.size(); ++i) {
    if (args[i] == QLatin1String("--to-box")) {
      direction = 1;
    } else if (args[i] == QLatin1String("--to-mbox")) {
      direction = -1;
    } else if (args[i] == QLatin1String("--output-dir") &&
               i + 1 < args.size()) {
      output_dir = args[++i];
    } else if (args[i].startsWith(QLatin1Char('-'))) {
      return Usage();
    } else {
      sources.append(QFileInfo(args[i]).absoluteFilePath());
    }
  }
  if (direction == 0 || output_dir.isEmpty() || sources.isEmpty())
    return Usage();

  quillet::FakeDesktop desktop;
  quillet::Haupt haupt(desktop);
  haupt.Form_Load();
  if (quillet::FrmSplash* splash = haupt.LoadedSplash()) splash->Form_Click();
  QCoreApplication::processEvents();

  if (direction < 0) haupt.Command4_Click();
  desktop.AnswerOpenFiles(sources);
  haupt.Command1_Click();
  desktop.AnswerFolder(QDir(output_dir).absolutePath());
  haupt.Command2_Click();

  // What one repaint costs, for reading the figures: the run paints the bar
  // and the status line at most 10 times a second.
  auto* bar = haupt.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
  auto* label = haupt.findChild<QLabel*>(QStringLiteral("Label1"));
  if (bar == nullptr || label == nullptr) {
    std::fprintf(stderr, "gui_run_bench: no ProgressBar1 or Label1\n");
    return 1;
  }
  QElapsedTimer repaint_timer;
  repaint_timer.start();
  constexpr int kProbeRepaints = 20;
  for (int i = 0; i < kProbeRepaints; ++i) {
    bar->repaint();
    label->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  const double repaint_ms =
      double(repaint_timer.nsecsElapsed()) / 1e6 / kProbeRepaints;

  qint64 elapsed_ns = -1;
  std::clock_t cpu_end = 0;
  QElapsedTimer timer;
  desktop.SetOnMessage([&](const quillet::FakeDesktop::Message&) {
    elapsed_ns = timer.nsecsElapsed();
    cpu_end = std::clock();
  });
  const std::clock_t cpu_start = std::clock();
  timer.start();
  haupt.Command3_Click();  // returns after the completion message
  if (elapsed_ns < 0) {
    elapsed_ns = timer.nsecsElapsed();
    cpu_end = std::clock();
  }

  if (desktop.Messages().isEmpty() ||
      desktop.Messages().back().icon != quillet::MessageIcon::kInformation) {
    std::fprintf(stderr, "gui_run_bench: the run failed:\n%s\n",
                 desktop.Messages().isEmpty()
                     ? "no message"
                     : qPrintable(desktop.Messages().back().text));
    return 1;
  }
  std::printf("gui_run_bench\t%.3f\t%lld\t%.3f\n", double(elapsed_ns) / 1e9,
              static_cast<long long>(sources.size()),
              double(cpu_end - cpu_start) / CLOCKS_PER_SEC);
  std::fprintf(stderr,
               "gui_run_bench: %lld mailbox(es), %d repaints of %.2f ms each\n",
               static_cast<long long>(sources.size()), haupt.LastRepaintCount(),
               repaint_ms);
  return 0;
}
