#include "conversion/conversion_run.h"

#include <QHash>
#include <algorithm>
#include <string>

#include "conversion/line_reader.h"
#include "conversion/mailbox_converter.h"
#include "conversion/mailbox_format.h"
#include "conversion/mailbox_writer.h"

namespace quillet {
namespace {

RunFailure Failure(RunStep step, qint64 number, const QString& mailbox,
                   const QString& path, const QString& reason) {
  return RunFailure{step, static_cast<int>(number), mailbox, path, reason,
                    FailureReason::kSystem};
}

// A failure of the check, for a reason of the program's own.
RunFailure CheckFailure(qint64 number, const QString& mailbox,
                        const QString& path, FailureReason code) {
  return RunFailure{RunStep::kCheck, static_cast<int>(number), mailbox, path,
                    ReasonText(code), code};
}

}  // namespace

std::optional<RunFailure> CheckJob(const ConversionJob& job, FileLayer& files) {
  if (job.MailboxFiles.isEmpty()) return std::nullopt;

  const PathFacts target = files.Inspect(job.TargetFolder);
  if (job.TargetFolder.isEmpty() || !target.exists) {
    return CheckFailure(0, {}, job.TargetFolder, FailureReason::kTargetMissing);
  }
  if (!target.is_directory) {
    return CheckFailure(0, {}, job.TargetFolder, FailureReason::kTargetNotFolder);
  }

  std::vector<PathFacts> sources;
  for (qsizetype i = 0; i < job.MailboxFiles.size(); ++i) {
    const QString& name = job.MailboxFiles[i];
    const QString path = job.SourceFolder + name;
    const PathFacts facts = files.Inspect(path);
    if (!facts.exists) {
      return CheckFailure(i + 1, name, path, FailureReason::kSourceMissing);
    }
    if (!facts.is_regular_file) {
      return CheckFailure(i + 1, name, path, FailureReason::kSourceNotRegular);
    }
    sources.push_back(facts);
  }

  const auto same_file = [](const PathFacts& a, const PathFacts& b) {
    return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
  };
  QHash<QString, qsizetype> outputs;
  std::vector<PathFacts> existing_outputs;
  for (qsizetype i = 0; i < job.MailboxFiles.size(); ++i) {
    const QString& name = job.MailboxFiles[i];
    const QString path = OutputPath(job.TargetFolder, name, job.MboxToBox);
    const PathFacts facts = files.Inspect(path);
    if (facts.exists && !facts.is_regular_file) {
      return CheckFailure(i + 1, name, path, FailureReason::kOutputNotRegular);
    }
    const bool is_a_source =
        std::any_of(sources.begin(), sources.end(),
                    [&](const PathFacts& s) { return same_file(s, facts); });
    if (is_a_source) {
      return CheckFailure(i + 1, name, path, FailureReason::kOutputIsSource);
    }
    const bool clash =
        outputs.contains(path) ||
        std::any_of(existing_outputs.begin(), existing_outputs.end(),
                    [&](const PathFacts& o) { return same_file(o, facts); });
    if (clash) {
      return CheckFailure(i + 1, name, path, FailureReason::kOutputClash);
    }
    outputs.insert(path, i);
    if (facts.exists) existing_outputs.push_back(facts);
  }
  return std::nullopt;
}

RunResult RunConversion(const ConversionJob& job, const UiText& text,
                        FileLayer& files, ConversionReporter& reporter,
                        const RunOptions& options) {
  RunResult result;
  if (auto failure = CheckJob(job, files)) {
    result.failure = std::move(failure);
    return result;
  }
  const QDateTime started = options.started.isValid()
                                ? options.started
                                : QDateTime::currentDateTimeUtc();

  for (qsizetype i = 0; i < job.MailboxFiles.size(); ++i) {
    const qint64 number = i + 1;
    const QString& name = job.MailboxFiles[i];
    const QString source = job.SourceFolder + name;
    const QString output = OutputPath(job.TargetFolder, name, job.MboxToBox);
    const auto fail = [&](RunStep step, const QString& path,
                          const QString& reason) {
      result.failure = Failure(step, number, name, path, reason);
      return result;
    };

    QString error;
    const std::optional<qint64> size = files.Size(source, &error);
    if (!size) return fail(RunStep::kSizeQuery, source, error);
    reporter.SetProgressMax(*size);

    const std::unique_ptr<InputFile> input = files.OpenInput(source, &error);
    if (!input) return fail(RunStep::kOpenSource, source, error);
    const std::unique_ptr<OutputFile> out = files.OpenOutput(output, &error);
    if (!out) return fail(RunStep::kOpenOutput, output, error);

    // Buffers fit the mailbox: a run over thousands of small mailboxes
    // should not allocate and clear megabytes for each. A source that grows
    // while it is read is still read whole, in reads of this size.
    const auto fitted = [&](std::size_t most) {
      const qint64 room = *size + *size / 8 + 64;  // CR LF ends may add bytes
      return std::min(most, static_cast<std::size_t>(
                                std::max<qint64>(room, qint64{4096})));
    };
    LineReader reader(*input, fitted(options.read_chunk));
    MailboxWriter writer(*out, job.MboxToBox ? "\r\n" : "\n",
                         fitted(std::size_t{1} << 20));
    const qint64 messages = ConvertMailbox(reader, writer, reporter, text,
                                           number, started, job.MboxToBox);

    if (reader.failed()) return fail(RunStep::kRead, source, reader.error());
    if (writer.failed()) return fail(RunStep::kWrite, output, writer.error());
    if (!input->Close()) {
      return fail(RunStep::kCloseSource, source, input->ErrorString());
    }
    if (!writer.Finish()) {
      const RunStep step = writer.failed_at_flush()    ? RunStep::kFlush
                           : writer.failed_at_commit() ? RunStep::kCommit
                                                       : RunStep::kWrite;
      return fail(step, output, writer.error());
    }
    result.converted.push_back({source, output, messages});
  }
  return result;
}

}  // namespace quillet
