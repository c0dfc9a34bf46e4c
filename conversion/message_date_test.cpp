#include "conversion/message_date.h"

#include <gtest/gtest.h>

#include "conversion/mailbox_format.h"

namespace quillet {
namespace {

std::string Parsed(std::string_view text) {
  const auto when = ParseMailDate(text);
  return when ? AsctimeUtc(*when) : "none";
}

TEST(MailDates, CommonFormsWithZoneApplied) {
  EXPECT_EQ(Parsed("Mon, 01 Jan 2024 09:00:00 +0100"),
            "Mon Jan  1 08:00:00 2024");
  EXPECT_EQ(Parsed("1 Jan 2024 09:00:00 -0230"), "Mon Jan  1 11:30:00 2024");
  EXPECT_EQ(Parsed(" Tue, 15 Nov 1994 08:12:31 -0800"),
            "Tue Nov 15 16:12:31 1994");
  EXPECT_EQ(Parsed("Mon, 1 Jan 2024 09:00 +0000"), "Mon Jan  1 09:00:00 2024");
  EXPECT_EQ(Parsed("Mon, 1 Jan 2024 9:00:00 +0000"),
            "Mon Jan  1 09:00:00 2024");
}

TEST(MailDates, NamedZonesAndComments) {
  EXPECT_EQ(Parsed("Mon, 1 Jan 2024 09:00:00 GMT"), "Mon Jan  1 09:00:00 2024");
  EXPECT_EQ(Parsed("Mon, 1 Jan 2024 09:00:00 UT"), "Mon Jan  1 09:00:00 2024");
  EXPECT_EQ(Parsed("Mon, 1 Jan 2024 09:00:00 EST"), "Mon Jan  1 14:00:00 2024");
  EXPECT_EQ(Parsed("Mon, 1 Jan 2024 09:00:00 PDT"), "Mon Jan  1 16:00:00 2024");
  EXPECT_EQ(Parsed("Mon, 1 Jan 2024 09:00:00 +0000 (UTC)"),
            "Mon Jan  1 09:00:00 2024");
  EXPECT_EQ(Parsed("Mon, 1 Jan 2024 09:00:00 +0100 (CET (nested) \\) x)"),
            "Mon Jan  1 08:00:00 2024");
  EXPECT_EQ(Parsed("Mon, 1 Jan 2024 09:00:00"), "Mon Jan  1 09:00:00 2024");
}

TEST(MailDates, ObsoleteYearsAndAsctimeOrder) {
  EXPECT_EQ(Parsed("Fri, 3 Mar 99 10:00:00 +0000"), "Wed Mar  3 10:00:00 1999");
  EXPECT_EQ(Parsed("3 Mar 04 10:00:00 +0000"), "Wed Mar  3 10:00:00 2004");
  EXPECT_EQ(Parsed("3 Mar 104 10:00:00 +0000"), "Wed Mar  3 10:00:00 2004");
  EXPECT_EQ(Parsed("Mon Jan  1 09:00:00 2024"), "Mon Jan  1 09:00:00 2024");
  EXPECT_EQ(Parsed("1 January 2024 09:00:00 +0000"),
            "Mon Jan  1 09:00:00 2024");
}

TEST(MailDates, RejectsWhatIsNoDate) {
  for (const char* text :
       {"", "yesterday", "Mon, 32 Jan 2024 09:00:00 +0000",
        "Mon, 1 Foo 2024 09:00:00 +0000", "1 Jan 2024 25:00:00 +0000",
        "1 Jan 2024 09:61:00 +0000", "1 Jan 2024 09:00:00 +01", "1 Jan 2024",
        "30 Feb 2024 09:00:00 +0000", "1 Jan 2024 09:00:00 +0160"}) {
    EXPECT_EQ(Parsed(text), "none") << text;
  }
}

TEST(DateField, FirstDateOfTheHeaderBlock) {
  EXPECT_EQ(FindDateField("Subject: x\r\nDATE : 1 Jan 2024\r\nDate: 2\r\n",
                          false),
            std::optional<std::string>(" 1 Jan 2024"));
  EXPECT_EQ(FindDateField("date:x\n", true), std::optional<std::string>("x"));
}

TEST(DateField, FoldedLinesAreJoined) {
  EXPECT_EQ(FindDateField("Date: Mon, 1 Jan\r\n 2024 09:00:00\r\n\t+0000\r\n"
                          "Subject: s\r\n",
                          false),
            std::optional<std::string>(" Mon, 1 Jan 2024 09:00:00\t+0000"));
}

TEST(DateField, SearchStopsAtBlockEndSeparatorAndWindowEnd) {
  const std::string sep(BoxSeparator);
  EXPECT_FALSE(FindDateField("Subject: s\r\n\r\nDate: x\r\n", false));
  EXPECT_FALSE(FindDateField("Subject: s\r\n" + sep + "\r\nDate: x\r\n", false));
  EXPECT_FALSE(FindDateField("Subject: s\r\nDate: cut off", false));
  EXPECT_EQ(FindDateField("Subject: s\r\nDate: at the end", true),
            std::optional<std::string>(" at the end"));
  EXPECT_FALSE(FindDateField("X-Date: 1\r\nDated: 2\r\n", true));
}

}  // namespace
}  // namespace quillet
