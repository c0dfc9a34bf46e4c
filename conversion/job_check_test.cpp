// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/job_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/conversion_support.h"
#include "tests/support/forwarding_file_layer.h"

namespace quillet {
namespace {

using testing::Workspace;

// The check of the job's plan, as a window or the command line runs it.
std::optional<RunFailure> CheckJob(const ConversionJob& job, FileLayer& files,
                                   const CheckOptions& options = {}) {
  ConversionPlan plan = PlanOf(job);
  return CheckPlan(plan, files, options);
}

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
  EXPECT_EQ(ErrorText(RunJob(space.job).failure->error),
            "the mailbox is not a regular file");
  ASSERT_EQ(::mkfifo((space.source_folder() + "fifo").toLocal8Bit(), 0600), 0);
  space.job.MailboxFiles = {"fifo"};  // would block a reader forever
  EXPECT_EQ(ErrorText(RunJob(space.job).failure->error),
            "the mailbox is not a regular file");
  space.job.SourceFolder = "/dev/";
  space.job.MailboxFiles = {"zero"};
  EXPECT_EQ(ErrorText(RunJob(space.job).failure->error),
            "the mailbox is not a regular file");
}

TEST(JobCheck, TargetMustBeAnExistingFolder) {
  Workspace space;
  space.AddSource("a", "x");
  space.job.TargetFolder = space.root() + "/nowhere/";
  EXPECT_EQ(ErrorText(RunJob(space.job).failure->error),
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
  EXPECT_EQ(ErrorText(direct.failure->error),
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
  EXPECT_EQ(ErrorText(result.failure->error),
            "another mailbox of this run has the same output");
  EXPECT_TRUE(space.TargetEntries().isEmpty());
}

TEST(JobCheck, OutputNameTakenByAFolderIsRefused) {
  Workspace space;
  space.AddSource("a", "x");
  QDir(space.target_folder()).mkdir("a.box");
  EXPECT_FALSE(RunJob(space.job).ok());
}

// --- the format of each source -------------------------------------------

const std::string kSep =
    "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S";
const std::string kDatedFrom = "From a@example.com Mon Jan  1 09:00:00 2024\n";

// Which sources each direction takes, and the reason it gives for the
// others: mbox to .box takes mbox and MMDF, .box to mbox takes .box; empty
// files convert either way; text before the first message is allowed
// within the first MiB.
TEST(JobCheck, SourceMustBeOfTheDirectionsFormat) {
  using R = FailureReason;
  const std::string text_mib(kFormatHead, 'x');  // one line, then the rest
  struct Case {
    const char* what;
    std::string bytes;
    std::optional<R> to_box;  // nothing: converts
    std::optional<R> to_mbox;
  };
  const std::vector<Case> cases = {
      {"mbox", kDatedFrom + "Subject: a\n\nbody\n", {}, R::kSourceIsMbox},
      {"mbox with a bare first line",
       "From \r\nSubject: a\r\n",
       {},
       R::kSourceIsMbox},
      {".box", kSep + "\r\nSubject: a\r\n\r\nbody\r\n", R::kSourceIsBox, {}},
      {"MMDF",
       "\x01\x01\x01\x01\nSubject: a\n\n\x01\x01\x01\x01\n",
       {},
       R::kSourceIsMbox},
      {"empty", "", {}, {}},
      {"JPEG", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01", 12),
       R::kSourceIsBinary, R::kSourceIsBinary},
      {"program",
       std::string("\x7F"
                   "ELF\x02\x01\x01\x00\x00\x00",
                   10) +
           "From the linker\n",
       R::kSourceIsBinary, R::kSourceIsBinary},
      {"text", "Dear all,\nFrom here on we meet on Mondays.\n",
       R::kNoMboxMessage, R::kNoBoxMessage},
      {"one message saved alone", "Subject: a\nFrom: b@example.com\n\nhi\n",
       R::kNoMboxMessage, R::kNoBoxMessage},
      {"mbox after a note and a quoted line",
       "Exported on Monday.\n>From a quoted line\n\n" + kDatedFrom +
           "Subject: a\n\nbody\n",
       {},
       R::kSourceIsMbox},
      {"mbox whose undated From line is followed by a header",
       "note\nFrom someone\nSubject: a\n\nbody\n",
       {},
       R::kSourceIsMbox},
      {".box after a preamble",
       "preamble\r\n" + kSep + "\r\nSubject: a\r\n",
       R::kSourceIsBox,
       {}},
      {"the first message decides",
       kSep + "\r\n" + kDatedFrom,
       R::kSourceIsBox,
       {}},
      {"first message just inside the first MiB",
       std::string(kFormatHead - 100, 'x') + "\n" + kDatedFrom,
       {},
       R::kSourceIsMbox},
      {"first message beyond the first MiB", text_mib + "\n" + kDatedFrom,
       R::kNoMboxMessage, R::kNoBoxMessage},
  };
  for (const Case& c : cases) {
    for (const bool to_box : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (to_box ? " to .box" : " to mbox"));
      Workspace space;
      space.job.MboxToBox = to_box;
      space.AddSource("first", kDatedFrom);  // a good one, read before
      if (!to_box) {
        testing::WriteBytes(space.source_folder() + "first", kSep + "\r\n");
      }
      space.AddSource("second", c.bytes);
      const RunResult result = RunJob(space.job);
      const std::optional<R>& refusal = to_box ? c.to_box : c.to_mbox;
      if (!refusal) {
        EXPECT_TRUE(result.ok()) << result.failure->Describe().toStdString();
        continue;
      }
      ASSERT_FALSE(result.ok());
      EXPECT_EQ(result.failure->step, RunStep::kCheck);
      EXPECT_EQ(result.failure->error.code, *refusal);
      EXPECT_EQ(result.failure->mailbox_number, 2);
      EXPECT_EQ(result.failure->path, space.source_folder() + "second");
      EXPECT_TRUE(space.TargetEntries().isEmpty());  // not even "first"
    }
  }
}

// The format check's reads are bounded: a source of many MiB without a
// line end is judged from its head, not read whole.
TEST(JobCheck, FormatCheckReadsABoundedHead) {
  class CountingLayer : public ForwardingFileLayer {
   public:
    std::unique_ptr<InputFile> OpenInput(const QString& path,
                                         FileError* error) override {
      class Counting : public InputFile {
       public:
        Counting(std::unique_ptr<InputFile> inner, qint64* read)
            : inner_(std::move(inner)), read_(read) {}
        qint64 Read(char* data, qint64 max) override {
          return Count(inner_->Read(data, max));
        }
        qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
          return Count(inner_->ReadAt(offset, data, max));
        }
        bool Close() override { return inner_->Close(); }
        FileError Error() const override { return inner_->Error(); }

       private:
        qint64 Count(qint64 n) {
          if (n > 0) *read_ += n;
          return n;
        }
        std::unique_ptr<InputFile> inner_;
        qint64* read_;
      };
      auto inner = ForwardingFileLayer::OpenInput(path, error);
      if (!inner) return inner;
      return std::make_unique<Counting>(std::move(inner), &read);
    }
    qint64 read = 0;
  };
  Workspace space;
  space.AddSource("big", std::string(std::size_t{8} << 20, 'x'));
  CountingLayer files;
  const std::optional<RunFailure> failure = CheckJob(space.job, files);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->error.code, FailureReason::kNoMboxMessage);
  EXPECT_LE(files.read, 2 * kFormatHead);
}

