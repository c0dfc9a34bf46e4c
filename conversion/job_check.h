// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_JOB_CHECK_H_
#define QUILLET_CONVERSION_JOB_CHECK_H_

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"
#include "conversion/run_failure.h"

namespace quillet {

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
};

// Decides, without writing anything, whether the plan may run: every target
// folder exists, is a folder and may be written; every source exists, is a
// regular file and may be read; no output name is longer than its folder's
// file system allows or holds a character it refuses; no output path is a
// symbolic link, one of the sources (also through a link) or an existing
// folder; no two mailboxes give the same output: the same folder (also
// through a link or under another spelling) and the same name, also where
// the folder ignores letter case; every non-empty source is of the format
// the plan's direction reads, by KindOfSource (mbox or MMDF to .box, .box
// to mbox); and no output replaces a file unless allowed. Checks in that
// order: all folders, then all sources, then all outputs, then the formats,
// then replacement: a folder's failure is told before any mailbox's,
// wherever the folder's mailboxes stand in the plan, and no source is
// opened for a plan that fails on names alone.
// An empty plan may run. Takes time linear in the number of mailboxes, and
// reads at most a bounded head of each source.
// Fills in what it found: each mailbox's `source_permissions` (once the
// sources pass) and `replaces` (once the outputs pass, also when refused
// only for replacing), and `checked` when the plan may run.
std::optional<RunFailure> CheckPlan(ConversionPlan& plan, FileLayer& files,
                                    const CheckOptions& options = {});

// The outputs that replace a file, in plan order, as CheckPlan found them.
QStringList ReplacedOutputs(const ConversionPlan& plan);

// Whether every output name that CheckPlan found free is free still; the
// first that is not refuses the plan as the check would (kOutputExists).
// For the moment right before a run, which may come long after the check
// (while the user was asked about the outputs that replace files).
std::optional<RunFailure> CheckOutputsStillFree(const ConversionPlan& plan,
                                                FileLayer& files);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_JOB_CHECK_H_
