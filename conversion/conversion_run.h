// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_CONVERSION_RUN_H_
#define QUILLET_CONVERSION_CONVERSION_RUN_H_

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "conversion/conversion_reporter.h"
#include "conversion/file_layer.h"
#include "conversion/run_failure.h"

namespace quillet {

// What one run converts. Full paths are plain concatenations of a folder
// and a name, so both folders end in the directory separator once set.
struct ConversionJob {
  QStringList MailboxFiles;  // names without folder, in run order
  QString SourceFolder;      // empty until sources are chosen
  QString TargetFolder;      // empty until chosen or defaulted
  bool MboxToBox = true;     // true: mbox to .box; false: .box to mbox
};

// One mailbox of a run, from the plan through the check to the result:
// where it is read, where its output goes, what the check found and what
// the run made of it. The output's folder is kept as given rather than cut
// from the output path, since it is checked as given: "/home/a/file" is
// refused as a target, not read as the folder "/home/a/" and the name
// prefix "file".
struct RunMailbox {
  QString name;           // as listed; how failures name the mailbox
  QString source;         // full path
  QString target_folder;  // the output's folder, as given
  QString output;         // full path: `target_folder` and the output name
  // Found by CheckPlan.
  quint32 source_permissions = 0;  // the mode's permission bits
  bool replaces = false;           // a file had the output's name
  // That file's identity, when `replaces`: the one the user agreed to lose.
  FileKey replaced{};
  // Counted by the run: separator lines found.
  qint64 messages = 0;

  QString output_name() const { return output.mid(target_folder.size()); }
};

// Every mailbox a run converts, in run order, and the run's direction.
// Mailbox numbers in failures count along `mailboxes`, from 1. Built once
// (PlanOf, or by the command line from its arguments), checked once
// (CheckPlan, which fills in what it found), then run (RunPlan).
struct ConversionPlan {
  std::vector<RunMailbox> mailboxes;
  bool mbox_to_box = true;  // true: mbox to .box; false: .box to mbox
  bool checked = false;     // CheckPlan has passed it
};

// The plan of `job`: its mailboxes in list order, each read from the source
// folder and written into the target folder under OutputName().
ConversionPlan PlanOf(const ConversionJob& job);

// Whether the process can still take a few MiB more. Checked where a run
// can stop cleanly (before the check, before each mailbox, before outputs
// are renamed), so that memory that runs short fails there, with the
// mailbox and the step named, rather than inside code that cannot pass the
// failure on: an allocation failing in Qt's hash insertion, which is
// noexcept, ends the process.
bool HasMemoryHeadroom();

struct RunResult {
  // The plan's first mailboxes, complete, with their message counts; the
  // whole plan unless the run stopped early.
  std::vector<RunMailbox> converted;
  std::optional<RunFailure> failure;  // set when the run stopped early
  bool ok() const { return !failure.has_value(); }
};

struct RunOptions {
  // Bytes asked of the source per read. Tests make it tiny so that every
  // line end, separator and look-ahead straddles a buffer boundary.
  std::size_t read_chunk = 1 << 20;
  // When the run started; messages without a usable Date header get this
  // time on their mbox separator line. Invalid: the current time.
  QDateTime started;
  // Outputs may replace any existing file: the user has agreed to all
  // (--force). Otherwise RunConversion's check refuses a job whose output
  // name is taken, and RunPlan replaces only the files its plan's check
  // found (kOutputExists).
  bool replace_existing = false;
  // RunConversion only: whether the check reads each source's head for its
  // format. Only the tests of the line rules turn it off, to convert
  // fragments that are no mailbox of either format; the programs never do.
  bool check_formats = true;
  // The line of the result list for an output about to be renamed into
  // place, which an interrupt after the rename writes to standard output
  // (OutputFile::SetCompletionNote). Null: no line, as in the window.
  std::function<QByteArray(const RunMailbox&)> completion_note;
};

// Converts every mailbox of a checked plan, in plan order, each into its
// output. Unless `options.replace_existing`, refuses the plan before
// anything is written when a file has appeared under an output name that
// the check found free (kOutputExists, as the check gives it): the user
// agreed to replace exactly the files the check found. An output is renamed
// into place only once the disk has confirmed all of its bytes; small outputs
// are confirmed and renamed in groups, in plan order, a group never spanning
// two target folders. When the plan moves on to another target folder, and
// after the last rename, the folder is synced, so that the renames survive a
// power cut. Stops at the first failure: outputs finished before it stay
// complete, the failing one leaves nothing behind (an existing file of its name
// stays as it was), later mailboxes are not touched, and no source is ever
// written. A failing folder sync is reported with every output renamed before
// it in `converted`. Takes `read_chunk`, `started` and `replace_existing` of
// `options`.
RunResult RunPlan(const ConversionPlan& plan, const ProgressText& text,
                  FileLayer& files, ConversionReporter& reporter,
                  const RunOptions& options = {});

// Plans the job (PlanOf), checks the plan (CheckPlan: formats unless
// `options.check_formats` is off, and existing outputs unless
// `options.replace_existing`) and runs it (RunPlan). A refused plan writes
// nothing.
RunResult RunConversion(const ConversionJob& job, const ProgressText& text,
                        FileLayer& files, ConversionReporter& reporter,
                        const RunOptions& options = {});

}  // namespace quillet

#endif  // QUILLET_CONVERSION_CONVERSION_RUN_H_
