// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CLI_CONVERT_COMMAND_H_
#define QUILLET_CLI_CONVERT_COMMAND_H_

#include <QByteArrayList>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <optional>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"

namespace quillet {

// Exit codes of quillet-convert.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // a check or a conversion failed
inline constexpr int kExitUsage = 2;    // the command line itself is wrong

// The plan of `files` (paths as given on the command line, in order): one
// mailbox per file, in the order given. Folders end in "/" and are
// absolute, or begin with "./" where the working folder's own path cannot
// be read (deeper than PATH_MAX). Each output goes into `output_dir` when
// it is not empty, otherwise next to its source.
ConversionPlan PlanFiles(const QStringList& files, const QString& output_dir,
                         bool mbox_to_box);

// Runs the command line `arguments` (program name first) and returns the
// exit code: parses it, plans the files, checks the plan by CheckPlan
// before anything is written, runs it and reports. Results
// go to `out`, messages and usage text to `err`; a failed write of the
// results is reported and gives exit code 1.
// `raw_arguments`, when given, are the same arguments as the system passed
// them: a file name among them that is not valid UTF-8 refuses the run.
// Progress is drawn on `err` only when `err_is_terminal` and --quiet is not
// given. Outputs that would replace existing files are replaced with
// --force; otherwise, when `terminal_answers` (standard input, when it is a
// terminal) is given, one question on `err` asks whether to, and without it
// the command refuses before anything is written (exit code 1).
// Needs a QCoreApplication (the usage text is built by Qt's parser).
int RunConvertCommand(const QStringList& arguments, QIODevice& out,
                      QIODevice& err, bool err_is_terminal, FileLayer& files,
                      const QByteArrayList& raw_arguments = {},
                      QIODevice* terminal_answers = nullptr);

}  // namespace quillet

#endif  // QUILLET_CLI_CONVERT_COMMAND_H_
