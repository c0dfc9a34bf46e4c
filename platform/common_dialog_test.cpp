// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/common_dialog.h"

#include <gtest/gtest.h>

#include "tests/support/fake_desktop.h"

namespace quillet {
namespace {

TEST(CommonDialogTest, HandsItsPropertiesToTheDialog) {
  FakeDesktop desktop;
  CommonDialog dialog(desktop);
  dialog.DefaultExt = QStringLiteral("box");
  dialog.Filter = QStringLiteral("F|*.box");
  dialog.Flags = kCdlOFNExplorer | kCdlOFNAllowMultiselect;
  dialog.FileName = QStringLiteral("/m/old");
  dialog.ShowOpen();
  ASSERT_EQ(desktop.OpenRequests().size(), 1);
  EXPECT_EQ(desktop.OpenRequests()[0].default_ext, QStringLiteral("box"));
  EXPECT_EQ(desktop.OpenRequests()[0].filter, QStringLiteral("F|*.box"));
  EXPECT_EQ(desktop.OpenRequests()[0].flags, 524800u);
  EXPECT_EQ(desktop.OpenRequests()[0].file_name, QStringLiteral("/m/old"));
}

TEST(CommonDialogTest, ChosenAnswerReplacesFileName) {
  FakeDesktop desktop;
  desktop.AnswerOpen(QStringLiteral("/m/new"));
  CommonDialog dialog(desktop);
  dialog.FileName = QStringLiteral("/m/old");
  EXPECT_EQ(dialog.ShowOpen(), DialogOutcome::kChosen);
  EXPECT_EQ(dialog.FileName, QStringLiteral("/m/new"));
}

TEST(CommonDialogTest, CancelLeavesTheLastAnswer) {
  FakeDesktop desktop;
  desktop.CancelOpen();
  CommonDialog dialog(desktop);
  dialog.FileName = QStringLiteral("/m/old");
  EXPECT_EQ(dialog.ShowOpen(), DialogOutcome::kCancelled);
  EXPECT_EQ(dialog.FileName, QStringLiteral("/m/old"));
}

TEST(CommonDialogTest, FailureGivesTheReason) {
  FakeDesktop desktop;
  desktop.FailOpen(QStringLiteral("no display"));
  CommonDialog dialog(desktop);
  QString error;
  EXPECT_EQ(dialog.ShowOpen(&error), DialogOutcome::kFailed);
  EXPECT_EQ(error, QStringLiteral("no display"));
  EXPECT_TRUE(dialog.FileName.isEmpty());
}

}  // namespace
}  // namespace quillet
