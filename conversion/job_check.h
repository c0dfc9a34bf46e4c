// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_JOB_CHECK_H_
#define QUILLET_CONVERSION_JOB_CHECK_H_

#include <QString>
#include <QStringList>
#include <optional>
#include <span>
#include <vector>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"
#include "conversion/run_failure.h"

namespace quillet {

// One mailbox of a plan: where it is read and where its output goes. The
// folder is kept as given rather than cut from the output path, since it is
// checked as given: "/home/a/file" is refused as a target, not read as the
// folder "/home/a/" and the name prefix "file".
struct PlannedMailbox {
  QString name;             // how failures name the mailbox
  QString source;           // full path
  QString target_folder;    // the output's folder, as given
  QString output_name;      // without folder
  bool mbox_to_box = true;  // the direction of its job
  QString output() const { return target_folder + output_name; }
};

// Every mailbox that a set of runs converts, in run order. Mailbox numbers
// in a check's failure count along this list, from 1.
using ConversionPlan = std::vector<PlannedMailbox>;

// The mailboxes of `jobs` run one after another, in that order.
ConversionPlan PlanOf(std::span<const ConversionJob> jobs);

// How much of a source's head the format check reads at most: the first
// line that starts a message of either format must begin within it. Text
// before the first message is allowed (a note above a git format-patch
// series, a preamble before a .box's first separator), but no real mailbox
// has a MiB of it.
inline constexpr qint64 kFormatHead = qint64{1} << 20;

// What the head of a source shows it to be.
enum class SourceKind {
  kEmpty,   // no bytes at all: converts to an empty output
  kMbox,    // a line starting an mbox message comes first, or MMDF
  kBox,     // a .box separator line comes first
  kBinary,  // no message, and a NUL byte: a picture, a program, an archive
  kText,    // no message of either format
};

// Reads at most kFormatHead bytes and a line's look-ahead of `file`, from
// its start, and says which format's message starts first: a .box
// separator line, or an mbox "From " line that the reader would take as a
// message's start (the first line, or one the separator judge accepts), or
// an MMDF delimiter as the first line. A failed read sets `error` and gives
// nothing.
std::optional<SourceKind> KindOfSource(InputFile& file, FileError* error);

// What a check may allow and what it tells besides its verdict.
struct CheckOptions {
  // Outputs may replace existing regular files (the user agreed). When
  // false, the first such output refuses the plan (kOutputExists), after
  // every other check has passed.
  bool replace_existing = false;
  // Whether each source's head is read for its format (see RunOptions).
  bool check_formats = true;
  // When given and the plan may run, or is refused only for replacing:
  // the outputs that would replace a file, in plan order.
  QStringList* existing_outputs = nullptr;
  // When given and the plan may run: each source's facts in plan order.
  std::vector<PathFacts>* source_facts = nullptr;
};

// Decides, without writing anything, whether the plan may run: every target
// folder exists, is a folder and may be written; every source exists, is a
// regular file and may be read; no output name is longer than its folder's
// file system allows or holds a character it refuses; no output path is a
// symbolic link, one of the sources (also through a link) or an existing
// folder; no two mailboxes give the same output: the same folder (also
// through a link or under another spelling) and the same name, also where
// the folder ignores letter case; every non-empty source is of the plan's
// format by KindOfSource (mbox or MMDF to .box, .box to mbox, by its
// job's direction); and no
// output replaces a file unless allowed. Checks in that order: all
// folders, then all sources, then all outputs, then the formats, then
// replacement, so that the first failure reported does not depend on how
// the plan's mailboxes are grouped into runs, and no source is opened for
// a plan that fails on names alone.
// An empty plan may run. Takes time linear in the number of mailboxes, and
// reads at most a bounded head of each source.
std::optional<RunFailure> CheckPlan(const ConversionPlan& plan,
                                    FileLayer& files,
                                    const CheckOptions& options = {});

// CheckPlan over the mailboxes of one job.
std::optional<RunFailure> CheckJob(const ConversionJob& job, FileLayer& files,
                                   const CheckOptions& options = {});

}  // namespace quillet

#endif  // QUILLET_CONVERSION_JOB_CHECK_H_
