// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/message_date.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <array>
#include <clocale>
#include <string>

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
  EXPECT_EQ(Parsed("Mon Jan  1 09:00:00 2024"), "Mon Jan  1 09:00:00 2024");
  EXPECT_EQ(Parsed("1 January 2024 09:00:00 +0000"),
            "Mon Jan  1 09:00:00 2024");
}

TEST(MailDates, RejectsWhatIsNoDate) {
  for (const char* text :
       {"", "yesterday", "Mon, 32 Jan 2024 09:00:00 +0000",
        "Mon, 1 Foo 2024 09:00:00 +0000", "1 Jan 2024 25:00:00 +0000",
        "1 Jan 2024 09:61:00 +0000", "1 Jan 2024",
        "30 Feb 2024 09:00:00 +0000"}) {
    EXPECT_EQ(Parsed(text), "none") << text;
  }
}

// Python reads a three-digit year as it stands and a short zone offset as
// hours and minutes written hhmm, whatever their size.
TEST(MailDates, YearsAndOffsetsAsPythonReadsThem) {
  EXPECT_EQ(Parsed("3 Mar 104 10:00:00 +0000"), "none");    // the year 104
  EXPECT_EQ(Parsed("1 Jan 1000 00:30:00 +0100"), "none");   // 999 in UTC
  EXPECT_EQ(Parsed("31 Dec 9999 23:30:00 -0100"), "none");  // 10000 in UTC
  EXPECT_EQ(Parsed("1 Jan 68 09:00:00 +0000"), "Sun Jan  1 09:00:00 2068");
  EXPECT_EQ(Parsed("1 Jan 69 09:00:00 +0000"), "Wed Jan  1 09:00:00 1969");
  EXPECT_EQ(Parsed("1 Jan 2024 09:00:00 +01"), "Mon Jan  1 08:59:00 2024");
  EXPECT_EQ(Parsed("1 Jan 2024 09:00:00 +0160"), "Mon Jan  1 07:00:00 2024");
}

// Where Python reads nothing because a comment stands in the way, the date
// is read without its comments.
TEST(MailDates, CommentsThatHideADateFromPython) {
  EXPECT_EQ(Parsed("(Friday) 5 Jan 2024 10:00:00 +0100"),
            "Fri Jan  5 09:00:00 2024");
  EXPECT_EQ(Parsed("Fri, 5 (x) Jan 2024 10:00:00 +0100"),
            "Fri Jan  5 09:00:00 2024");
  // Python reads this one, the comment as an unknown zone: so do we.
  EXPECT_EQ(Parsed("Fri, 5 Jan 2024 10:00 (x) +0100"),
            "Fri Jan  5 10:00:00 2024");
}

// The script prints, per line, a date string's bytes in hex and the instant
// Python reads from it in seconds since the epoch, or "none".
TEST(MailDates, ReadTheInstantPythonReads) {
  const QString python = QStandardPaths::findExecutable("python3");
  if (python.isEmpty()) {
    GTEST_SKIP() << "python3 is not installed: the dates are not compared "
                    "with what Python reads";
  }
  QProcess process;
  process.start(python, {QStringLiteral(QUILLET_DATE_CASES_SCRIPT)});
  ASSERT_TRUE(process.waitForFinished(60000)) << "the case script did not end";
  ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
  ASSERT_EQ(process.exitCode(), 0)
      << process.readAllStandardError().constData();

  int cases = 0;
  int read_by_python = 0;
  for (const QByteArray& row : process.readAllStandardOutput().split('\n')) {
    if (row.isEmpty()) continue;
    const QList<QByteArray> fields = row.split('\t');
    ASSERT_EQ(fields.size(), 2) << row.constData();
    const QByteArray bytes = QByteArray::fromHex(fields[0]);
    const std::string_view text(bytes.constData(),
                                static_cast<std::size_t>(bytes.size()));
    const auto ours = ParseMailDate(text);
    ++cases;
    if (fields[1] == "none") {
      // We may read more than Python only where comments hid the date.
      if (text.find('(') == std::string_view::npos) {
        EXPECT_FALSE(ours) << "\"" << text << "\": Python reads no date, we "
                           << AsctimeUtc(*ours);
      }
      continue;
    }
    ++read_by_python;
    bool number = false;
    const qint64 seconds = fields[1].toLongLong(&number);
    ASSERT_TRUE(number) << row.constData();
    const int utc_year =
        QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).date().year();
    if (utc_year < 1000 || utc_year > 9999) {
      EXPECT_FALSE(ours) << "\"" << text << "\": year " << utc_year
                         << " in UTC is no usable date";
    } else if (!ours) {
      ADD_FAILURE() << "\"" << text << "\": Python reads " << seconds
                    << ", we read no date";
    } else {
      EXPECT_EQ(ours->seconds, seconds) << "\"" << text << "\"";
      // The fields come from our own calendar arithmetic: Qt's must agree.
      const QDateTime qt = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
      const std::array<int, 7> expected = {
          qt.date().year(),         qt.date().month(),  qt.date().day(),
          qt.time().hour(),         qt.time().minute(), qt.time().second(),
          qt.date().dayOfWeek() - 1};
      const std::array<int, 7> ours_fields = {
          ours->year,   ours->month,  ours->day,    ours->hour,
          ours->minute, ours->second, ours->weekday};
      EXPECT_EQ(ours_fields, expected) << "\"" << text << "\"";
    }
  }
  // The table must hold what it claims: hundreds of strings, many dates.
  EXPECT_GE(cases, 400);
  EXPECT_GE(read_by_python, 150);
}

