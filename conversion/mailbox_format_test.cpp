// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/mailbox_format.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

namespace quillet {
namespace {

TEST(Separators, MboxSeparatorIsFromSpaceAndNothingElse) {
  for (const char* line :
       {"From ", "From someone@example.org Mon Jan  1", "From -", "From  "}) {
    EXPECT_TRUE(IsSourceSeparator(line, Direction::kToBox)) << line;
  }
  for (const char* line : {"From", "from x", "FROM x", ">From x", " From x",
                           "From:x", "From: me", "Fro", ""}) {
    EXPECT_FALSE(IsSourceSeparator(line, Direction::kToBox)) << line;
  }
}

TEST(Separators, BoxSeparatorIsFourteenBytesWhateverFollows) {
  const std::string sep(BoxSeparator);
  EXPECT_EQ(sep, "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S");
  EXPECT_TRUE(IsSourceSeparator(sep, Direction::kToMbox));
  EXPECT_TRUE(IsSourceSeparator(sep + "trailing text", Direction::kToMbox));
  // Seven 0x10 but only five 0x11 before the S.
  EXPECT_FALSE(IsSourceSeparator(
      "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11S", Direction::kToMbox));
  EXPECT_FALSE(IsSourceSeparator(sep.substr(0, 13), Direction::kToMbox));
  EXPECT_FALSE(IsSourceSeparator("From x", Direction::kToMbox));
  EXPECT_FALSE(IsSourceSeparator(sep, Direction::kToBox));
}

TEST(Separators, TargetSeparators) {
  const QDateTime when(QDate(2024, 1, 1), QTime(9, 0, 0), QTimeZone::utc());
  EXPECT_EQ(TargetSeparator(Direction::kToBox, when), BoxSeparator);
  EXPECT_EQ(TargetSeparator(Direction::kToMbox, when),
            "From - Mon Jan  1 09:00:00 2024");
}

TEST(Asctime, PadsDayAndConvertsToUtc) {
  const QDateTime berlin(QDate(2023, 12, 31), QTime(0, 30, 5), QTimeZone(3600));
  EXPECT_EQ(AsctimeUtc(berlin), "Sat Dec 30 23:30:05 2023");
  const QDateTime late(QDate(1999, 7, 25), QTime(23, 59, 59), QTimeZone::utc());
  EXPECT_EQ(AsctimeUtc(late), "Sun Jul 25 23:59:59 1999");
}

// The calendar arithmetic against Qt's at the edges: leap days, century
// years, the epoch, before it, and the first and last four-digit years.
TEST(Asctime, FieldsAgreeWithQtAtCalendarEdges) {
  const QDateTime edges[] = {
      QDateTime(QDate(1970, 1, 1), QTime(0, 0, 0), QTimeZone::utc()),
      QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59), QTimeZone::utc()),
      QDateTime(QDate(2000, 2, 29), QTime(12, 0, 0), QTimeZone::utc()),
      QDateTime(QDate(1900, 3, 1), QTime(0, 0, 1), QTimeZone::utc()),
      QDateTime(QDate(2100, 2, 28), QTime(23, 0, 0), QTimeZone::utc()),
      QDateTime(QDate(1600, 2, 29), QTime(1, 2, 3), QTimeZone::utc()),
      QDateTime(QDate(1000, 1, 1), QTime(0, 0, 0), QTimeZone::utc()),
      QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), QTimeZone::utc()),
  };
  for (const QDateTime& when : edges) {
    const UtcTime t = UtcTimeOf(when.toSecsSinceEpoch());
    EXPECT_EQ(DaysSinceEpoch(t.year, t.month, t.day) * 86400 + t.hour * 3600 +
                  t.minute * 60 + t.second,
              when.toSecsSinceEpoch());
    EXPECT_EQ(AsctimeUtc(t),
              QLocale::c()
                  .toString(when, QStringLiteral("ddd MMM d HH:mm:ss yyyy"))
                  .replace(QRegularExpression(QStringLiteral(" (\\d) ")),
                           QStringLiteral("  \\1 "))
                  .toStdString())
        << when.toString(Qt::ISODate).toStdString();
  }
}

TEST(OutputNames, ToBoxAppendsBoxWhateverTheNameEndsIn) {
  EXPECT_EQ(OutputName("a", true), "a.box");
  EXPECT_EQ(OutputName("Inbox", true), "Inbox.box");
  EXPECT_EQ(OutputName("old.mbx", true), "old.mbx.box");
  EXPECT_EQ(OutputName("a.box", true), "a.box.box");
}

TEST(OutputNames, ToMboxDropsBoxInAnyCaseElseAppendsMbox) {
  EXPECT_EQ(OutputName("in.box", false), "in");
  EXPECT_EQ(OutputName("in.BOX", false), "in");
  EXPECT_EQ(OutputName("Sent.Box", false), "Sent");
  EXPECT_EQ(OutputName("a.box", false), "a");
  EXPECT_EQ(OutputName("mailbox", false), "mailbox.mbox");
  EXPECT_EQ(OutputName("ABCD", false), "ABCD.mbox");
  EXPECT_EQ(OutputName(".box", false), ".box.mbox");
  EXPECT_EQ(OutputName("x", false), "x.mbox");
  EXPECT_EQ(OutputName("a.box.box", false), "a.box");
}

TEST(OutputNames, PathIsFolderAndNameJoined) {
  EXPECT_EQ(OutputPath("/mail/out/", "Sent.BOX", false), "/mail/out/Sent");
  EXPECT_EQ(OutputPath("/", "Inbox", true), "/Inbox.box");
}

}  // namespace
}  // namespace quillet
