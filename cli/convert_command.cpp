#include "cli/convert_command.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include "cli/terminal_progress.h"
#include "conversion/mailbox_format.h"
#include "ui/text/ui_text.h"

namespace quillet {
namespace {

constexpr char kProgramName[] = "quillet-convert";
constexpr char kSynopsis[] =
    "quillet-convert (--to-box | --to-mbox) [--output-dir DIR] [--quiet] "
    "FILE...";

// An absolute folder path ending in "/", as ConversionJob expects. Never
// cleaned as text: "link/.." is the parent of the folder the link leads to,
// which only the system can tell, so the path goes to it as given.
QString FolderWithSeparator(const QString& path) {
  QString folder = path;
  if (!folder.startsWith(u'/')) {
    folder = QDir::currentPath() + (folder.isEmpty() ? QString() : u'/' + folder);
  }
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder;
}

// Identity of a file as the check sees it; equal keys mean the same file.
using FileKey = QPair<quint64, quint64>;

FileKey KeyOf(const PathFacts& facts) { return {facts.device, facts.inode}; }

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
  Write(err, QLatin1String(kProgramName) + QStringLiteral(": ") +
                 failure.Describe() + QStringLiteral("\n"));
  return kExitFailure;
}

// One line per converted mailbox: source, output, messages, tab-separated.
// Returns false when standard output did not take all of it (a full
// device, a closed pipe): the caller must not report success then.
bool WriteConverted(QIODevice& out,
                    const std::vector<ConvertedMailbox>& converted) {
  for (const ConvertedMailbox& mailbox : converted) {
    const QByteArray line = QFile::encodeName(mailbox.source) + '\t' +
                            QFile::encodeName(mailbox.output) + '\t' +
                            QByteArray::number(mailbox.messages) + '\n';
    if (out.write(line) != line.size()) return false;
  }
  if (auto* file = qobject_cast<QFileDevice*>(&out)) return file->flush();
  return true;
}

// Reports nothing; used when progress is not wanted.
class SilentReporter : public ConversionReporter {
 public:
  void SetProgressMax(qint64 /*size*/) override {}
  void SetProgressValue(qint64 /*reckoned*/) override {}
  void SetStatusText(const QString& /*text*/) override {}
  void Repaint() override {}
};

}  // namespace

std::vector<ConversionJob> PlanJobs(const QStringList& files,
                                    const QString& output_dir,
                                    bool mbox_to_box) {
  std::vector<ConversionJob> jobs;
  const QString target =
      output_dir.isEmpty() ? QString() : FolderWithSeparator(output_dir);
  for (const QString& file : files) {
    // Split at the last "/" by hand: QFileInfo would clean "a/../b".
    const qsizetype slash = file.lastIndexOf(u'/');
    const QString folder = FolderWithSeparator(
        slash < 0 ? QString() : slash == 0 ? QStringLiteral("/") : file.left(slash));
    const QString name = file.mid(slash + 1);
    if (jobs.empty() || jobs.back().SourceFolder != folder) {
      ConversionJob job;
      job.SourceFolder = folder;
      job.TargetFolder = target.isEmpty() ? folder : target;
      job.MboxToBox = mbox_to_box;
      jobs.push_back(job);
    }
    jobs.back().MailboxFiles.append(name);
  }
  return jobs;
}

std::optional<RunFailure> CheckPlan(const std::vector<ConversionJob>& jobs,
                                    FileLayer& files) {
  int offset = 0;
  for (const ConversionJob& job : jobs) {
    if (std::optional<RunFailure> failure = CheckJob(job, files)) {
      if (failure->mailbox_number > 0) failure->mailbox_number += offset;
      return failure;
    }
    offset += static_cast<int>(job.MailboxFiles.size());
  }

  // Every source and target folder exists now; compare them by identity so
  // that links and differently spelled paths cannot hide a clash.
  struct Mailbox {
    int number;
    QString name;
    QString output;
  };
  // Hash maps: linear in the number of mailboxes.
  QHash<FileKey, int> sources;  // source identity -> mailbox number
  std::vector<Mailbox> mailboxes;
  int number = 0;
  for (const ConversionJob& job : jobs) {
    for (const QString& name : job.MailboxFiles) {
      ++number;
      const FileKey key = KeyOf(files.Inspect(job.SourceFolder + name));
      if (!sources.contains(key)) sources.insert(key, number);
      mailboxes.push_back(
          {number, name, OutputPath(job.TargetFolder, name, job.MboxToBox)});
    }
  }

  // (target folder, output name) -> mailbox number; the name case-folded
  // where the target ignores case.
  QHash<QPair<FileKey, QString>, int> outputs;
  number = 0;
  for (const ConversionJob& job : jobs) {
    const PathFacts target_facts = files.Inspect(job.TargetFolder);
    const FileKey target = KeyOf(target_facts);
    for (const QString& name : job.MailboxFiles) {
      const Mailbox& mailbox = mailboxes[static_cast<std::size_t>(number)];
      ++number;
      RunFailure failure;
      failure.step = RunStep::kCheck;
      failure.mailbox_number = mailbox.number;
      failure.mailbox = mailbox.name;
      failure.path = mailbox.output;

      const PathFacts output = files.Inspect(mailbox.output);
      if (output.exists) {
        const auto source = sources.constFind(KeyOf(output));
        if (source != sources.constEnd()) {
          failure.reason = QStringLiteral("the output would overwrite ") +
                           (source.value() == mailbox.number
                                ? QStringLiteral("its own source")
                                : QStringLiteral("the source of mailbox ") +
                                      QString::number(source.value()));
          return failure;
        }
      }
      QString output_name = OutputName(name, job.MboxToBox);
      if (target_facts.folds_case) output_name = output_name.toCaseFolded();
      const QPair<FileKey, QString> key(target, output_name);
      const auto clash = outputs.constFind(key);
      if (clash != outputs.constEnd()) {
        failure.reason =
            QStringLiteral("mailbox %1 gives the same output").arg(clash.value()) +
            (target_facts.folds_case
                 ? QStringLiteral(" on a file system that does not tell "
                                  "upper from lower case")
                 : QString());
        return failure;
      }
      outputs.insert(key, mailbox.number);
    }
  }
  return std::nullopt;
}

