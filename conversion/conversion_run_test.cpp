// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/conversion_run.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <QDir>
#include <QFile>
#include <cerrno>
#include <csignal>

#include "conversion/job_check.h"
#include "conversion/mailbox_format.h"
#include "tests/support/conversion_support.h"
#include "tests/support/forwarding_file_layer.h"

namespace quillet {
namespace {

using testing::Convert;
using testing::RecordingReporter;
using testing::Workspace;
using Calls = std::vector<std::string>;

const std::string kSep(BoxSeparator);

ProgressText German() { return testing::GermanProgress(); }

std::string Status(int mailbox, int message) {
  return "status " + StatusLine(German(), mailbox, message).toStdString();
}

// --- mbox to .box --------------------------------------------------------

TEST(ToBox, SeparatorsBecomeBoxSeparatorQuotesAreUndoneLinesGetCrLf) {
  // In a file whose lines end in LF, a lone CR is a byte of its line.
  EXPECT_EQ(Convert("From a@b Mon Jan  1 09:00:00 2024\nSubject: x\n\n"
                    ">From quoted\nbody\rFrom \r\nlast",
                    true),
            kSep +
                "\r\nSubject: x\r\n\r\nFrom quoted\r\nbody\rFrom \r\n"
                "last\r\n");
}

TEST(ToBox, SourceWithoutSeparatorsIsCopiedLineForLine) {
  EXPECT_EQ(Convert("a\r\n\r\nfrom x\r\nFrom:y", true),
            "a\r\n\r\nfrom x\r\nFrom:y\r\n");
}

TEST(ToBox, BytesPassThroughUntouched) {
  // GBK, UTF-8, Latin-1 and NUL bytes: no decoding, no re-encoding.
  const std::string body =
      std::string("\xC4\xE3\xBA\xC3 \xC3\xA4 \xE4 \0 \xFF", 13);
  EXPECT_EQ(Convert("From x\n" + body + "\n", true),
            kSep + "\r\n" + body + "\r\n");
}

TEST(ToBox, EmptySourceGivesEmptyOutput) {
  RecordingReporter reporter;
  EXPECT_EQ(Convert("", true, 1 << 20, &reporter), "");
  EXPECT_EQ(reporter.calls, Calls{"max 0"});
}

TEST(ToBox, LoneCrSourceKeepsItsLastLines) {
  // Reckoned at length + 2, these lines would "reach" the size early.
  EXPECT_EQ(Convert("From a\rb\rc\rd\re", true),
            kSep + "\r\nb\r\nc\r\nd\r\ne\r\n");
}

// --- reporting -----------------------------------------------------------

TEST(Reporting, FirstThirtyCharacterSeparatorReportsThirtyTwo) {
  RecordingReporter reporter;
  const std::string first = "From abc@example.org Mon Jan 1";  // 30 bytes
  ASSERT_EQ(first.size(), 30u);
  Convert(first + "\r\nx\r\n", true, 1 << 20, &reporter);
  EXPECT_EQ(reporter.calls,
            (Calls{"max 35", "value 32", Status(1, 1), "repaint"}));
}

// A reporter that shows no status text is handed none, in either
// direction; the values and repaints stay.
TEST(Reporting, NoStatusTextForAReporterThatShowsNone) {
  struct TextlessReporter : RecordingReporter {
    bool WantsStatusText() override { return false; }
  };
  for (const bool to_box : {true, false}) {
    TextlessReporter reporter;
    const std::string source =
        to_box ? "From a\r\nx\r\nFrom \r\n" : kSep + "\r\nx\r\n";
    Convert(source, to_box, 1 << 20, &reporter);
    const Calls expected =
        to_box ? Calls{"max 18", "value 8", "repaint", "value 18", "repaint"}
               : Calls{"max 19", "value 16", "repaint"};
    EXPECT_EQ(reporter.calls, expected) << to_box;
  }
}

TEST(Reporting, MessageNumberRestartsInEachMailbox) {
  Workspace space;
  space.AddSource("a", "From 1\r\nx\r\n\r\nFrom 2\r\nA: b\r\n");
  space.AddSource("b", "From 3\r\n");
  RecordingReporter reporter;
  const RunResult result =
      RunConversion(space.job, German(), SystemFileLayer(), reporter);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(reporter.calls, (Calls{"max 27", "value 8", Status(1, 1), "repaint",
                                   "value 21", Status(1, 2), "repaint", "max 8",
                                   "value 8", Status(2, 1), "repaint"}));
  ASSERT_EQ(result.converted.size(), 2u);
  EXPECT_EQ(result.converted[0].messages, 2);
  EXPECT_EQ(result.converted[1].messages, 1);
  EXPECT_EQ(result.converted[1].output, space.target_folder() + "b.box");
}

TEST(Reporting, MailboxWithoutSeparatorsReportsOnlyItsSize) {
  RecordingReporter reporter;
  Convert("no\r\nseparators\r\n", true, 1 << 20, &reporter);
  EXPECT_EQ(reporter.calls, Calls{"max 16"});
}

TEST(Reporting, EmptyJobTouchesNothing) {
  ConversionJob job;  // no names, no folders
  RecordingReporter reporter;
  const RunResult result =
      RunConversion(job, German(), SystemFileLayer(), reporter);
  EXPECT_TRUE(result.ok());
  EXPECT_TRUE(result.converted.empty());
  EXPECT_TRUE(reporter.calls.empty());
}

TEST(Reporting, SizesBeyondThirtyTwoBitsPassUnchanged) {
  Workspace space;
  space.AddSource("big", "From x\r\n");
  testing::WrappedFileLayer files;
  files.size_override = [](const QString&) { return qint64{5} << 30; };
  RecordingReporter reporter;
  ASSERT_TRUE(RunConversion(space.job, German(), files, reporter).ok());
  EXPECT_EQ(reporter.calls.front(), "max 5368709120");
}

// --- .box to mbox --------------------------------------------------------

TEST(ToMbox, DatedSeparatorsLfEndsAndClosingEmptyLines) {
  const std::string box = kSep +
                          "\r\nDate: Mon, 1 Jan 2024 10:00:00 +0100\r\n"
                          "Subject: one\r\n\r\nbody\r\n" +
                          kSep + "trailing junk\r\nSubject: two\r\n\r\nb2";
  EXPECT_EQ(Convert(box, false),
            "From - Mon Jan  1 09:00:00 2024\n"
            "Date: Mon, 1 Jan 2024 10:00:00 +0100\nSubject: one\n\nbody\n\n"
            "From - Sat Feb  3 04:05:06 2001\nSubject: two\n\nb2\n\n");
}

TEST(ToMbox, FromLinesAreQuotedReversibly) {
  const std::string box =
      kSep +
      "\r\nS: x\r\n\r\nFrom here on\r\n>From a\r\n>>>From b\r\n"
      ">> From c\r\nFrom\r\n>\r\nFrom \r\n";
  EXPECT_EQ(Convert(box, false),
            "From - Sat Feb  3 04:05:06 2001\nS: x\n\n>From here on\n"
            ">>From a\n>>>>From b\n>> From c\nFrom\n>\n>From \n\n");
}

TEST(ToMbox, LongQuoteRunsAreCountedNotHeld) {
  const std::string run(200, '>');
  EXPECT_EQ(Convert(run + "From x\r\n" + run + "x\r\n", false, 3),
            ">" + run + "From x\n" + run + "x\n");
}

TEST(ToMbox, MessageWithoutBodyGetsItsOwnEmptyLine) {
  // One empty line after a header block never closed: it closes the block
  // and is the message's own, as mbox → .box reads it back.
  const std::string box = kSep + "\r\nSubject: a\r\n\r\n" + kSep +
                          "\r\nSubject: b\r\n" + kSep + "\r\n" + kSep +
                          "\r\nSubject: d\r\n\r\nbody\r\n\r\n";
  EXPECT_EQ(Convert(box, false),
            "From - Sat Feb  3 04:05:06 2001\nSubject: a\n\n\n"
            "From - Sat Feb  3 04:05:06 2001\nSubject: b\n\n"
            "From - Sat Feb  3 04:05:06 2001\n\n"
            "From - Sat Feb  3 04:05:06 2001\nSubject: d\n\nbody\n\n\n");
}

TEST(ToMbox, LinesBeforeTheFirstSeparatorAreKept) {
  EXPECT_EQ(Convert("preamble\r\n" + kSep + "\r\nS: x\r\n\r\nb\r\n", false),
            "preamble\n\nFrom - Sat Feb  3 04:05:06 2001\nS: x\n\nb\n\n");
}

TEST(ToMbox, DateIsLookedForInTheWholeHeaderBlockOnly) {
  std::string pad;
  for (int i = 0; i < 2000; ++i)
    pad += "X-Pad: " + std::string(40, 'p') + "\r\n";
  const std::string late_date =
      kSep + "\r\n" + pad + "Date: 1 Jan 2024 00:00:00 +0000\r\n\r\nb\r\n";
  for (const std::size_t chunk : {std::size_t{1000}, std::size_t{1} << 20}) {
    EXPECT_EQ(Convert(late_date, false, chunk).substr(0, 32),
              "From - Mon Jan  1 00:00:00 2024\n");
  }
  const std::string body_date =
      kSep + "\r\nS: x\r\n\r\nDate: 1 Jan 2024 00:00:00 +0000\r\n";
  EXPECT_EQ(Convert(body_date, false).substr(0, 32),
            "From - Sat Feb  3 04:05:06 2001\n");
}

// Every read size gives the same bytes: line ends, separators, quote runs and
// the date look-ahead all straddle buffer boundaries at the small sizes.
TEST(ReadSizes, OutputDoesNotDependOnReadChunk) {
  const std::string box = "pre\r" + kSep +
                          "\r\nReceived: a\r\n b\r\nDate: Tue, 2 Jan 2024\r\n "
                          "10:00:00 -0500 (EST)\r\n\r\n>>From x\rFrom y\n" +
                          kSep + kSep + "\r\r\n\r\nbody\r\n" + kSep;
  const std::string mbox = "From a\r\nb\nFrom c\rd\r\n\r\nFrom";
  const std::string box_expected = Convert(box, false);
  const std::string mbox_expected = Convert(mbox, true);
  EXPECT_NE(box_expected.find("From - Tue Jan  2 15:00:00 2024\n"),
            std::string::npos);
  for (std::size_t chunk : {1, 2, 3, 5, 13, 14, 15, 16, 17, 64}) {
    EXPECT_EQ(Convert(box, false, chunk), box_expected) << chunk;
    EXPECT_EQ(Convert(mbox, true, chunk), mbox_expected) << chunk;
  }
}

// --- runs on real files -------------------------------------------------

RunResult RunJob(const ConversionJob& job) {
  RecordingReporter reporter;
  return RunConversion(job, German(), SystemFileLayer(), reporter);
}

// --- failures mid-run ----------------------------------------------------

TEST(Failures, ExistingOutputIsReplacedOnlyWhenComplete) {
  Workspace space;
  space.AddSource("a", "From x\r\n" + std::string(5000, 'a') + "\r\n");
  space.AddSource("b", "From y\r\n" + std::string(9000, 'b') + "\r\n");
  testing::WriteBytes(space.target_folder() + "b.box", "old b");
  testing::WrappedFileLayer files;
  files.capacity = 3000;  // a outgrows it: the first output fails
  RecordingReporter reporter;
  RunOptions agreed;  // the user agreed to replace b.box
  agreed.replace_existing = true;
  RunResult result =
      RunConversion(space.job, German(), files, reporter, agreed);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->step, RunStep::kWrite);
  EXPECT_EQ(result.failure->path, space.target_folder() + "a.box");
  EXPECT_EQ(ErrorText(result.failure->error), "No space left on device");
  EXPECT_EQ(space.TargetEntries(), QStringList{"b.box"});  // no leftovers
  EXPECT_EQ(space.Output("b.box"), "old b");

