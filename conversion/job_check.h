#ifndef QUILLET_CONVERSION_JOB_CHECK_H_
#define QUILLET_CONVERSION_JOB_CHECK_H_

#include <QString>
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
  QString name;           // how failures name the mailbox
  QString source;         // full path
  QString target_folder;  // the output's folder, as given
  QString output_name;    // without folder
  QString output() const { return target_folder + output_name; }
};

// Every mailbox that a set of runs converts, in run order. Mailbox numbers
// in a check's failure count along this list, from 1.
using ConversionPlan = std::vector<PlannedMailbox>;

// The mailboxes of `jobs` run one after another, in that order.
ConversionPlan PlanOf(std::span<const ConversionJob> jobs);

// Decides, without writing anything, whether the plan may run: every target
// folder exists, is a folder and may be written; every source exists, is a
// regular file and may be read; no output name is longer than its folder's
// file system allows or holds a character it refuses; no output path is a
// symbolic link, one of the sources (also through a link) or an existing
// folder; no two mailboxes give the same output: the same folder (also
// through a link or under another spelling) and the same name, also where
// the folder ignores letter case. Checks in that order: all folders, then
// all sources, then all outputs, so that the first failure reported does
// not depend on how the plan's mailboxes are grouped into runs.
// An empty plan may run. Takes time linear in the number of mailboxes.
// When `source_facts` is given and the plan may run, it receives each
// source's facts in plan order.
std::optional<RunFailure> CheckPlan(
    const ConversionPlan& plan, FileLayer& files,
    std::vector<PathFacts>* source_facts = nullptr);

// CheckPlan over the mailboxes of one job.
std::optional<RunFailure> CheckJob(
    const ConversionJob& job, FileLayer& files,
    std::vector<PathFacts>* source_facts = nullptr);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_JOB_CHECK_H_
