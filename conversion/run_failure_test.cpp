// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/run_failure.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/failing_output_layer.h"

namespace quillet {
namespace {

TEST(Failures, DescribeNamesMailboxStepPathAndReason) {
  const RunFailure failure{RunStep::kWrite, 2, "Sent.box", "/o/Sent",
                           testing::DiskFullError()};
  EXPECT_EQ(failure.Describe(),
            "mailbox 2 (Sent.box): cannot write /o/Sent: No space left on "
            "device");
  const RunFailure check{RunStep::kCheck, 0, "", "/o/",
                         FileError::Own(FailureReason::kTargetMissing)};
  EXPECT_EQ(check.Describe(),
            "cannot convert /o/: the target folder does not exist");
}

TEST(Failures, EveryOwnReasonHasEnglishWordsAndFileErrorsCarryItsCode) {
  for (int i = 1; i < static_cast<int>(FailureReason::kCount); ++i) {
    const auto code = static_cast<FailureReason>(i);
    EXPECT_FALSE(ReasonText(code).isEmpty()) << i;
    const FileError own = FileError::Own(code);
    EXPECT_EQ(own.code, code);
    EXPECT_EQ(ErrorText(own), ReasonText(code));
  }
  EXPECT_TRUE(ReasonText(FailureReason::kSystem).isEmpty());
  EXPECT_EQ(FileError::System(EPIPE).code, FailureReason::kSystem);
}

}  // namespace
}  // namespace quillet
