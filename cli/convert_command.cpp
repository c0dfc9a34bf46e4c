// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/convert_command.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <optional>

#include "cli/terminal_progress.h"
#include "conversion/job_check.h"
#include "conversion/mailbox_format.h"

namespace quillet {
namespace {

constexpr char kProgramName[] = "quillet-convert";
constexpr char kSynopsis[] =
    "quillet-convert (--to-box | --to-mbox) [--output-dir DIR] [--force] "
    "[--quiet] FILE...";

// A folder path ending in "/", as ConversionJob expects: absolute, or
// relative to "." where the working folder's own path cannot be read
// (deeper than PATH_MAX), so that the system resolves it from the working
// folder itself and never from "/". Never cleaned as text: "link/.." is the
// parent of the folder the link leads to, which only the system can tell,
// so the path goes to it as given. `current` holds the working folder once
// asked: a run of thousands of relative names asks the system for it once,
// not once per name.
QString FolderWithSeparator(const QString& path,
                            std::optional<QString>& current) {
  QString folder = path;
  if (QDir::isRelativePath(folder)) {
    if (!current) {
      current = QDir::currentPath();
      if (current->isEmpty()) current = QStringLiteral(".");
    }
    folder = *current + (folder.isEmpty() ? QString() : u'/' + folder);
  }
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder;
}

void Write(QIODevice& device, const QString& text) {
  device.write(text.toUtf8());
}

QString UsageText(const QCommandLineParser& parser) {
  // Qt's first line names the arguments generically; ours states that
  // exactly one direction is required.
  const QString help = parser.helpText();
  const qsizetype first_line_end = help.indexOf(u'\n');
  return QStringLiteral("Usage: ") + QLatin1String(kSynopsis) +
         (first_line_end < 0 ? QStringLiteral("\n") : help.mid(first_line_end));
}

int UsageError(QIODevice& err, const QCommandLineParser& parser,
               const QString& message) {
  Write(err, QLatin1String(kProgramName) + QStringLiteral(": ") + message +
                 QStringLiteral("\n") + UsageText(parser));
  return kExitUsage;
}

int ReportFailure(QIODevice& err, const RunFailure& failure) {
  QString line = failure.Describe();
  // The format check knows the other direction would take the file.
  if (failure.error.code == FailureReason::kSourceIsMbox) {
    line += QStringLiteral(" (convert it with --to-box)");
  } else if (failure.error.code == FailureReason::kSourceIsBox) {
    line += QStringLiteral(" (convert it with --to-mbox)");
  }
  Write(err, QLatin1String(kProgramName) + QStringLiteral(": ") + line +
                 QStringLiteral("\n"));
  return kExitFailure;
}

// The outputs that would replace files, one per line: the first ten, then
// how many more.
QString ListOfExisting(const QStringList& existing) {
  constexpr qsizetype kShown = 10;
  QString list;
  for (qsizetype i = 0; i < std::min(existing.size(), kShown); ++i) {
    list += QStringLiteral("  ") + existing[i] + QStringLiteral("\n");
  }
  if (existing.size() > kShown) {
    list += QStringLiteral("  ... and %1 more\n").arg(existing.size() - kShown);
  }
  return list;
}

// Whether the existing files of `existing` may be replaced: always with
// --force; else, as gzip does, by one question when the answers come from
// a terminal (anything but "y" or "yes" is no), and never otherwise. Says
// why nothing was written when not.
bool MayReplace(const QStringList& existing, bool force, QIODevice* answers,
                QIODevice& err) {
  if (existing.isEmpty() || force) return true;
  const QString program = QLatin1String(kProgramName) + QStringLiteral(": ");
  const QString what =
      existing.size() == 1
          ? QStringLiteral("this file exists and would be replaced:\n")
          : QStringLiteral("these %1 files exist and would be replaced:\n")
                .arg(existing.size());
  if (answers == nullptr) {
    Write(err, program + what + ListOfExisting(existing) +
                   QStringLiteral("Nothing was written. Give -f (--force) to "
                                  "replace them.\n"));
    return false;
  }
  Write(err, program + what + ListOfExisting(existing) +
                 QStringLiteral("Replace? (y/N) "));
  const QString answer =
      QString::fromLocal8Bit(answers->readLine(64)).trimmed().toLower();
  if (answer == u"y" || answer == u"yes") return true;
  Write(err, program + QStringLiteral("nothing was written.\n"));
  return false;
}

// A name as one field of the result list. Escaped, a field holds no tab
// and no line end, so that no name can add fields or lines to the list (a
// mailbox called "x<LF>precious<TAB>precious.box<TAB>1" would otherwise
// claim that "precious" was converted): backslash becomes "\\", tab,
// line feed and carriage return "\t", "\n" and "\r", every other byte
// below 0x20 and 0x7F "\xHH" (two lower-case hex digits). Every other byte
// stays, so that plain names read as they are. With `null_terminated` the
// name is passed unchanged: NUL, the end of each field then, is the one
// byte no name holds.
QByteArray ListField(const QByteArray& name, bool null_terminated) {
  if (null_terminated) return name;
  QByteArray field;
  field.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        field += "\\\\";
        break;
      case '\t':
        field += "\\t";
        break;
      case '\n':
        field += "\\n";
        break;
      case '\r':
        field += "\\r";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          static constexpr char kHex[] = "0123456789abcdef";
          field += "\\x";
          field += kHex[byte >> 4];
          field += kHex[byte & 0xF];
        } else {
          field += c;
        }
    }
  }
  return field;
}