int RunConvertCommand(const QStringList& arguments, QIODevice& out,
                      QIODevice& err, bool err_is_terminal, FileLayer& files,
                      const QByteArrayList& raw_arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Converts mbox mailboxes into Foxmail .box mailboxes, or back.\n"
      "Each FILE gives one output, named after it, next to it or in DIR.\n"
      "Nothing is written unless every FILE can be converted."));
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
  const QCommandLineOption quiet_option(
      {QStringLiteral("q"), QStringLiteral("quiet")},
      QStringLiteral("Show no progress."));
  parser.addOptions({help_option, version_option, to_box_option, to_mbox_option,
                     output_dir_option, quiet_option});
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
  const QString output_dir = parser.value(output_dir_option);
  if (parser.isSet(output_dir_option) && output_dir.isEmpty()) {
    return UsageError(err, parser,
                      QStringLiteral("--output-dir needs a folder name"));
  }
  const QStringList sources = parser.positionalArguments();
  if (sources.isEmpty()) {
    return UsageError(err, parser, QStringLiteral("no FILE given"));
  }

  // A name whose bytes are not valid UTF-8 has no text form that leads
  // back to it: decoded, it names another file ("caf\xE9" becomes
  // "caf\uFFFD"). Refuse the run before anything is looked at.
  QSet<QString> undecodable;
  for (qsizetype i = 1; i < raw_arguments.size(); ++i) {
    const QString text = QFile::decodeName(raw_arguments[i]);
    if (QFile::encodeName(text) != raw_arguments[i]) undecodable.insert(text);
  }
  if (!undecodable.isEmpty()) {
    RunFailure failure;
    failure.code = FailureReason::kNameNotUtf8;
    failure.reason = ReasonText(failure.code);
    if (undecodable.contains(output_dir)) {
      failure.path = output_dir;
      return ReportFailure(err, failure);
    }
    for (qsizetype i = 0; i < sources.size(); ++i) {
      if (!undecodable.contains(sources[i])) continue;
      failure.mailbox_number = static_cast<int>(i + 1);
      failure.mailbox = sources[i].mid(sources[i].lastIndexOf(u'/') + 1);
      failure.path = sources[i];
      return ReportFailure(err, failure);
    }
  }

  const std::vector<ConversionJob> jobs = PlanJobs(sources, output_dir, to_box);
  if (std::optional<RunFailure> failure = CheckPlan(jobs, files)) {
    return ReportFailure(err, *failure);
  }

  UiText text;
  FillUiText(text, Language::kEnglish);
  RunOptions options;
  // One start time for the whole command, so that messages without a usable
  // date get the same one whichever job converts them.
  options.started = QDateTime::currentDateTimeUtc();
  // No output of the command may replace another, whichever job wrote it.
  QSet<QPair<quint64, quint64>> written;
  options.written = &written;

  SilentReporter silent;
  TerminalProgress progress(err, sources.size());
  const bool show_progress = err_is_terminal && !parser.isSet(quiet_option);
  ConversionReporter& reporter =
      show_progress ? static_cast<ConversionReporter&>(progress) : silent;

  std::vector<ConvertedMailbox> converted;
  std::optional<RunFailure> failure;
  int offset = 0;
  for (const ConversionJob& job : jobs) {
    RunResult result = RunConversion(job, ProgressTextOf(text), files, reporter, options);
    converted.insert(converted.end(), result.converted.begin(),
                     result.converted.end());
    if (result.failure) {
      failure = std::move(result.failure);
      if (failure->mailbox_number > 0) failure->mailbox_number += offset;
      break;
    }
    offset += static_cast<int>(job.MailboxFiles.size());
  }
  progress.Finish();

  // Outputs finished before a failure are complete and stay; say which.
  if (!WriteConverted(out, converted)) {
    Write(err, QLatin1String(kProgramName) +
                   QStringLiteral(": cannot write the list of converted "
                                  "mailboxes to standard output: ") +
                   out.errorString() + QStringLiteral("\n"));
    if (failure) ReportFailure(err, *failure);
    return kExitFailure;
  }
  if (failure) return ReportFailure(err, *failure);
  return kExitOk;
}

}  // namespace quillet
