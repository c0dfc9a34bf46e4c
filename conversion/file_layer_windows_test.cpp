// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows file layer, under Wine or on Windows: what Wine can show.
// Only a real Windows machine shows NTFS share modes against other
// programs, an output's own ACL replacing an older file's, and
// MOVEFILE_WRITE_THROUGH reaching the disk; Wine maps those onto the Linux
// file system below it.
#include <gtest/gtest.h>
#include <windows.h>

#include <QDir>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"
#include "conversion/job_check.h"
#include "conversion/system_files_windows.h"
#include "tests/support/conversion_support.h"

namespace quillet {
namespace {

using testing::Workspace;

// Writes `bytes` under `path` through a `\\?\` path, so that names the
// Win32 layer would bend (devices, trailing dots) are made as they are.
void WriteLiteral(const QString& path, std::string_view bytes) {
  const HANDLE file =
      ::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path.toStdString();
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                          &written, nullptr));
  ::CloseHandle(file);
}

constexpr std::string_view kBox =
    "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S\r\n"
    "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\nSubject: hi\r\n\r\nbody\r\n";

TEST(WindowsFileLayer, OutputNamesWindowsCannotHoldAreRefusedBeforeWriting) {
  struct Case {
    const char* source;  // UTF-8; converted .box -> mbox
    bool allowed;
  } const cases[] = {
      {"nul.box", false},        {"COM1.txt.box", false}, {"Lpt9.box", false},
      {"aux .box", false},       {"trail. .box", false},  {"dot..box", false},
      {"COM10.box", true},       {"nullable.box", true},  {"收件箱.box", true},
      {"Posteingang.box", true},
  };
  for (const Case& c : cases) {
    Workspace space;
    const QString name = QString::fromUtf8(c.source);
    WriteLiteral(space.source_folder() + name, kBox);
    space.job.MailboxFiles = {name};
    space.job.MboxToBox = false;
    ConversionPlan plan = PlanOf(space.job);
    const std::optional<RunFailure> failure =
        CheckPlan(plan, SystemFileLayer());
    if (c.allowed) {
      EXPECT_FALSE(failure)
          << c.source << ": " << failure->Describe().toStdString();
    } else {
      ASSERT_TRUE(failure) << c.source;
      EXPECT_EQ(failure->error.code, FailureReason::kNameNotAllowed)
          << c.source;
    }
    EXPECT_TRUE(space.TargetEntries().isEmpty()) << c.source;
  }
}

TEST(WindowsFileLayer, UnicodeAndLongPathsConvertAndReplaceOlderOutputs) {
  Workspace space;
  // Deeper than MAX_PATH (260): only `\\?\` paths reach it.
  QString deep = space.target_folder();
  while (deep.size() < 400) deep += QStringLiteral("Ordner mit langem Namen/");
  ASSERT_TRUE(QDir().mkpath(deep));
  const QString name = QStringLiteral("收件箱.box");
  space.AddSource(name, kBox);
  space.job.MboxToBox = false;
  space.job.TargetFolder = deep;
  WriteLiteral(deep + QStringLiteral("收件箱"), "an older output\n");

  testing::RecordingReporter reporter;
  RunOptions options;
  options.replace_existing = true;  // the user agreed
  const RunResult result = RunConversion(space.job, testing::GermanProgress(),
                                         SystemFileLayer(), reporter, options);
  ASSERT_FALSE(result.failure) << result.failure->Describe().toStdString();
  const std::string output =
      testing::ReadBytes(deep + QStringLiteral("收件箱"));
  EXPECT_NE(output.find("Subject: hi\n\nbody\n"), std::string::npos) << output;
  EXPECT_EQ(QDir(deep).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("收件箱")});
}

TEST(WindowsFileLayer, SourceHeldByAWriterIsLocked) {
  Workspace space;
  space.AddSource(QStringLiteral("Inbox"), "From a\nSubject: x\n\nbody\n");
  // A mail program holding the mailbox open for writing.
  const HANDLE writer = ::CreateFileW(
      LongPath(space.source_folder() + QStringLiteral("Inbox")).c_str(),
      GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  FileError error;
  EXPECT_FALSE(SystemFileLayer().OpenInput(
      space.source_folder() + QStringLiteral("Inbox"), &error));
  EXPECT_EQ(error.code, FailureReason::kSourceLocked);
  ::CloseHandle(writer);
  EXPECT_TRUE(SystemFileLayer().OpenInput(
      space.source_folder() + QStringLiteral("Inbox"), &error));
}

TEST(WindowsFileLayer, OutputAppearsOnlyWhenCommitted) {
  Workspace space;
  const QString path = space.target_folder() + QStringLiteral("a.box");
  FileError error;
  {
    auto output = SystemFileLayer().OpenOutput(path, &error);
    ASSERT_TRUE(output);
    ASSERT_TRUE(output->Write("half", 4));
  }
  EXPECT_TRUE(space.TargetEntries().isEmpty());

  auto output = SystemFileLayer().OpenOutput(path, &error);
  ASSERT_TRUE(output);
  ASSERT_TRUE(output->Write("mine", 4));
  ASSERT_TRUE(output->Sync());
  ASSERT_TRUE(output->Commit()) << ErrorText(output->Error()).toStdString();
  EXPECT_EQ(testing::ReadBytes(path), "mine");
  EXPECT_EQ(space.TargetEntries(), QStringList{QStringLiteral("a.box")});
}

TEST(WindowsFileLayer, SystemReasonsInWordsTheWindowTranslatesOrTheSystems) {
  // Failures users meet in the words the window translates; others in the
  // system's, without the sentence's full stop.
  EXPECT_EQ(SystemErrorText(ERROR_DISK_FULL), "No space left on device");
  EXPECT_EQ(CommonFailureOf(ERROR_DISK_FULL), CommonSystemFailure::kNoSpace);
  EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND), "No such file or directory");
  EXPECT_EQ(CommonFailureOf(ERROR_NOT_SAME_DEVICE),
            CommonSystemFailure::kOther);
  const QString words = SystemErrorText(ERROR_NOT_SAME_DEVICE);
  EXPECT_FALSE(words.isEmpty());
  EXPECT_FALSE(words.endsWith(u'.')) << words.toStdString();
  EXPECT_EQ(LongPath(QStringLiteral("C:/in/../out/x")), L"\\\\?\\C:\\out\\x");
  EXPECT_EQ(LongPath(QStringLiteral("//server/share/in")),
            L"\\\\?\\UNC\\server\\share\\in");
}

}  // namespace
}  // namespace quillet