// A source that cannot be opened or read for the format check stops the
// job before anything is written, with the system's reason.
TEST(JobCheck, FormatCheckFailuresStopBeforeWriting) {
  class FailingOpen : public ForwardingFileLayer {
   public:
    std::unique_ptr<InputFile> OpenInput(const QString&,
                                         FileError* error) override {
      *error = FileError::System(EIO);
      return nullptr;
    }
  };
  Workspace space;
  space.AddSource("a", kDatedFrom);
  FailingOpen files;
  testing::RecordingReporter reporter;
  const RunResult result =
      RunConversion(space.job, testing::GermanProgress(), files, reporter);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->step, RunStep::kOpenSource);
  EXPECT_EQ(ErrorText(result.failure->error), "Input/output error");
  EXPECT_TRUE(reporter.calls.empty());
  EXPECT_TRUE(space.TargetEntries().isEmpty());
}

// --- existing outputs ----------------------------------------------------

// An output whose name is taken by a file is refused unless replacing was
// agreed to; the check names every such output, in plan order, for the
// question, and refuses only after every other check passed.
TEST(JobCheck, ExistingOutputsAreReplacedOnlyWhenAgreed) {
  Workspace space;
  space.AddSource("a", kDatedFrom);
  space.AddSource("b", kDatedFrom);
  space.AddSource("c", kDatedFrom);
  testing::WriteBytes(space.target_folder() + "c.box", "old c");
  testing::WriteBytes(space.target_folder() + "a.box", "old a");

  CheckOptions options;
  ConversionPlan plan = PlanOf(space.job);
  std::optional<RunFailure> failure =
      CheckPlan(plan, SystemFileLayer(), options);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->error.code, FailureReason::kOutputExists);
  EXPECT_EQ(failure->mailbox_number, 1);
  EXPECT_EQ(failure->path, space.target_folder() + "a.box");
  EXPECT_EQ(ReplacedOutputs(plan),
            (QStringList{space.target_folder() + "a.box",
                         space.target_folder() + "c.box"}));

  const RunResult refused = RunJob(space.job);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(space.Output("a.box"), "old a");
  EXPECT_EQ(space.TargetEntries(), (QStringList{"a.box", "c.box"}));

  options.replace_existing = true;
  EXPECT_FALSE(CheckJob(space.job, SystemFileLayer(), options).has_value());
  testing::RecordingReporter reporter;
  RunOptions agreed;
  agreed.replace_existing = true;
  EXPECT_TRUE(RunConversion(space.job, testing::GermanProgress(),
                            SystemFileLayer(), reporter, agreed)
                  .ok());
  EXPECT_EQ(space.Output("a.box"), kSep + "\r\n");

  // A wrong format is told before the replacement, which it makes moot.
  testing::WriteBytes(space.source_folder() + "b", "not mail\n");
  failure = CheckJob(space.job, SystemFileLayer());
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->error.code, FailureReason::kNoMboxMessage);
}

