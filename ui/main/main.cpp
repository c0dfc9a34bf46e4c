// The program quillet: the main window Haupt is the start object; its load
// step hides it and shows the About window, whose click leads on to it.
#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

#include "conversion/file_layer.h"
#include "ui/main/haupt.h"
#include "ui/main/widget_desktop.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillet"));
  QApplication::setApplicationVersion(QStringLiteral("0.3.1"));
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
  return app.exec();
}