// One record of the result list: source, output and messages, separated by
// tabs and ended by a line feed; or, with `null_terminated`, each field
// ended by NUL.
QByteArray ListRecord(const RunMailbox& mailbox, bool null_terminated) {
  const char separator = null_terminated ? '\0' : '\t';
  const char end = null_terminated ? '\0' : '\n';
  return ListField(QFile::encodeName(mailbox.source), null_terminated) +
         separator +
         ListField(QFile::encodeName(mailbox.output), null_terminated) +
         separator + QByteArray::number(mailbox.messages) + end;
}

// One record per converted mailbox (ListRecord).
// Returns false when standard output did not take all of it (a full
// device, a closed pipe): the caller must not report success then.
bool WriteConverted(QIODevice& out, const std::vector<RunMailbox>& converted,
                    bool null_terminated) {
  auto* file = qobject_cast<QFileDevice*>(&out);
  for (const RunMailbox& mailbox : converted) {
    const QByteArray line = ListRecord(mailbox, null_terminated);
    // Line by line as one step with the interrupt handler, which writes
    // the lines not yet written: a signal now leaves each line once.
    const bool written = ListCompleted([&] {
      return out.write(line) == line.size() &&
             (file == nullptr || file->flush());
    });
    if (!written) return false;
  }
  return true;
}

// Reports nothing; used when progress is not wanted.
class SilentReporter : public ConversionReporter {
 public:
  void SetProgressMax(qint64 /*size*/) override {}
  void SetProgressValue(qint64 /*reckoned*/) override {}
  void SetStatusText(const QString& /*text*/) override {}
  bool WantsStatusText() override { return false; }
  void Repaint() override {}
};

// What the command line asks for.
struct Command {
  QStringList files;   // as given, in order
  QString output_dir;  // empty: each output next to its source
  bool to_box = true;
  bool quiet = false;
  bool force = false;            // outputs may replace existing files
  bool null_terminated = false;  // the result list's fields end in NUL
};

