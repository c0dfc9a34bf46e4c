// SPDX-License-Identifier: GPL-3.0-or-later
// quillet-convert: converts mailboxes between mbox and Foxmail .box on the
// command line, with the same engine as the window.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define STDIN_FILENO 0
#define STDOUT_FILENO 1
#define STDERR_FILENO 2
#else
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <exception>
#include <new>

#include "cli/convert_command.h"
#include "conversion/file_layer.h"

int main(int argc, char* argv[]) {
  // Before anything is written: a signal removes the temporary output and
  // says which mailbox it ended; a write past `ulimit -f` and a closed
  // standard output are failures to report, not deaths without a word.
  quillet::InstallInterruptCleanup("quillet-convert", true);
  QByteArrayList raw_arguments;
  for (int i = 0; i < argc; ++i) raw_arguments.append(QByteArray(argv[i]));
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("quillet-convert"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
#ifdef _WIN32
  // Names arrive as UTF-16 (Qt reads the wide command line), so none is
  // undecodable; argv holds the ANSI code page's lossy copy, not the name.
  raw_arguments.clear();
  for (const QString& argument : QCoreApplication::arguments()) {
    raw_arguments.append(QFile::encodeName(argument));
  }
  // The bytes as written: the result list ends its lines in LF as on every
  // system, and a mailbox name never turns into another by translation.
  _setmode(STDOUT_FILENO, _O_BINARY);
  _setmode(STDERR_FILENO, _O_BINARY);
  // The progress line is redrawn with "\r" and ESC [ K, which a Windows
  // console follows once asked to.
  const HANDLE console = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(console, &mode)) {
    ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
#endif

  QFile out;
  QFile err;
  // Standard error unbuffered: progress must show as it is drawn.
  if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly) ||
      !err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    return quillet::kExitFailure;
  }
  // Questions are asked only of a person at a terminal, as gzip does.
  QFile in;
  const bool ask =
      isatty(STDIN_FILENO) == 1 && in.open(STDIN_FILENO, QIODevice::ReadOnly);
  // The run reports its own exceptions with the mailbox and the step; one
  // outside it (the plan, the check, the report) still ends the command
  // with a word and exit status 1, not an abort.
  try {
    const int code = quillet::RunConvertCommand(
        QCoreApplication::arguments(), out, err, isatty(STDERR_FILENO) == 1,
        quillet::SystemFileLayer(), raw_arguments, ask ? &in : nullptr);
    out.flush();
    return code;
  } catch (const std::exception& exception) {
    out.flush();
    const bool memory = dynamic_cast<const std::bad_alloc*>(&exception);
    std::fputs("quillet-convert: stopped: ", stderr);
    std::fputs(memory ? "there was not enough memory\n"
                      : "an unexpected failure inside the program\n",
               stderr);
    return quillet::kExitFailure;
  }
}