// Case rules must not follow the locale: under a Turkish one, "I" is not
// the capital of "i" there.
// The usual shapes, a Date field's and asctime order's, are read by a
// short path; the same words with two spaces between two of them take
// Python's steps. Both must read the same instant, at every field's edges,
// with any zone and any one blank before it.
TEST(MailDates, UsualShapeReadsAsPythonsStepsDo) {
  int compared = 0;
  for (const char* day : {"0", "1", "01", "28", "29", "30", "31", "32"}) {
    for (const char* month : {"Jan", "feb", "FEB", "Apr", "Dec", "Foo"}) {
      for (const char* year : {"0999", "1000", "1900", "2000", "2024"}) {
        for (const char* clock :
             {"00:00:00", "23:59:59", "24:00:00", "12:60:00", "12:00:60"}) {
          for (const char* zone :
               {"+0000", "-0000", "+2359", "-2359", "+2400", "+0099",
                "+0130 (CET)", "GMT", "est", "A", "+01"}) {
            for (const char* blank : {" ", "\t"}) {
              const std::string last = std::string(blank) + zone;
              const std::string tail =
                  std::string(month) + " " + year + " " + clock + last;
              const std::string usual = std::string(day) + " " + tail;
              const std::string spaced = std::string(day) + "  " + tail;
              ASSERT_EQ(Parsed(usual), Parsed(spaced)) << usual;
              ASSERT_EQ(Parsed("Sun, " + usual), Parsed("Sun,  " + usual))
                  << usual;
              const std::string asctime =
                  std::string("Sun ") + month + " " + day + " " + clock;
              ASSERT_EQ(Parsed(asctime + " " + year + last),
                        Parsed(asctime + "  " + year + last))
                  << asctime;
              ++compared;
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 8 * 6 * 5 * 5 * 11 * 2);
  // The grid holds dates that both read.
  EXPECT_NE(Parsed("29 feb 2024 23:59:59 -2359"), "none");
  EXPECT_NE(Parsed("Sun Feb 29 23:59:59 2024\tGMT"), "none");
}

TEST(MailDates, CaseRulesIgnoreTheLocale) {
  const std::string texts[] = {
      "FRI 05 JAN 2024 10:00:00 +0000", "fri 05 jan 2024 10:00:00 pdt",
      "Fri 5 APRIL 2024 10:00:00 UTC", "WED, 5 JUNE 2024 10:00:00 EDT"};
  std::vector<std::string> expected;
  for (const std::string& text : texts) {
    expected.push_back(Parsed(text));
    EXPECT_NE(expected.back(), "none") << text;
  }
  const std::string window =
      "RECEIVED: by mail.example; FRI 05 JAN 2024 10:00:00 +0000\r\n"
      "DATE: none\r\n\r\n";
  bool cut = false;
  const auto message = MessageDate(window, false, false, &cut);
  ASSERT_TRUE(message);
  EXPECT_EQ(AsctimeUtc(*message), "Fri Jan  5 10:00:00 2024");

  const std::string previous = std::setlocale(LC_ALL, nullptr);
  const QLocale previous_qt;
  int tried = 0;
  for (const char* name : {"tr_TR.ISO-8859-9", "tr_TR.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) == nullptr) continue;
    ++tried;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(Parsed(texts[i]), expected[i]) << name << ": " << texts[i];
    }
    const auto turkish = MessageDate(window, false, false, &cut);
    EXPECT_TRUE(turkish && *turkish == *message) << name;
  }
  std::setlocale(LC_ALL, previous.c_str());
  QLocale::setDefault(previous_qt);
  if (tried == 0) {
    GTEST_SKIP() << "no Turkish locale is installed (locale-gen tr_TR.UTF-8)";
  }
}

// What the window gives: a time, "none", or "cut" where only the whole
// header block can say.
std::string When(std::string_view window, bool ends_file = true,
                 bool cr_ends_lines = false) {
  bool cut = false;
  const auto when = MessageDate(window, ends_file, cr_ends_lines, &cut);
  if (cut) return "cut";
  return when ? AsctimeUtc(*when) : "none";
}

// The file's bytes, read only through positional reads.
class BytesFile final : public InputFile {
 public:
  explicit BytesFile(std::string bytes) : bytes_(std::move(bytes)) {}
  qint64 Read(char*, qint64) override {
    ADD_FAILURE() << "the whole block is read at its offset";
    return -1;
  }
  qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
    const auto from = std::min(static_cast<std::size_t>(offset), bytes_.size());
    const auto n =
        std::min(static_cast<std::size_t>(max), bytes_.size() - from);
    std::copy_n(bytes_.data() + from, n, data);
    return static_cast<qint64>(n);
  }
  bool Close() override { return true; }
  FileError Error() const override { return {}; }

 private:
  std::string bytes_;
};

// What the whole header block at offset 1 gives (a byte before it that no
// reader may take for a header line).
std::string WhenWhole(std::string_view block) {
  BytesFile file("\n" + std::string(block));
  std::optional<FileError> failure;
  const auto when = MessageDateAt(file, 1, CrRule::kOrdinary, &failure);
  EXPECT_FALSE(failure.has_value());
  return when ? AsctimeUtc(*when) : "none";
}

constexpr char kJan1[] = "Mon Jan  1 09:00:00 2024";
constexpr char kJan2[] = "Tue Jan  2 10:00:00 2024";
#define DATE1 "Mon, 1 Jan 2024 09:00:00 +0000"
#define DATE2 "Tue, 2 Jan 2024 10:00:00 +0000"

TEST(MessageDates, FirstDateOfTheHeaderBlock) {
  EXPECT_EQ(When("Subject: x\r\nDATE : " DATE1 "\r\nDate: " DATE2 "\r\n"),
            kJan1);
  EXPECT_EQ(When("date:" DATE1 "\n", true), kJan1);
  // A usable Date is preferred to a Received field above it.
  EXPECT_EQ(When("Received: by b; " DATE2 "\r\nDate: " DATE1 "\r\n\r\n"),
            kJan1);
}

TEST(MessageDates, TopmostReceivedWhenDateIsMissingOrUnusable) {
  const struct {
    const char* window;
    const char* expected;
  } cases[] = {
      {"Received: from a by b; " DATE2 "\r\nSubject: s\r\n\r\n", kJan2},
      {"Date: yesterday\r\nReceived: by b; " DATE2 "\r\n\r\n", kJan2},
      {"Date: 3 Mar 104 10:00:00 +0000\r\nReceived: by b;" DATE2 "\r\n\r\n",
       kJan2},
      // Only the first Date counts, only the topmost Received.
      {"Date: x\r\nDate: " DATE1 "\r\nReceived: by b; " DATE2 "\r\n", kJan2},
      {"Received: by b; " DATE2 "\r\nReceived: by c; " DATE1 "\r\n", kJan2},
      {"Received: by b; yesterday\r\nReceived: by c; " DATE1 "\r\n", "none"},
      // The date follows the field's last ';'.
      {"Received: from a (x; y) by b; id 5; " DATE2 "\r\n", kJan2},
      {"Received: from a by b " DATE2 "\r\n\r\n", "none"},
      {"Received: from a by b " DATE2 "\r\nReceived: by c; " DATE1 "\r\n",
       "none"},
      {"Date: x\r\nSubject: s\r\n\r\n", "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(When(c.window), c.expected) << c.window;
}

TEST(MessageDates, FoldedFieldsAreJoined) {
  EXPECT_EQ(When("Date: Mon, 1 Jan\r\n 2024 09:00:00\r\n\t+0100\r\n"
                 "Subject: s\r\n"),
            "Mon Jan  1 08:00:00 2024");
  EXPECT_EQ(When("Received: from a\r\n by b;\r\n\tTue, 2 Jan 2024\r\n"
                 " 10:00:00 +0000\r\nSubject: s\r\n"),
            kJan2);
}

TEST(MessageDates, AWindowCutInsideTheBlockLeavesItToTheWholeBlock) {
  const struct {
    const char* window;
    const char* expected;
  } cases[] = {
      {"Subject: s\r\nDate: " DATE1, "cut"},
      {"Subject: s\r\nDate: " DATE1 "\r\n", "cut"},  // a fold may follow
      {"Subject: s\r\nDate: " DATE1 "\r\n ", "cut"},
      {"Date: x\r\nSubject: s\r\n", "cut"},
      // What was seen settles it: a usable first Date, both fields whole,
      // or the end of the block.
      {"Subject: s\r\nDate: " DATE1 "\r\nX", kJan1},
      {"Date: x\r\nReceived: by b; " DATE2 "\r\nX-Cut: fie", kJan2},
      {"Subject: s\r\n\r\nDate: x", "none"},
      {"Received: by b; " DATE2 "\r\nDate: Mon, 1 Jan 2024\r\n 09:00:00 +0",
       "cut"},
      // In an LF file a CR at the window's end may be the start of CR LF.
      {"Date: " DATE1 "\r", "cut"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(When(c.window, false), c.expected) << c.window;
  }
}

// Bounces and spam carry thousands of header lines: the Date after them
// still counts, read from the file, while a field longer than the limit is
// no date.
TEST(MessageDates, TheWholeHeaderBlockIsReadFromTheFile) {
  std::string long_header;
  for (int i = 0; i < 3000; ++i) {
    long_header += "X-Trace-" + std::to_string(i) + ": hop hop hop hop\r\n";
  }
  ASSERT_GT(long_header.size(), kDateLookAhead);
  EXPECT_EQ(
      When((long_header + "Date: " DATE1 "\r\n\r\n").substr(0, kDateLookAhead),
           false),
      "cut");
  const std::string huge(kDateLineMax, 'x');
  const struct {
    std::string block;
    const char* expected;
  } cases[] = {
      {long_header + "Date: " DATE1 "\r\n\r\nbody\r\n", kJan1},
      {long_header + "Received: by b;\r\n " DATE2 "\r\n", kJan2},
      {"Received: by b; " DATE2 "\r\n" + long_header + "Date: " DATE1 "\n",
       kJan1},
      {long_header + "\r\nDate: " DATE1 "\r\n", "none"},
      {"Date: " DATE1 " " + huge + "\r\nReceived: by b; " DATE2 "\r\n", kJan2},
      {"Date: " DATE1 "\r\n " + huge + "\r\n", "none"},
      {"Date: " DATE1 "\r\n " + huge.substr(100) + "\r\n", kJan1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WhenWhole(c.block), c.expected) << c.block.substr(0, 60);
  }
}

TEST(MessageDates, NothingAfterTheHeaderBlockCounts) {
  const std::string sep(BoxSeparator);
  EXPECT_EQ(When("Subject: s\r\n\r\nDate: " DATE1 "\r\n"), "none");
  EXPECT_EQ(When("Subject: s\n\nReceived: by b; " DATE2 "\n"), "none");
  EXPECT_EQ(When("Subject: s\r\n" + sep + "\r\nDate: " DATE1 "\r\n"), "none");
  EXPECT_EQ(When("Subject: s\r\n" + sep + "junk\r\nDate: " DATE1 "\r\n"),
            "none");
  EXPECT_EQ(When("X-Date: " DATE1 "\r\nDated: " DATE1
                 "\r\nX-Received: by b; " DATE2 "\r\n",
                 true),
            "none");
}

TEST(MessageDates, LoneCrEndsALineOnlyWhenAsked) {
  const char* window = "Subject: a\rDate: " DATE1 "\n\n";
  EXPECT_EQ(When(window, false, false), "none");  // one line, a Subject
  EXPECT_EQ(When(window, false, true), kJan1);
  // A lone CR inside a Date's line is blank space to the date's reader.
  EXPECT_EQ(When("Date: Mon, 1 Jan 2024\r09:00:00 +0000\n\n"), kJan1);
  EXPECT_EQ(When("Subject: a\r\rDate: " DATE1 "\r", false, true), "none");
  EXPECT_EQ(When("Subject: a\rDate: " DATE1 "\r\r", false, true), kJan1);
}

}  // namespace
}  // namespace quillet
