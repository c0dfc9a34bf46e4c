#include "conversion/job_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "tests/support/conversion_support.h"
#include "tests/support/forwarding_file_layer.h"

namespace quillet {
namespace {

using testing::Workspace;

RunResult RunJob(const ConversionJob& job) {
  testing::RecordingReporter reporter;
  return RunConversion(job, testing::GermanProgress(), SystemFileLayer(),
                       reporter);
}

// --- one job, through the run that checks it first -----------------------

TEST(JobCheck, RefusesBeforeWritingAnything) {
  Workspace space;
  space.AddSource("good", "From x\r\n");
  space.AddSource("missing", "");
  QFile::remove(space.source_folder() + "missing");
  const RunResult result = RunJob(space.job);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->step, RunStep::kCheck);
  EXPECT_EQ(result.failure->mailbox_number, 2);
  EXPECT_EQ(result.failure->path, space.source_folder() + "missing");
  EXPECT_TRUE(space.TargetEntries().isEmpty());  // "good" was not converted
}

TEST(JobCheck, SourceMustBeARegularFile) {
  Workspace space;
  QDir(space.source_folder()).mkdir("folder.box");
  space.job.MailboxFiles = {"folder.box"};
  EXPECT_EQ(RunJob(space.job).failure->reason,
            "the mailbox is not a regular file");
  ASSERT_EQ(::mkfifo((space.source_folder() + "fifo").toLocal8Bit(), 0600), 0);
  space.job.MailboxFiles = {"fifo"};  // would block a reader forever
  EXPECT_EQ(RunJob(space.job).failure->reason,
            "the mailbox is not a regular file");
  space.job.SourceFolder = "/dev/";
  space.job.MailboxFiles = {"zero"};
  EXPECT_EQ(RunJob(space.job).failure->reason,
            "the mailbox is not a regular file");
}

TEST(JobCheck, TargetMustBeAnExistingFolder) {
  Workspace space;
  space.AddSource("a", "x");
  space.job.TargetFolder = space.root() + "/nowhere/";
  EXPECT_EQ(RunJob(space.job).failure->reason,
            "the target folder does not exist");
  space.job.TargetFolder = space.source_folder() + "a/";
  EXPECT_FALSE(RunJob(space.job).ok());
  space.job.TargetFolder.clear();
  EXPECT_FALSE(RunJob(space.job).ok());
}

TEST(JobCheck, OutputMayNotBeASourceEvenThroughALink) {
  Workspace space;
  space.AddSource("x.box.box", "keep me");
  space.AddSource("x.box", "From y\n");
  space.job.TargetFolder = space.source_folder();
  const RunResult direct = RunJob(space.job);  // x.box -> x.box.box
  ASSERT_FALSE(direct.ok());
  EXPECT_EQ(direct.failure->reason,
            "the output would overwrite a mailbox of this run");

  Workspace linked;
  linked.AddSource("inbox", "From y\n");
  QFile::link(linked.source_folder() + "inbox",
              linked.target_folder() + "inbox.box");
  EXPECT_FALSE(RunJob(linked.job).ok());
  EXPECT_EQ(testing::ReadBytes(linked.source_folder() + "inbox"), "From y\n");
}

TEST(JobCheck, TwoSourcesMayNotShareAnOutput) {
  Workspace space;
  space.job.MboxToBox = false;
  space.AddSource("in.box", "a");
  space.AddSource("in.BOX", "b");
  const RunResult result = RunJob(space.job);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->mailbox_number, 2);
  EXPECT_EQ(result.failure->reason,
            "another mailbox of this run has the same output");
  EXPECT_TRUE(space.TargetEntries().isEmpty());
}

TEST(JobCheck, OutputNameTakenByAFolderIsRefused) {
  Workspace space;
  space.AddSource("a", "x");
  QDir(space.target_folder()).mkdir("a.box");
  EXPECT_FALSE(RunJob(space.job).ok());
}

// --- plans over several folders ------------------------------------------

// A mailbox of a plan from paths under `root`: "d1/m" into "out/m.box".
PlannedMailbox Planned(const QString& root, const QString& source,
                       const QString& output) {
  const qsizetype slash = output.lastIndexOf(u'/');
  return {source.mid(source.lastIndexOf(u'/') + 1), root + source,
          root + output.left(slash + 1), output.mid(slash + 1)};
}

