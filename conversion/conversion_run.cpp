// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/conversion_run.h"

#ifndef Q_OS_WIN
#include <sys/mman.h>
#endif

#include <QHash>
#include <QSet>
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "conversion/job_check.h"
#include "conversion/line_reader.h"
#include "conversion/mailbox_converter.h"
#include "conversion/mailbox_format.h"
#include "conversion/mailbox_writer.h"

namespace quillet {
namespace {

RunFailure Failure(RunStep step, qint64 number, const QString& mailbox,
                   const QString& path, const FileError& error) {
  return RunFailure{step, static_cast<int>(number), mailbox, path, error};
}

// Small outputs are confirmed by the disk in groups: one flush of the file
// system for up to this many files or bytes, then each output's own
// (checked) sync has little left to wait for.
constexpr std::size_t kGroupFiles = 128;
constexpr qint64 kGroupBytes = qint64{32} << 20;

struct OpenMailbox {
  qint64 size = 0;
  std::unique_ptr<InputFile> input;
  std::unique_ptr<OutputFile> output;
};

RunFailure FailureOf(qint64 number, const RunMailbox& mailbox,
                     const QString& path, const StepFailure& failed) {
  return Failure(failed.step, number, mailbox.name, path, failed.error);
}

// The open step: the source's size (the progress maximum), the source and
// the output's temporary file.
std::optional<OpenMailbox> Open(qint64 number, const RunMailbox& mailbox,
                                FileLayer& files, ConversionReporter& reporter,
                                RunFailure* failure) {
  FileError error;
  const auto fail = [&](RunStep step, const QString& path) {
    *failure = FailureOf(number, mailbox, path, StepFailure{step, error});
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
  open.output->SetNewFileMode(mailbox.source_permissions);
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
std::optional<RunFailure> FinishWriting(qint64 number,
                                        const RunMailbox& mailbox,
                                        const LineReader& reader,
                                        MailboxWriter& writer,
                                        InputFile& input) {
  if (const auto failed = reader.failure()) {
    return FailureOf(number, mailbox, mailbox.source, *failed);
  }
  if (const auto& failed = writer.failure()) {
    return FailureOf(number, mailbox, mailbox.output, *failed);
  }
  if (!input.Close()) {
    // A source that changed while it was read failed its reading.
    const FileError error = input.Error();
    const RunStep step = error.code == FailureReason::kSourceChanged
                             ? RunStep::kRead
                             : RunStep::kCloseSource;
    return FailureOf(number, mailbox, mailbox.source, StepFailure{step, error});
  }
  if (!writer.FinishWriting()) {
    return FailureOf(number, mailbox, mailbox.output, *writer.failure());
  }
  return std::nullopt;
}

// More than a mailbox's buffers (two of at most 1 MiB) and the names and
// lines it holds besides.
constexpr std::size_t kHeadroom = std::size_t{8} << 20;

// Throws std::bad_alloc, to end the run where it is, when memory runs
// short.
void EnsureHeadroom() {
  if (!HasMemoryHeadroom()) throw std::bad_alloc();
}

// Where the run is, for a failure that no step reports itself: an
// allocation that fails (std::bad_alloc) or another exception.
struct Position {
  RunStep step = RunStep::kCheck;
  qint64 number = 0;  // 0: no one mailbox
  QString mailbox;
  QString path;
};

// The failure that the exception being handled stands for, at `at`.
RunFailure FailureOfException(const Position& at) {
  FileError error;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    error = FileError::Own(FailureReason::kOutOfMemory);
  } catch (const std::exception&) {
    error = FileError::Own(FailureReason::kUnexpected);
  }
  return Failure(at.step, at.number, at.mailbox, at.path, error);
}

}  // namespace

bool HasMemoryHeadroom() {
#ifdef Q_OS_WIN
  void* probe = std::malloc(kHeadroom);
  std::free(probe);
  return probe != nullptr;
#else
  // Address space, as `ulimit -v` limits it; never touched, so it costs
  // no memory.
  void* probe = ::mmap(nullptr, kHeadroom, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (probe == MAP_FAILED) return false;
  ::munmap(probe, kHeadroom);
  return true;
#endif
}

ConversionPlan PlanOf(const ConversionJob& job) {
  ConversionPlan plan;
  plan.mbox_to_box = job.MboxToBox;
  plan.mailboxes.reserve(static_cast<std::size_t>(job.MailboxFiles.size()));
  for (const QString& name : job.MailboxFiles) {
    RunMailbox mailbox;
    mailbox.name = name;
    mailbox.source = job.SourceFolder + name;
    mailbox.target_folder = job.TargetFolder;
    mailbox.output = OutputPath(job.TargetFolder, name, job.MboxToBox);
    plan.mailboxes.push_back(std::move(mailbox));
  }
  return plan;
}

namespace {

// The run proper. Fills `result` as it goes, so that what it holds when an
// exception leaves is true: the outputs renamed into place so far.
RunResult RunPlanUnguarded(const ConversionPlan& plan, const ProgressText& text,
                           FileLayer& files, ConversionReporter& reporter,
                           const RunOptions& options, RunResult& result,
                           Position& at) {
  Q_ASSERT(plan.checked);
  at = Position{};
  EnsureHeadroom();
  if (!options.replace_existing) {
    if (auto failure = CheckOutputsStillFree(plan, files)) {
      result.failure = std::move(failure);
      return result;
    }
  }
  const QDateTime started = options.started.isValid()
                                ? options.started
                                : QDateTime::currentDateTimeUtc();
  // Identities (device, inode) of this run's outputs: no output may
  // replace one of them, as happens where the file system ignores letter
  // case. Asked of the system only when an output's name is found taken
  // (`unkeyed` holds the outputs not asked yet): into an empty folder no
  // name is, and a run of small mailboxes saves a look per output.
  QSet<FileKey> written;
  std::vector<QString> unkeyed;
  // This run's outputs by case-folded path, for file systems whose inode
  // numbers are made up per name (FUSE), where identity cannot tell.
  QHash<QString, QString> written_folded;

  // Converted outputs waiting for the disk's confirmation and their rename,
  // all of one target folder: the plan's indices and their files.
  std::vector<std::pair<std::size_t, std::unique_ptr<OutputFile>>> pending;
  qint64 pending_bytes = 0;
  std::vector<qint64> messages_of(plan.mailboxes.size());
  // The folder of the renames not yet synced, if any.
  std::optional<QString> unsynced;

  // Confirms and renames the pending outputs in plan order. At the first
  // failure the outputs after it are discarded with their temporary files.
  const auto settle = [&]() -> std::optional<RunFailure> {
    if (pending.empty()) return std::nullopt;
    auto group = std::move(pending);
    pending.clear();
    pending_bytes = 0;
    const std::size_t first = group.front().first;
    at = Position{RunStep::kSync, static_cast<qint64>(first) + 1,
                  plan.mailboxes[first].name, plan.mailboxes[first].output};
    // Once for the group: confirming and naming an output takes a few
    // small allocations, far less than the headroom.
    EnsureHeadroom();
    bool synced_together = false;
    if (group.size() > 1) {
      std::vector<OutputFile*> outputs;
      outputs.reserve(group.size());
      for (auto& entry : group) outputs.push_back(entry.second.get());
      synced_together = files.SyncTogether(outputs);
    }
    for (auto& [i, file] : group) {
      const RunMailbox& mailbox = plan.mailboxes[i];
      const qint64 number = static_cast<qint64>(i) + 1;
      at = Position{RunStep::kSync, number, mailbox.name, mailbox.output};
      if (!synced_together && !file->Sync()) {
        return Failure(RunStep::kSync, number, mailbox.name, mailbox.output,
                       file->Error());
      }
      // The name may lead to an output of this run although the check saw
      // it free: a file system that ignores case and that the check could
      // not see as one.
      const PathFacts there = files.Inspect(mailbox.output);
      // The file the check found there is none of this run's outputs: they
      // are new files, and an output that replaced it under another name
      // would have shared its identity at the check and been refused there.
      const bool checked_file =
          there.exists && mailbox.replaces && KeyOf(there) == mailbox.replaced;
      if (there.exists && !checked_file) {
        for (const QString& output : unkeyed) {
          const PathFacts own = files.Inspect(output);
          if (own.exists) written.insert(KeyOf(own));
        }
        unkeyed.clear();
      }
      const auto same_but_case =
          written_folded.constFind(mailbox.output.toCaseFolded());
      const bool leads_to_own =
          there.exists && ((!checked_file && written.contains(KeyOf(there))) ||
                           (same_but_case != written_folded.constEnd() &&
                            same_but_case.value() != mailbox.output &&
                            !files.ListsExactly(mailbox.output)));
      if (leads_to_own) {
        return Failure(RunStep::kCommit, number, mailbox.name, mailbox.output,
                       FileError::Own(FailureReason::kReplacesOwnOutput));
      }
      at.step = RunStep::kCommit;
      if (options.completion_note) {
        RunMailbox done = mailbox;
        done.messages = messages_of[i];
        file->SetCompletionNote(options.completion_note(done));
      }
      if (!file->Commit()) {
        return Failure(RunStep::kCommit, number, mailbox.name, mailbox.output,
                       file->Error());
      }
      unsynced = mailbox.target_folder;
      unkeyed.push_back(mailbox.output);
      written_folded.insert(mailbox.output.toCaseFolded(), mailbox.output);
      result.converted.push_back(mailbox);
      result.converted.back().messages = messages_of[i];
    }
    return std::nullopt;
  };
  // Makes the renames not yet synced survive a power cut.
  const auto sync_folder = [&]() -> std::optional<RunFailure> {
    if (!unsynced) return std::nullopt;
    const QString folder = *std::exchange(unsynced, std::nullopt);
    at = Position{RunStep::kSyncFolder, 0, QString(), folder};
    FileError error;
    if (files.SyncFolder(folder, &error)) return std::nullopt;
    return Failure(RunStep::kSyncFolder, 0, QString(), folder, error);
  };
  // Ends the run at a failure of mailbox `failure`: what was finished
  // before it is still confirmed, renamed and made durable. Where the
  // folder cannot be synced, the outputs the result lists as converted may
  // lose their names at a power cut (a disk whose journal was aborted): that
  // failure is the one reported, as it is at the end of a run, for it is
  // about outputs that would otherwise be reported as done.
  const auto stop = [&](RunFailure failure) {
    if (std::optional<RunFailure> earlier = settle()) failure = *earlier;
    if (std::optional<RunFailure> folder = sync_folder()) failure = *folder;
    result.failure = std::move(failure);
    return result;
  };

  for (std::size_t i = 0; i < plan.mailboxes.size(); ++i) {
    const RunMailbox& mailbox = plan.mailboxes[i];
    const qint64 number = static_cast<qint64>(i) + 1;
    if (!pending.empty() &&
        plan.mailboxes[pending.front().first].target_folder !=
            mailbox.target_folder) {
      if (std::optional<RunFailure> failed = settle()) return stop(*failed);
    }
    if (unsynced && *unsynced != mailbox.target_folder) {
      if (std::optional<RunFailure> failed = sync_folder()) {
        result.failure = std::move(failed);
        return result;
      }
    }
    try {
      at = Position{RunStep::kOpenSource, number, mailbox.name, mailbox.source};
      EnsureHeadroom();
      RunFailure failure;
      std::optional<OpenMailbox> open =
          Open(number, mailbox, files, reporter, &failure);
      if (!open) return stop(failure);

      at.step = RunStep::kRead;
      LineReader reader(*open->input, Fitted(open->size, options.read_chunk));
      MailboxWriter writer(*open->output, plan.mbox_to_box ? "\r\n" : "\n",
                           Fitted(open->size, std::size_t{1} << 20));
      messages_of[i] = ConvertMailbox(reader, writer, reporter, text, number,
                                      started, plan.mbox_to_box);

      at = Position{RunStep::kFlush, number, mailbox.name, mailbox.output};
      if (std::optional<RunFailure> failed =
              FinishWriting(number, mailbox, reader, writer, *open->input)) {
        return stop(*failed);
      }
      pending.emplace_back(i, std::move(open->output));
      pending_bytes += open->size;
      if (pending.size() >= kGroupFiles || pending_bytes >= kGroupBytes) {
        if (std::optional<RunFailure> failed = settle()) return stop(*failed);
      }
    } catch (const std::exception&) {
      // What was finished before this mailbox is still renamed into place;
      // this one's temporary output went with the unwinding.
      return stop(FailureOfException(at));
    }
  }
  if (std::optional<RunFailure> failure = settle()) return stop(*failure);
  result.failure = sync_folder();
  return result;
}

}  // namespace

RunResult RunPlan(const ConversionPlan& plan, const ProgressText& text,
                  FileLayer& files, ConversionReporter& reporter,
                  const RunOptions& options) {
  RunResult result;
  Position at;
  // An exception ends the run where it is, like a failing step: unwinding
  // destroys the open files, which removes each temporary output, and
  // what `result` holds was renamed into place. A program that lives on
  // after the run (the window) stays usable; nothing it holds is half-made.
  try {
    return RunPlanUnguarded(plan, text, files, reporter, options, result, at);
  } catch (const std::exception&) {
    result.failure = FailureOfException(at);
  }
  return result;
}

RunResult RunConversion(const ConversionJob& job, const ProgressText& text,
                        FileLayer& files, ConversionReporter& reporter,
                        const RunOptions& options) {
  ConversionPlan plan = PlanOf(job);
  CheckOptions check;
  check.replace_existing = options.replace_existing;
  check.check_formats = options.check_formats;
  std::optional<RunFailure> failure;
  try {
    EnsureHeadroom();
    failure = CheckPlan(plan, files, check);
  } catch (const std::exception&) {
    failure = FailureOfException(
        Position{RunStep::kCheck, 0, QString(), job.TargetFolder});
  }
  if (failure) {
    RunResult refused;
    refused.failure = std::move(failure);
    return refused;
  }
  return RunPlan(plan, text, files, reporter, options);
}

}  // namespace quillet
