// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/conversion_run.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <string>

#include "conversion/job_check.h"
#include "conversion/line_reader.h"
#include "conversion/mailbox_converter.h"
#include "conversion/mailbox_format.h"
#include "conversion/mailbox_writer.h"

namespace quillet {
namespace {

RunFailure Failure(RunStep step, qint64 number, const QString& mailbox,
                   const QString& path, const FileError& error) {
  return RunFailure{
      step, static_cast<int>(number), mailbox, path, error.words, error.code};
}

// A converted output waiting for the disk's confirmation and its rename.
struct PendingOutput {
  qint64 number;
  QString name;
  QString source;
  QString output;
  qint64 messages;
  std::unique_ptr<OutputFile> file;
};

// Small outputs are confirmed by the disk in groups: one flush of the file
// system for up to this many files or bytes, then each output's own
// (checked) sync has little left to wait for.
constexpr std::size_t kGroupFiles = 128;
constexpr qint64 kGroupBytes = qint64{32} << 20;

// One mailbox of the run and its two files.
struct Mailbox {
  qint64 number;   // 1-based, in the run
  QString name;    // as the job lists it
  QString source;  // full paths
  QString output;
};

struct OpenMailbox {
  qint64 size = 0;
  std::unique_ptr<InputFile> input;
  std::unique_ptr<OutputFile> output;
};

RunFailure FailureOf(const Mailbox& mailbox, const QString& path,
                     const StepFailure& failed) {
  return Failure(failed.step, mailbox.number, mailbox.name, path, failed.error);
}

// The open step: the source's size (the progress maximum), the source and
// the output's temporary file.
std::optional<OpenMailbox> Open(const Mailbox& mailbox, FileLayer& files,
                                const PathFacts& source,
                                ConversionReporter& reporter,
                                RunFailure* failure) {
  FileError error;
  const auto fail = [&](RunStep step, const QString& path) {
    *failure = FailureOf(mailbox, path, StepFailure{step, error});
    return std::nullopt;
  };
  OpenMailbox open;
  const std::optional<qint64> size = files.Size(mailbox.source, &error);
  if (!size) return fail(RunStep::kSizeQuery, mailbox.source);
  open.size = *size;
  reporter.SetProgressMax(*size);
  open.input = files.OpenInput(mailbox.source, &error);
  if (!open.input) return fail(RunStep::kOpenSource, mailbox.source);
  open.output = files.OpenOutput(mailbox.output, &error);
  if (!open.output) return fail(RunStep::kOpenOutput, mailbox.output);
  open.output->SetNewFileMode(source.permissions);
  return open;
}

// Buffers fit the mailbox: a run over thousands of small mailboxes should
// not allocate and clear megabytes for each. A source that grows while it
// is read is still read whole, in reads of this size.
std::size_t Fitted(qint64 size, std::size_t most) {
  const qint64 room = size + size / 8 + 64;  // CR LF ends may add bytes
  return std::min(
      most, static_cast<std::size_t>(std::max<qint64>(room, qint64{4096})));
}

// The finish step up to the sync: the reader's and writer's failures, the
// source's close (a source that changed while it was read fails here), and
// the output's last bytes handed to the system.
std::optional<RunFailure> FinishWriting(const Mailbox& mailbox,
                                        const LineReader& reader,
                                        MailboxWriter& writer,
                                        InputFile& input) {
  if (const auto failed = reader.failure()) {
    return FailureOf(mailbox, mailbox.source, *failed);
  }
  if (const auto& failed = writer.failure()) {
    return FailureOf(mailbox, mailbox.output, *failed);
  }
  if (!input.Close()) {
    // A source that changed while it was read failed its reading.
    const FileError error = input.Error();
    const RunStep step = error.code == FailureReason::kSourceChanged
                             ? RunStep::kRead
                             : RunStep::kCloseSource;
    return FailureOf(mailbox, mailbox.source, StepFailure{step, error});
  }
  if (!writer.FinishWriting()) {
    return FailureOf(mailbox, mailbox.output, *writer.failure());
  }
  return std::nullopt;
}

}  // namespace

RunResult RunConversion(const ConversionJob& job, const ProgressText& text,
                        FileLayer& files, ConversionReporter& reporter,
                        const RunOptions& options) {
  RunResult result;
  std::vector<PathFacts> sources;
  CheckOptions check;
  check.replace_existing = options.replace_existing;
  check.check_formats = options.check_formats;
  check.source_facts = &sources;
  if (auto failure = CheckJob(job, files, check)) {
    result.failure = std::move(failure);
    return result;
  }
  const QDateTime started = options.started.isValid()
                                ? options.started
                                : QDateTime::currentDateTimeUtc();
  QSet<FileKey> own_written;
  QSet<FileKey>& written = options.written ? *options.written : own_written;
  // This run's outputs by case-folded path, for file systems whose inode
  // numbers are made up per name (FUSE), where identity cannot tell.
  QHash<QString, QString> written_folded;

  std::vector<PendingOutput> pending;
  qint64 pending_bytes = 0;
  bool renamed_any = false;

  // Confirms and renames the pending outputs in list order. At the first
  // failure the outputs after it are discarded with their temporary files.
  const auto settle = [&]() -> std::optional<RunFailure> {
    if (pending.size() > 1) files.StartWriteBack(job.TargetFolder);
    std::vector<PendingOutput> group = std::move(pending);
    pending.clear();
    pending_bytes = 0;
    for (PendingOutput& p : group) {
      if (!p.file->Sync()) {
        return Failure(RunStep::kSync, p.number, p.name, p.output,
                       p.file->Error());
      }
      // The name may lead to an output of this run although the check saw
      // it free: a file system that ignores case and that the check could
      // not see as one.
      const PathFacts there = files.Inspect(p.output);
      const auto same_but_case =
          written_folded.constFind(p.output.toCaseFolded());
      const bool leads_to_own =
          there.exists && (written.contains(KeyOf(there)) ||
                           (same_but_case != written_folded.constEnd() &&
                            same_but_case.value() != p.output &&
                            !files.ListsExactly(p.output)));
      if (leads_to_own) {
        return Failure(RunStep::kCommit, p.number, p.name, p.output,
                       FileError::Own(FailureReason::kReplacesOwnOutput));
      }
      if (!p.file->Commit()) {
        return Failure(RunStep::kCommit, p.number, p.name, p.output,
                       p.file->Error());
      }
      renamed_any = true;
      const PathFacts now = files.Inspect(p.output);
      if (now.exists) written.insert(KeyOf(now));
      written_folded.insert(p.output.toCaseFolded(), p.output);
      result.converted.push_back({p.source, p.output, p.messages});
    }
    return std::nullopt;
  };
  // Ends the run at a failure of mailbox `failure`: what was finished
  // before it is still confirmed, renamed and made durable.
  const auto stop = [&](RunFailure failure) {
    if (std::optional<RunFailure> earlier = settle()) failure = *earlier;
    FileError ignored;
    if (renamed_any) files.SyncFolder(job.TargetFolder, &ignored);
    result.failure = std::move(failure);
    return result;
  };

  for (qsizetype i = 0; i < job.MailboxFiles.size(); ++i) {
    Mailbox mailbox{
        i + 1, job.MailboxFiles[i], job.SourceFolder + job.MailboxFiles[i],
        OutputPath(job.TargetFolder, job.MailboxFiles[i], job.MboxToBox)};
    RunFailure failure;
    std::optional<OpenMailbox> open =
        Open(mailbox, files, sources[static_cast<std::size_t>(i)], reporter,
             &failure);
    if (!open) return stop(failure);

    LineReader reader(*open->input, Fitted(open->size, options.read_chunk));
    MailboxWriter writer(*open->output, job.MboxToBox ? "\r\n" : "\n",
                         Fitted(open->size, std::size_t{1} << 20));
    const qint64 messages = ConvertMailbox(
        reader, writer, reporter, text, mailbox.number, started, job.MboxToBox);

    if (std::optional<RunFailure> failed =
            FinishWriting(mailbox, reader, writer, *open->input)) {
      return stop(*failed);
    }
    pending.push_back({mailbox.number, mailbox.name, mailbox.source,
                       mailbox.output, messages, std::move(open->output)});
    pending_bytes += open->size;
    if (pending.size() >= kGroupFiles || pending_bytes >= kGroupBytes) {
      if (std::optional<RunFailure> failed = settle()) return stop(*failed);
    }
  }
  if (std::optional<RunFailure> failure = settle()) return stop(*failure);
  FileError error;
  if (renamed_any && !files.SyncFolder(job.TargetFolder, &error)) {
    result.failure =
        Failure(RunStep::kSyncFolder, 0, QString(), job.TargetFolder, error);
  }
  return result;
}

}  // namespace quillet