// Parse: reads `arguments` into `command`. Returns the exit code when the
// command ends here, its words written: --help, --version or a usage error.
std::optional<int> ParseCommand(const QStringList& arguments, QIODevice& out,
                                QIODevice& err, Command* command) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Converts mbox mailboxes into Foxmail .box mailboxes, or back.\n"
      "Each FILE gives one output, named after it, next to it or in DIR.\n"
      "Nothing is written unless every FILE can be converted, and no\n"
      "existing file is replaced without --force or a yes on the terminal."));
  const QCommandLineOption help_option(
      {QStringLiteral("h"), QStringLiteral("help")},
      QStringLiteral("Show this text and exit."));
  const QCommandLineOption version_option(
      {QStringLiteral("v"), QStringLiteral("version")},
      QStringLiteral("Show the version and exit."));
  const QCommandLineOption to_box_option(
      QStringLiteral("to-box"),
      QStringLiteral("Convert mbox FILEs to Foxmail .box (adds \".box\")."));
  const QCommandLineOption to_mbox_option(
      QStringLiteral("to-mbox"),
      QStringLiteral("Convert Foxmail .box FILEs to mbox (drops \".box\")."));
  const QCommandLineOption output_dir_option(
      {QStringLiteral("o"), QStringLiteral("output-dir")},
      QStringLiteral(
          "Write the outputs into DIR instead of next to each FILE."),
      QStringLiteral("DIR"));
  const QCommandLineOption force_option(
      {QStringLiteral("f"), QStringLiteral("force")},
      QStringLiteral("Replace existing files of the outputs' names without "
                     "asking."));
  const QCommandLineOption quiet_option(
      {QStringLiteral("q"), QStringLiteral("quiet")},
      QStringLiteral("Show no progress."));
  const QCommandLineOption null_option(
      {QStringLiteral("z"), QStringLiteral("null")},
      QStringLiteral("End each field of the list of converted mailboxes with "
                     "NUL instead of tab and line feed, and give the names "
                     "unescaped (for xargs -0 and scripts)."));
  parser.addOptions({help_option, version_option, to_box_option, to_mbox_option,
                     output_dir_option, force_option, quiet_option,
                     null_option});
  parser.addPositionalArgument(
      QStringLiteral("FILE"),
      QStringLiteral("Mailboxes to convert, in this order. Put \"--\" before "
                     "names that begin with \"-\"."),
      QStringLiteral("FILE..."));

  if (!parser.parse(arguments)) {
    return UsageError(err, parser, parser.errorText());
  }
  if (parser.isSet(help_option)) {
    Write(out, UsageText(parser));
    return kExitOk;
  }
  if (parser.isSet(version_option)) {
    Write(out, QLatin1String(kProgramName) + QStringLiteral(" ") +
                   QCoreApplication::applicationVersion() +
                   QStringLiteral("\n"));
    return kExitOk;
  }
  const bool to_box = parser.isSet(to_box_option);
  const bool to_mbox = parser.isSet(to_mbox_option);
  if (to_box == to_mbox) {
    return UsageError(err, parser,
                      to_box ? QStringLiteral("give only one of --to-box and "
                                              "--to-mbox")
                             : QStringLiteral("give --to-box or --to-mbox"));
  }
  if (parser.values(output_dir_option).size() > 1) {
    return UsageError(err, parser,
                      QStringLiteral("give --output-dir only once"));
  }
  command->output_dir = parser.value(output_dir_option);
  if (parser.isSet(output_dir_option) && command->output_dir.isEmpty()) {
    return UsageError(err, parser,
                      QStringLiteral("--output-dir needs a folder name"));
  }
  command->files = parser.positionalArguments();
  if (command->files.isEmpty()) {
    return UsageError(err, parser, QStringLiteral("no FILE given"));
  }
  command->to_box = to_box;
  command->quiet = parser.isSet(quiet_option);
  command->force = parser.isSet(force_option);
  command->null_terminated = parser.isSet(null_option);
  return std::nullopt;
}

// A name whose bytes are not valid UTF-8 has no text form that leads back
// to it: decoded, it names another file ("caf\xE9" becomes "caf\uFFFD").
// Finds the first such name of the command among `raw_arguments` (the
// arguments as the system passed them), the output folder first, before
// anything is looked at.
std::optional<RunFailure> UndecodableName(const Command& command,
                                          const QByteArrayList& raw_arguments) {
  QSet<QString> undecodable;
  for (qsizetype i = 1; i < raw_arguments.size(); ++i) {
    const QString text = QFile::decodeName(raw_arguments[i]);
    if (QFile::encodeName(text) != raw_arguments[i]) undecodable.insert(text);
  }
  if (undecodable.isEmpty()) return std::nullopt;
  RunFailure failure;
  failure.error = FileError::Own(FailureReason::kNameNotUtf8);
  if (undecodable.contains(command.output_dir)) {
    failure.path = command.output_dir;
    return failure;
  }
  for (qsizetype i = 0; i < command.files.size(); ++i) {
    const QString& file = command.files[i];
    if (!undecodable.contains(file)) continue;
    failure.mailbox_number = static_cast<int>(i + 1);
    failure.mailbox = file.mid(file.lastIndexOf(u'/') + 1);
    failure.path = file;
    return failure;
  }
  return std::nullopt;
}

// A relative name leads nowhere once the working folder has been removed
// (it would be looked up in an empty folder, or, taken from a path that
// cannot be read, from "/"). Finds the first such name of the command, the
// output folder first.
std::optional<RunFailure> NameInRemovedFolder(const Command& command) {
#ifdef _WIN32
  Q_UNUSED(command);
  return std::nullopt;  // a working folder cannot be removed while in use
#else
  struct stat working {};
  if (::stat(".", &working) != 0 || working.st_nlink > 0) return std::nullopt;
  RunFailure failure;
  failure.error = FileError::Own(FailureReason::kWorkingFolderGone);
  if (!command.output_dir.isEmpty() &&
      QDir::isRelativePath(command.output_dir)) {
    failure.path = command.output_dir;
    return failure;
  }
  for (qsizetype i = 0; i < command.files.size(); ++i) {
    const QString& file = command.files[i];
    if (!QDir::isRelativePath(file)) continue;
    failure.mailbox_number = static_cast<int>(i + 1);
    failure.mailbox = file.mid(file.lastIndexOf(u'/') + 1);
    failure.path = file;
    return failure;
  }
  return std::nullopt;
#endif
}