  files.capacity = 6000;  // now a fits, and b fails
  result = RunConversion(space.job, German(), files, reporter, agreed);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->mailbox_number, 2);
  ASSERT_EQ(result.converted.size(), 1u);
  EXPECT_EQ(space.TargetEntries(), (QStringList{"a.box", "b.box"}));
  EXPECT_EQ(space.Output("a.box"),
            kSep + "\r\n" + std::string(5000, 'a') + "\r\n");
  EXPECT_EQ(space.Output("b.box"), "old b");
  EXPECT_EQ(testing::ReadBytes(space.source_folder() + "a"),
            "From x\r\n" + std::string(5000, 'a') + "\r\n");
}

#ifndef _WIN32  // POSIX file size limits and modes
// A real write failure from the system: the process may not grow a file
// past a limit, as on a full disk.
TEST(Failures, SystemWriteFailureLeavesNothingPartial) {
  Workspace space;
  const std::string big = "From x\n" + std::string(300 * 1024, 'z') + "\n";
  space.AddSource("small", "From s\n");
  space.AddSource("big", big);
  testing::WriteBytes(space.target_folder() + "big.box", "previous");

  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = old_limit;
  limit.rlim_cur = 100 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  RecordingReporter reporter;
  RunOptions agreed;  // the user agreed to replace big.box
  agreed.replace_existing = true;
  const RunResult result =
      RunConversion(space.job, German(), SystemFileLayer(), reporter, agreed);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);

  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->mailbox_number, 2);
  EXPECT_EQ(result.failure->mailbox, "big");
  EXPECT_EQ(result.failure->error, FileError::System(EFBIG));
  EXPECT_TRUE(result.failure->Describe().startsWith("mailbox 2 (big): cannot"));
  EXPECT_EQ(space.TargetEntries(), (QStringList{"big.box", "small.box"}));
  EXPECT_EQ(space.Output("big.box"), "previous");
  EXPECT_EQ(space.Output("small.box"), kSep + "\r\n");
  EXPECT_EQ(testing::ReadBytes(space.source_folder() + "big"), big);
}

