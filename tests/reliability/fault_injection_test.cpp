// SPDX-License-Identifier: GPL-3.0-or-later
// Every file operation of a multi-mailbox run made to fail, at every call
// index in turn. After each failure: the failure names the step and the
// file, the sources are unchanged, the target folder holds the outputs
// finished before and whatever was there, nothing else, and a retry without
// the fault gives the right outputs.

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QTime>
#include <QTimeZone>
#include <algorithm>
#include <cstdio>
#include <map>
#include <new>
#include <stdexcept>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"
#include "tests/reliability/fault_file_layer.h"
#include "tests/reliability/reference_model.h"
#include "tests/support/conversion_support.h"
#include "ui/text/ui_text.h"

namespace quillet::reliability {
namespace {

using quillet::testing::ReadBytes;
using quillet::testing::Workspace;
using quillet::testing::WriteBytes;

const QDateTime kStarted(QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone::utc());

struct Mailbox {
  QString name;
  QString output_name;
  std::string bytes;
  std::string expected = {};  // the output, by the reference model
};

struct Scenario {
  const char* label;
  bool mbox_to_box;
  std::vector<Mailbox> mailboxes;
  // Files already in the target folder, by name.
  std::map<QString, std::string> existing;
  std::size_t read_chunk;
  bool same_folder = false;  // target folder = source folder
};

// `count` messages of varied length in the direction's source format.
std::string Messages(bool box, int count, std::size_t body_bytes) {
  static const std::string kBoxSeparator =
      "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S";
  std::string mailbox;
  for (int i = 0; i < count; ++i) {
    mailbox +=
        box ? kBoxSeparator + "\r\n" : "From sender Mon Jan  1 09:00:00 2024\n";
    mailbox += "Date: Mon, " + std::to_string(1 + i % 28) +
               " Jan 2024 10:00:00 +0100\r\nSubject: message " +
               std::to_string(i) + "\r\n\r\n";
    mailbox += "From here on\rline\n>From x\r\n";
    mailbox += std::string(body_bytes + static_cast<std::size_t>(i) * 7,
                           static_cast<char>('a' + i % 26));
    mailbox += "\r\n";
  }
  return mailbox;
}

// Fills in each mailbox's expected output.
Scenario WithExpectedOutputs(Scenario s) {
  UiText text;
  FillUiText(text, Language::kEnglish);
  for (Mailbox& m : s.mailboxes) {
    m.expected = ModelConvert(m.bytes, s.mbox_to_box, text, 1, kStarted).output;
  }
  return s;
}

void SetUp(Workspace& space, const Scenario& s) {
  for (const Mailbox& m : s.mailboxes) space.AddSource(m.name, m.bytes);
  space.job.MboxToBox = s.mbox_to_box;
  if (s.same_folder) space.job.TargetFolder = space.job.SourceFolder;
  for (const auto& [name, bytes] : s.existing) {
    WriteBytes(space.job.TargetFolder + name, bytes);
  }
}

RunResult Run(const ConversionJob& job, FileLayer& files,
              std::size_t read_chunk) {
  UiText text;
  FillUiText(text, Language::kEnglish);
  quillet::testing::RecordingReporter reporter;
  RunOptions options;
  options.read_chunk = read_chunk;
  options.started = kStarted;
  // The files already in the target folder may be replaced, as after the
  // user's yes. The format check's own opens and reads write nothing and
  // have their test in the job check's; here every call counted is the
  // run's.
  options.replace_existing = true;
  options.check_formats = false;
  return RunConversion(job, ProgressTextOf(text), files, reporter, options);
}

QStringList Entries(const QString& folder) {
  QStringList names = QDir(folder).entryList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  names.sort();
  return names;
}

// What the target folder must hold when the first `done` mailboxes are
// converted: their outputs, the files that were there, and (in the same
// folder) the sources.
QStringList ExpectedEntries(const Scenario& s, std::size_t done) {
  QStringList names;
  for (std::size_t i = 0; i < done; ++i) {
    names.append(s.mailboxes[i].output_name);
  }
  for (const auto& entry : s.existing) names.append(entry.first);
  if (s.same_folder) {
    for (const Mailbox& m : s.mailboxes) names.append(m.name);
  }
  names.removeDuplicates();
  names.sort();
  return names;
}

// Which mailbox (from 1) a path belongs to; 0 for the target folder.
int MailboxOf(const Scenario& s, const ConversionJob& job,
              const QString& path) {
  for (std::size_t i = 0; i < s.mailboxes.size(); ++i) {
    if (path == job.SourceFolder + s.mailboxes[i].name ||
        path == job.TargetFolder + s.mailboxes[i].output_name) {
      return static_cast<int>(i) + 1;
    }
  }
  return 0;
}

// The checks after one injected failure.
void CheckAfterFault(const Scenario& s, const Workspace& space,
                     const FaultFileLayer& files, FileOp op, int index,
                     const RunResult& result) {
  const std::string where = std::string(s.label) + ", " + FileOpName(op) +
                            " call " + std::to_string(index);
  SCOPED_TRACE(where);
  const ConversionJob& job = space.job;

  // Sources byte-identical, whatever happened.
  for (const Mailbox& m : s.mailboxes) {
    EXPECT_EQ(ReadBytes(job.SourceFolder + m.name), m.bytes)
        << m.name.toStdString();
  }

  std::size_t done = s.mailboxes.size();
  if (result.ok()) {
    // Only a path reported missing to the check can be harmless: an output
    // name that looks free is still written through a temporary file.
    EXPECT_EQ(op, FileOp::kInspect);
    EXPECT_NE(MailboxOf(s, job, files.fired_path()), 0);
    EXPECT_TRUE(files.fired_path().startsWith(job.TargetFolder));
  } else {
    const RunFailure& failure = *result.failure;
    EXPECT_EQ(failure.step, StepOf(op));
    EXPECT_EQ(failure.path, files.fired_path());
    EXPECT_EQ(failure.mailbox_number, MailboxOf(s, job, files.fired_path()));
    if (op != FileOp::kInspect) {
      EXPECT_EQ(failure.error, FaultFileLayer::InjectedError(op, index));
    }
    EXPECT_TRUE(failure.Describe().contains(failure.path));
    // A failing folder sync comes after every rename: all outputs are in
    // place, and the run must still not report success.
    done = op == FileOp::kInspect ? 0
           : op == FileOp::kSyncFolder
               ? s.mailboxes.size()
               : static_cast<std::size_t>(failure.mailbox_number - 1);
  }
  ASSERT_EQ(result.converted.size(), done);

  // Outputs finished before the failure are complete; nothing else is in
  // the target folder (no temporary file, no partial output); a file that
  // was there under the failing output's name is as it was.
  EXPECT_EQ(Entries(job.TargetFolder), ExpectedEntries(s, done));
  for (std::size_t i = 0; i < done; ++i) {
    EXPECT_EQ(ReadBytes(job.TargetFolder + s.mailboxes[i].output_name),
              s.mailboxes[i].expected)
        << i;
  }
  for (const auto& entry : s.existing) {
    const QString& name = entry.first;
    const std::string& bytes = entry.second;
    const bool replaced =
        std::any_of(s.mailboxes.begin(), s.mailboxes.begin() + done,
                    [&](const Mailbox& m) { return m.output_name == name; });
    if (!replaced) {
      EXPECT_EQ(ReadBytes(job.TargetFolder + name), bytes)
          << name.toStdString();
    }
  }

  // A retry without the fault converts everything.
  const RunResult retry = Run(job, SystemFileLayer(), s.read_chunk);
  ASSERT_TRUE(retry.ok()) << retry.failure->Describe().toStdString();
  EXPECT_EQ(Entries(job.TargetFolder), ExpectedEntries(s, s.mailboxes.size()));
  for (const Mailbox& m : s.mailboxes) {
    EXPECT_EQ(ReadBytes(job.TargetFolder + m.output_name), m.expected);
    EXPECT_EQ(ReadBytes(job.SourceFolder + m.name), m.bytes);
  }
}

// Fails every operation at every call index of the scenario's run. Returns
// the number of fault points exercised.
int InjectEverywhere(const Scenario& scenario) {
  const Scenario s = WithExpectedOutputs(scenario);
  int points = 0;
  Workspace clean;
  SetUp(clean, s);
  FaultFileLayer counter(SystemFileLayer());
  const RunResult clean_result = Run(clean.job, counter, s.read_chunk);
  EXPECT_TRUE(clean_result.ok());
  for (const Mailbox& m : s.mailboxes) {
    EXPECT_EQ(ReadBytes(clean.job.TargetFolder + m.output_name), m.expected);
  }
  std::printf("%s:", s.label);
  for (const FileOp op : kAllFileOps) {
    std::printf(" %s %d", FileOpName(op), counter.calls(op));
    // Every operation happens at least once per mailbox (the folder sync
    // once per run), or the run is not the one this test means.
    EXPECT_GE(counter.calls(op), op == FileOp::kSyncFolder
                                     ? 1
                                     : static_cast<int>(s.mailboxes.size()))
        << FileOpName(op);
    for (int index = 1; index <= counter.calls(op); ++index) {
      Workspace space;
      SetUp(space, s);
      FaultFileLayer files(SystemFileLayer());
      files.FailAt(op, index);
      const RunResult result = Run(space.job, files, s.read_chunk);
      EXPECT_TRUE(files.fault_fired()) << FileOpName(op) << " " << index;
      CheckAfterFault(s, space, files, op, index, result);
      ++points;
      if (::testing::Test::HasFailure()) {
        std::printf("\n");
        return points;  // one broken fault point tells enough
      }
    }
  }
  std::printf("\n%s: %d fault points\n", s.label, points);
  return points;
}

Scenario SmallToBox() {
  return Scenario{"three mbox mailboxes, 16-byte reads",
                  true,
                  {{"a", "a.box", Messages(false, 9, 40)},
                   {"b", "b.box", Messages(false, 3, 10)},
                   {"c", "c.box", Messages(false, 5, 20)}},
                  {{"b.box", "old b\r\n"}, {"other", "unrelated"}},
                  16};
}

Scenario SmallToMbox() {
  return Scenario{"three .box mailboxes, 16-byte reads",
                  false,
                  {{"a.box", "a", Messages(true, 9, 40)},
                   {"b.BOX", "b", Messages(true, 3, 10)},
                   {"c", "c.mbox", Messages(true, 5, 20)}},
                  {{"b", "old b\n"}},
                  16};
}

Scenario SameFolderToMbox() {
  Scenario s = SmallToMbox();
  s.label = "three .box mailboxes converted in their own folder";
  s.same_folder = true;
  s.read_chunk = 64;
  return s;
}

// Outputs larger than the writer's 1 MiB buffer, so that each takes
// several writes.
Scenario LargeToBox() {
  return Scenario{"mailboxes over the write buffer, 256 KiB reads",
                  true,
                  {{"big", "big.box", Messages(false, 360, 4000)},
                   {"b", "b.box", Messages(false, 2, 10)},
                   {"medium", "medium.box", Messages(false, 220, 4000)}},
                  {{"b.box", "old b\r\n"}},
                  256 * 1024};
}

int total_points = 0;

TEST(FaultInjection, EveryOperationAtEveryCallOfAToBoxRun) {
  total_points += InjectEverywhere(SmallToBox());
}

TEST(FaultInjection, EveryOperationAtEveryCallOfAToMboxRun) {
  total_points += InjectEverywhere(SmallToMbox());
}

TEST(FaultInjection, EveryOperationAtEveryCallInTheSourceFolder) {
  total_points += InjectEverywhere(SameFolderToMbox());
}

TEST(FaultInjection, EveryOperationAtEveryCallOfLargeOutputs) {
  total_points += InjectEverywhere(LargeToBox());
  std::printf("fault points in all: %d\n", total_points);
}

// An allocation that fails (or another exception) in any operation of the
// second mailbox ends the run like a failing step: the mailbox and the step
// named, its temporary output removed, the first output renamed into
// place, and a second run in the same process converts everything.
TEST(FaultInjection, ExceptionsInAnyOperationEndTheRunAsAFailure) {
  struct Case {
    FileOp op;
    bool bad_alloc;
    RunStep step;
    int number;        // the mailbox named; 0: none
    std::size_t done;  // outputs renamed into place
  };
  const std::vector<Case> cases = {
      {FileOp::kSize, true, RunStep::kOpenSource, 2, 1},
      {FileOp::kOpenInput, true, RunStep::kOpenSource, 2, 1},
      {FileOp::kOpenOutput, true, RunStep::kOpenSource, 2, 1},
      {FileOp::kRead, true, RunStep::kRead, 2, 1},
      // A small output's bytes stay in the writer's buffer until it is
      // finished: its first write is the finish step's.
      {FileOp::kWrite, true, RunStep::kFlush, 2, 1},
      {FileOp::kRead, false, RunStep::kRead, 2, 1},
      {FileOp::kClose, true, RunStep::kFlush, 2, 1},
      {FileOp::kFlush, true, RunStep::kFlush, 2, 1},
      {FileOp::kSync, true, RunStep::kSync, 2, 1},
      {FileOp::kCommit, true, RunStep::kCommit, 2, 1},
      {FileOp::kSyncFolder, true, RunStep::kSyncFolder, 0, 3},
  };
  const Scenario s = WithExpectedOutputs(SmallToBox());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(FileOpName(c.op)) +
                 (c.bad_alloc ? " bad_alloc" : " runtime_error"));
    Workspace space;
    reliability::SetUp(space, s);
    FaultFileLayer files(SystemFileLayer());
    bool thrown = false;
    const QString second = s.mailboxes[1].name;
    files.before = [&](FileOp op, const QString& path) {
      const QString name = path.mid(path.lastIndexOf(u'/') + 1);
      const bool about_second = name == second ||
                                name == s.mailboxes[1].output_name ||
                                op == FileOp::kSyncFolder;
      if (op != c.op || !about_second || thrown) return;
      thrown = true;
      if (c.bad_alloc) throw std::bad_alloc();
      throw std::runtime_error("injected");
    };
    const RunResult result = reliability::Run(space.job, files, s.read_chunk);
    ASSERT_TRUE(thrown);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure->error.code, c.bad_alloc
                                              ? FailureReason::kOutOfMemory
                                              : FailureReason::kUnexpected);
    EXPECT_EQ(result.failure->step, c.step)
        << result.failure->Describe().toStdString();
    EXPECT_EQ(result.failure->mailbox_number, c.number);
    ASSERT_EQ(result.converted.size(), c.done);
    EXPECT_EQ(Entries(space.job.TargetFolder), ExpectedEntries(s, c.done));
    for (std::size_t i = 0; i < c.done; ++i) {
      EXPECT_EQ(ReadBytes(space.job.TargetFolder + s.mailboxes[i].output_name),
                s.mailboxes[i].expected);
    }
    if (c.done < 2) {
      EXPECT_EQ(ReadBytes(space.job.TargetFolder + "b.box"), "old b\r\n");
    }
    const RunResult again =
        reliability::Run(space.job, SystemFileLayer(), s.read_chunk);
    EXPECT_TRUE(again.ok());
  }
}

}  // namespace
}  // namespace quillet::reliability