// --- plans over several folders ------------------------------------------

// A mailbox of a plan from paths under `root`: "d1/m" into "out/m.box".
RunMailbox Planned(const QString& root, const QString& source,
                   const QString& output) {
  RunMailbox mailbox;
  mailbox.name = source.mid(source.lastIndexOf(u'/') + 1);
  mailbox.source = root + source;
  mailbox.target_folder = root + output.left(output.lastIndexOf(u'/') + 1);
  mailbox.output = root + output;
  return mailbox;
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
      plan.mailboxes.push_back(Planned(root, source, output));
    }
    // The sources "d1/m.box" is an output too: replacing is allowed here.
    CheckOptions replace;
    replace.replace_existing = true;
    const std::optional<RunFailure> failure = CheckPlan(plan, files, replace);
    if (c.mailbox == 0) {
      EXPECT_FALSE(failure.has_value()) << failure->Describe().toStdString();
      continue;
    }
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->step, RunStep::kCheck);
    EXPECT_EQ(failure->mailbox_number, c.mailbox);
    EXPECT_EQ(failure->path,
              plan.mailboxes[static_cast<std::size_t>(c.mailbox - 1)].output);
    EXPECT_EQ(failure->error.code, c.code);
    EXPECT_EQ(ErrorText(failure->error), ReasonText(c.code));
  }
}

// Every folder comes before any source, whichever mailbox it serves.
TEST(JobCheck, PlanChecksEveryTargetFolderFirst) {
  Workspace space;
  const QString root = space.root() + "/";
  testing::WriteBytes(root + "in/a", "x");
  ConversionPlan plan;
  plan.mailboxes = {Planned(root, "in/missing", "out/missing.box"),
                    Planned(root, "in/a", "nowhere/a.box")};
  const std::optional<RunFailure> failure = CheckPlan(plan, SystemFileLayer());
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->error.code, FailureReason::kTargetMissing);
  EXPECT_EQ(failure->mailbox_number, 0);
  EXPECT_EQ(failure->path, root + "nowhere/");
}

// Facts that make the rename over an old output, or into the folder, fail:
// each refused by the check with its own reason, before anything is written.
TEST(JobCheck, RenamesTheSystemWouldRefuseAreFoundFirst) {
  struct AlteredFacts : ForwardingFileLayer {
    QString path;
    std::function<void(PathFacts&)> alter;
    PathFacts Inspect(const QString& p) override {
      PathFacts facts = ForwardingFileLayer::Inspect(p);
      if (p == path) alter(facts);
      return facts;
    }
  };
  struct Case {
    const char* what;
    bool on_folder;
    std::function<void(PathFacts&)> alter;
    std::optional<FailureReason> code;
  };
  const Case cases[] = {
      {"immutable folder", true, [](PathFacts& f) { f.immutable = true; },
       FailureReason::kTargetImmutable},
      {"immutable old output", false, [](PathFacts& f) { f.immutable = true; },
       FailureReason::kOutputImmutable},
      {"another's old output, folder not sticky", false,
       [](PathFacts& f) { f.foreign_owner = true; }, std::nullopt},
  };
  for (const Case& c : cases) {
    Workspace space;
    space.AddSource("a", "From x\n");
    space.AddSource("b", "From y\n");
    testing::WriteBytes(space.target_folder() + "b.box", "old");
    AlteredFacts files;
    files.path =
        c.on_folder ? space.job.TargetFolder : space.target_folder() + "b.box";
    files.alter = c.alter;
    CheckOptions replace;
    replace.replace_existing = true;
    const auto failure = CheckJob(space.job, files, replace);
    if (!c.code) {
      EXPECT_FALSE(failure.has_value()) << c.what;
      continue;
    }
    ASSERT_TRUE(failure.has_value()) << c.what;
    EXPECT_EQ(failure->error.code, *c.code) << c.what;
    EXPECT_EQ(failure->mailbox_number, c.on_folder ? 0 : 2) << c.what;
  }
  // Another user's old output in a sticky folder that is not ours either.
  Workspace space;
  space.AddSource("b", "From y\n");
  testing::WriteBytes(space.target_folder() + "b.box", "old");
  struct Both : ForwardingFileLayer {
    QString folder;
    PathFacts Inspect(const QString& p) override {
      PathFacts facts = ForwardingFileLayer::Inspect(p);
      if (p == folder) facts.permissions |= 01000;
      if (p == folder || p.endsWith(u".box")) facts.foreign_owner = true;
      return facts;
    }
  } files;
  files.folder = space.job.TargetFolder;
  CheckOptions replace;
  replace.replace_existing = true;
  const auto failure = CheckJob(space.job, files, replace);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->error.code, FailureReason::kOutputOtherOwner);
}

}  // namespace
}  // namespace quillet