TEST(Outputs, NewOutputIsAnOrdinaryReadableFile) {
  Workspace space;
  space.AddSource("a", "From x\n");
  ASSERT_TRUE(RunJob(space.job).ok());
  struct stat st {};
  ASSERT_EQ(::stat((space.target_folder() + "a.box").toLocal8Bit(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}
#endif

// --- checked plans -------------------------------------------------------

// The user agreed to replace the files the check found. A file that takes a
// free output name after the check is refused before anything is written,
// unless replacing anything was agreed.
TEST(Plans, OutputTakenSinceTheCheckIsReplacedOnlyWhenAnyMayBe) {
  for (const bool replace_any : {false, true}) {
    SCOPED_TRACE(replace_any);
    Workspace space;
    space.AddSource("a", "From x\n");
    space.AddSource("b", "From y\n");
    testing::WriteBytes(space.target_folder() + "a.box", "old a");
    ConversionPlan plan = PlanOf(space.job);
    CheckOptions agreed;
    agreed.replace_existing = true;
    ASSERT_FALSE(CheckPlan(plan, SystemFileLayer(), agreed));
    ASSERT_EQ(ReplacedOutputs(plan),
              QStringList{space.target_folder() + "a.box"});
    testing::WriteBytes(space.target_folder() + "b.box", "appeared");

    RecordingReporter reporter;
    RunOptions options;
    options.replace_existing = replace_any;
    const RunResult result =
        RunPlan(plan, German(), SystemFileLayer(), reporter, options);
    if (replace_any) {
      EXPECT_TRUE(result.ok());
      EXPECT_EQ(space.Output("b.box"), kSep + "\r\n");
      continue;
    }
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure->step, RunStep::kCheck);
    EXPECT_EQ(result.failure->error.code, FailureReason::kOutputExists);
    EXPECT_EQ(result.failure->mailbox_number, 2);
    EXPECT_EQ(result.failure->path, space.target_folder() + "b.box");
    EXPECT_EQ(space.Output("a.box"), "old a");
    EXPECT_EQ(space.Output("b.box"), "appeared");
    EXPECT_TRUE(reporter.calls.empty());
  }
}

// A plan over several target folders syncs each one when the plan moves on
// from it; a folder that cannot be synced stops the run there.
TEST(Plans, EachTargetFolderIsSyncedBeforeTheNext) {
  class SyncRecorder : public ForwardingFileLayer {
   public:
    bool SyncFolder(const QString& folder, FileError* error) override {
      synced.append(folder);
      if (folder != failing)
        return ForwardingFileLayer::SyncFolder(folder, error);
      *error = FileError::System(EIO);
      return false;
    }
    QStringList synced;
    QString failing;
  };
  for (const bool first_fails : {false, true}) {
    SCOPED_TRACE(first_fails);
    Workspace space;
    space.AddSource("a", "From x\n");
    space.AddSource("b", "From y\n");
    const QString second = space.root() + "/out2/";
    ASSERT_TRUE(QDir().mkdir(second));
    ConversionPlan plan = PlanOf(space.job);
    plan.mailboxes[1].target_folder = second;
    plan.mailboxes[1].output = second + "b.box";
    SyncRecorder files;
    if (first_fails) files.failing = space.target_folder();
    ASSERT_FALSE(CheckPlan(plan, files));

    RecordingReporter reporter;
    const RunResult result = RunPlan(plan, German(), files, reporter);
    if (!first_fails) {
      EXPECT_TRUE(result.ok());
      EXPECT_EQ(files.synced, (QStringList{space.target_folder(), second}));
      continue;
    }
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure->step, RunStep::kSyncFolder);
    EXPECT_EQ(result.failure->path, space.target_folder());
    EXPECT_EQ(result.converted.size(), 1u);
    EXPECT_EQ(files.synced, QStringList{space.target_folder()});
    EXPECT_TRUE(QDir(second).isEmpty());
  }
}

// A run that stops at a failing mailbox still syncs its folder; when that
// sync fails too, the outputs before the mailbox are not confirmed, and the
// folder's failure is the one reported.
TEST(Plans, FolderSyncFailingAfterAFailedMailboxIsReported) {
  class FailingFolderSync : public ForwardingFileLayer {
   public:
    bool SyncFolder(const QString& /*folder*/, FileError* error) override {
      *error = FileError::System(EROFS);
      return false;
    }
  };
  Workspace space;
  space.AddSource("a", "From x\n");
  space.AddSource("b", "From y\n");
  ConversionPlan plan = PlanOf(space.job);
  FailingFolderSync files;
  ASSERT_FALSE(CheckPlan(plan, files));
  ASSERT_TRUE(QFile::remove(space.source_folder() + "b"));
  RecordingReporter reporter;
  const RunResult result = RunPlan(plan, German(), files, reporter);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->step, RunStep::kSyncFolder);
  EXPECT_EQ(result.failure->error, FileError::System(EROFS));
  EXPECT_EQ(result.converted.size(), 1u);
}

}  // namespace
}  // namespace quillet
