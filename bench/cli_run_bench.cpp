// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's run timed from inside the process, as gui_run_bench
// times the window's: quillet-convert's main() with a clock around
// RunConvertCommand, so that the two runs are compared without either
// program's start-up and exit (Qt's libraries loaded, the application
// object, for the window its widgets and fonts).
//
//   cli_run_bench ARGUMENTS...   (those of quillet-convert)
//
// Prints what quillet-convert prints, then, on standard output,
// "cli_run_bench<TAB>seconds<TAB>exit status<TAB>processor seconds" for the
// run alone: from the call that parses the arguments to the return after the
// list of converted mailboxes is written (the check, the conversion and the
// syncs inside); the processor time, user and system, is the whole
// process's over that span, as gui_run_bench's is.
// Exits with quillet-convert's status.
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <ctime>

#include "cli/convert_command.h"
#include "conversion/file_layer.h"

int main(int argc, char* argv[]) {
  quillet::InstallInterruptCleanup("quillet-convert", true);
  QByteArrayList raw_arguments;
  for (int i = 0; i < argc; ++i) raw_arguments.append(QByteArray(argv[i]));
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("quillet-convert"));

  QFile out;
  QFile err;
  if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly) ||
      !err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    return quillet::kExitFailure;
  }
  // No questions: the benchmark runs without a person at a terminal.
  const std::clock_t cpu_start = std::clock();
  QElapsedTimer timer;
  timer.start();
  const int code = quillet::RunConvertCommand(
      QCoreApplication::arguments(), out, err, isatty(STDERR_FILENO) == 1,
      quillet::SystemFileLayer(), raw_arguments, nullptr);
  out.flush();
  const qint64 elapsed_ns = timer.nsecsElapsed();
  const std::clock_t cpu_end = std::clock();
  std::printf("cli_run_bench\t%.3f\t%d\t%.3f\n", double(elapsed_ns) / 1e9, code,
              double(cpu_end - cpu_start) / CLOCKS_PER_SEC);
  return code;
}