// The system's folders, except that the ones named here say they ignore
// letter case, as on FAT or a case-insensitive APFS.
class CaseFoldingLayer : public ForwardingFileLayer {
 public:
  PathFacts Inspect(const QString& path) override {
    PathFacts facts = ForwardingFileLayer::Inspect(path);
    if (facts.is_directory && folding.contains(path)) facts.folds_case = true;
    return facts;
  }
  QStringList folding;
};

// Folders "d1", "d2" and "out" hold mailboxes "m", "M" and "m.box"; "link"
// leads to "out", "d1link" to "d1". Each case is a plan of (source, output)
// paths relative to the workspace root.
TEST(JobCheck, PlanClashesAcrossFoldersAreFoundByIdentity) {
  struct Case {
    const char* what;
    std::vector<std::pair<QString, QString>> plan;
    bool out_folds_case;
    int mailbox;  // 0: the plan may run
    FailureReason code;
  };
  const std::vector<Case> cases = {
      {"distinct outputs",
       {{"d1/m", "d1/m.box"}, {"d2/m", "d2/m.box"}},
       false,
       0,
       FailureReason::kSystem},
      {"one name from two folders into one",
       {{"d1/m", "out/m.box"}, {"d2/m", "out/m.box"}},
       false,
       2,
       FailureReason::kOutputClash},
      {"one folder under two spellings",
       {{"d1/m", "out/x.box"}, {"d2/m", "link/x.box"}},
       false,
       2,
       FailureReason::kOutputClash},
      {"names equal but for case, folder tells case apart",
       {{"d1/m", "out/y.box"}, {"d2/M", "out/Y.box"}},
       false,
       0,
       FailureReason::kSystem},
      {"names equal but for case, folder ignores case",
       {{"d1/m", "out/y.box"}, {"d2/M", "link/Y.box"}},
       true,
       2,
       FailureReason::kOutputCaseClash},
      {"an output is a later mailbox's source through a link",
       {{"d1/m", "d1link/m.box"}, {"d1/m.box", "out/z.box"}},
       false,
       1,
       FailureReason::kOutputIsSource},
  };
  Workspace space;
  const QString root = space.root() + "/";
  for (const char* folder : {"d1", "d2"}) ASSERT_TRUE(QDir(root).mkdir(folder));
  for (const char* file : {"d1/m", "d1/m.box", "d2/m", "d2/M"}) {
    testing::WriteBytes(root + file, "From x\n");
  }
  ASSERT_TRUE(QFile::link(root + "out", root + "link"));
  ASSERT_TRUE(QFile::link(root + "d1", root + "d1link"));

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CaseFoldingLayer files;
    if (c.out_folds_case) files.folding = {root + "out/", root + "link/"};
    ConversionPlan plan;
    for (const auto& [source, output] : c.plan) {
      plan.push_back(Planned(root, source, output));
    }
    const std::optional<RunFailure> failure = CheckPlan(plan, files);
    if (c.mailbox == 0) {
      EXPECT_FALSE(failure.has_value()) << failure->Describe().toStdString();
      continue;
    }
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->step, RunStep::kCheck);
    EXPECT_EQ(failure->mailbox_number, c.mailbox);
    EXPECT_EQ(failure->path,
              plan[static_cast<std::size_t>(c.mailbox - 1)].output());
    EXPECT_EQ(failure->code, c.code);
    EXPECT_EQ(failure->reason, ReasonText(c.code));
  }
}

// Every folder comes before any source, whichever mailbox it serves: the
// first failure does not depend on how the mailboxes are grouped into runs.
TEST(JobCheck, PlanChecksEveryTargetFolderFirst) {
  Workspace space;
  const QString root = space.root() + "/";
  testing::WriteBytes(root + "in/a", "x");
  const ConversionPlan plan = {Planned(root, "in/missing", "out/missing.box"),
                               Planned(root, "in/a", "nowhere/a.box")};
  const std::optional<RunFailure> failure = CheckPlan(plan, SystemFileLayer());
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->code, FailureReason::kTargetMissing);
  EXPECT_EQ(failure->mailbox_number, 0);
  EXPECT_EQ(failure->path, root + "nowhere/");
}

}  // namespace
}  // namespace quillet
