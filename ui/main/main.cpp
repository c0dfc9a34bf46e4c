// SPDX-License-Identifier: GPL-3.0-or-later
// The program quillet: the main window Haupt is the start object; its load
// step hides it and shows the About window, whose click leads on to it.
#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

#include "conversion/file_layer.h"
#include "ui/main/haupt.h"
#include "ui/main/widget_desktop.h"

namespace {

// The project's one version, from CMake's project().
constexpr char kVersion[] = QUILLET_VERSION;
constexpr char kUsage[] =
    "Usage: quillet [FILE...]\n"
    "Converts mailboxes between mbox and Foxmail .box in a window.\n"
    "FILEs (mailboxes of one folder and one format) fill the job as the\n"
    "file dialog would; the direction follows their format.\n"
    "\n"
    "  -h, --help     Show this text and exit.\n"
    "  -v, --version  Show the version and exit.\n"
    "\n"
    "On the command line: quillet-convert --help.\n";

// --help and --version answer on the terminal, before anything needs a
// display. Nothing after "--" is an option. Returns the exit code when the
// program ends here.
std::optional<int> AnswerOnTheTerminal(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") break;
    if (argument == "-h" || argument == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "-v" || argument == "--version") {
      std::printf("quillet %s\n", kVersion);
      return 0;
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (const std::optional<int> code = AnswerOnTheTerminal(argc, argv)) {
    return *code;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillet"));
  QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillet/icon.png")));

  // SIGINT, SIGTERM, SIGHUP: while an output is written its temporary file
  // is removed and the program ends at once, saying which output; at any
  // other time the window closes through the event loop, with exit code
  // 128 + the signal's number.
  std::unique_ptr<QSocketNotifier> interrupt;
#ifdef Q_OS_UNIX
  int signal_pipe[2] = {-1, -1};
  if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    quillet::InstallInterruptCleanup("quillet", false, signal_pipe[1]);
    interrupt = std::make_unique<QSocketNotifier>(signal_pipe[0],
                                                  QSocketNotifier::Read);
    QObject::connect(interrupt.get(), &QSocketNotifier::activated, &app, [&] {
      char signal_number = 0;
      if (::read(signal_pipe[0], &signal_number, 1) != 1) return;
      std::fprintf(stderr, "quillet: closing on %s\n",
                   quillet::SignalNameOf(signal_number));
      QCoreApplication::exit(128 + signal_number);
    });
  } else {
    quillet::InstallInterruptCleanup("quillet", false);
  }
#endif

  quillet::WidgetDesktop desktop;
  quillet::Haupt haupt(desktop);
  desktop.SetOwner(&haupt);
  // Unloading the main window ends the program, whatever else is loaded.
  QObject::connect(&haupt, &quillet::Haupt::Unloaded, &app,
                   &QCoreApplication::quit, Qt::QueuedConnection);
  haupt.Form_Load();
  // Mailboxes given on the command line ("Open with", a file manager's
  // %F) fill the job as the file dialog would.
  QStringList files = QCoreApplication::arguments().mid(1);
  files.removeOne(QStringLiteral("--"));
  haupt.TakeFiles(files);
  return app.exec();
}