// Run: the checked plan, stopping at the first failure; with `force`,
// also replacing files that appeared since the check. Progress is drawn on
// `err` when `show_progress`, and erased before this returns.
RunResult Run(const ConversionPlan& plan, FileLayer& files, QIODevice& err,
              bool show_progress, bool force, bool null_terminated) {
  SilentReporter silent;
  TerminalProgress progress(err, static_cast<qsizetype>(plan.mailboxes.size()),
                            {}, TerminalProgress::ClearingFor(qgetenv("TERM")));
  ConversionReporter& reporter =
      show_progress ? static_cast<ConversionReporter&>(progress) : silent;
  RunOptions options;
  options.replace_existing = force;
  // An interrupt lists the outputs completed so far as the end would.
  options.completion_note = [null_terminated](const RunMailbox& done) {
    return ListRecord(done, null_terminated);
  };
  // The terminal's line is built from numbers: no status words.
  RunResult result = RunPlan(plan, ProgressText{}, files, reporter, options);
  progress.Finish();
  return result;
}

// Report: the converted mailboxes on `out`, then the failure, if any, on
// `err`. Outputs finished before a failure are complete and stay, so they
// are listed too.
int Report(QIODevice& out, QIODevice& err, const RunResult& result,
           bool null_terminated) {
  if (!WriteConverted(out, result.converted, null_terminated)) {
    Write(err, QLatin1String(kProgramName) +
                   QStringLiteral(": cannot write the list of converted "
                                  "mailboxes to standard output: ") +
                   out.errorString() + QStringLiteral("\n"));
    if (result.failure) ReportFailure(err, *result.failure);
    return kExitFailure;
  }
  if (result.failure) return ReportFailure(err, *result.failure);
  return kExitOk;
}

}  // namespace

ConversionPlan PlanFiles(const QStringList& files, const QString& output_dir,
                         bool mbox_to_box) {
  ConversionPlan plan;
  plan.mbox_to_box = mbox_to_box;
  plan.mailboxes.reserve(static_cast<std::size_t>(files.size()));
  // Paths as the system writes them (C:\out, .\in on Windows) become
  // the "/"-separated paths the engine works with.
  std::optional<QString> current;
  const QString target =
      output_dir.isEmpty()
          ? QString()
          : FolderWithSeparator(QDir::fromNativeSeparators(output_dir),
                                current);
  for (const QString& native : files) {
    const QString file = QDir::fromNativeSeparators(native);
    // Split at the last "/" by hand: QFileInfo would clean "a/../b". The
    // folder keeps its "/", so that a root ("/", "C:/") stays one.
    const qsizetype slash = file.lastIndexOf(u'/');
    const QString folder = FolderWithSeparator(
        slash < 0 ? QString() : file.left(slash + 1), current);
    RunMailbox mailbox;
    mailbox.name = file.mid(slash + 1);
    mailbox.source = folder + mailbox.name;
    mailbox.target_folder = target.isEmpty() ? folder : target;
    mailbox.output =
        OutputPath(mailbox.target_folder, mailbox.name, mbox_to_box);
    plan.mailboxes.push_back(std::move(mailbox));
  }
  return plan;
}

int RunConvertCommand(const QStringList& arguments, QIODevice& out,
                      QIODevice& err, bool err_is_terminal, FileLayer& files,
                      const QByteArrayList& raw_arguments,
                      QIODevice* terminal_answers) {
  Command command;
  if (const std::optional<int> done =
          ParseCommand(arguments, out, err, &command)) {
    return *done;
  }
  if (const std::optional<RunFailure> failure =
          UndecodableName(command, raw_arguments)) {
    return ReportFailure(err, *failure);
  }
  if (const std::optional<RunFailure> failure = NameInRemovedFolder(command)) {
    return ReportFailure(err, *failure);
  }
  ConversionPlan plan =
      PlanFiles(command.files, command.output_dir, command.to_box);
  // Replacing is decided once the plan is otherwise sound, so that the
  // question is never asked for a run that cannot happen.
  if (!HasMemoryHeadroom()) {
    RunFailure failure;
    failure.error = FileError::Own(FailureReason::kOutOfMemory);
    failure.path = command.files.front();
    return ReportFailure(err, failure);
  }
  CheckOptions check;
  check.replace_existing = true;
  if (const std::optional<RunFailure> failure = CheckPlan(plan, files, check)) {
    return ReportFailure(err, *failure);
  }
  if (!MayReplace(ReplacedOutputs(plan), command.force, terminal_answers,
                  err)) {
    return kExitFailure;
  }
  // Without --force, a file that appears under a free output name
  // meanwhile is refused by the run, not replaced.
  const RunResult result =
      Run(plan, files, err, err_is_terminal && !command.quiet, command.force,
          command.null_terminated);
  return Report(out, err, result, command.null_terminated);
}

}  // namespace quillet
