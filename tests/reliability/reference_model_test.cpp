// SPDX-License-Identifier: GPL-3.0-or-later
// The reference model is only worth comparing the engine against if it is
// right itself: the rules on small inputs whose output is worked out by
// hand, and dates whose instant Python's email.utils.parsedate_to_datetime
// gives.

#include "tests/reliability/reference_model.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QTime>
#include <QTimeZone>

#include "conversion/mailbox_format.h"
#include "ui/text/ui_text.h"

namespace quillet::reliability {
namespace {

const std::string kBox(BoxSeparator);

// `text` with "#" standing for the .box separator and "\n" for CR LF, the
// way .box output is written.
std::string BoxText(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '#') {
      out += kBox;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

class ModelRules : public ::testing::Test {
 protected:
  ModelRules() { FillUiText(text_, Language::kGerman); }
  ModelResult Convert(std::string_view input, bool mbox_to_box) {
    return ModelConvert(input, mbox_to_box, text_, 2, started_);
  }
  UiText text_;
  const QDateTime started_{QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone::utc()};
};

struct RuleCase {
  const char* rule;
  std::string input;
  std::string output;  // "#" for the .box separator, "\n" for CR LF
  qint64 messages;
};

TEST_F(ModelRules, MboxToBox) {
  const std::vector<RuleCase> cases = {
      {"a body line beginning \"From \" stays in its message",
       "From a\nS: 1\n\nFrom here on, every paragraph\nends.\n",
       "#\nS: 1\n\nFrom here on, every paragraph\nends.\n", 1},
      {"bare, blank-only and dated separators; one empty line before a "
       "separator dropped, the header block's own kept",
       "From \nS: 1\n\nx\nFrom  \t\nT: 2\n\ny\n\nFrom - 2024 jan 9:05 \nz\n",
       "#\nS: 1\n\nx\n#\nT: 2\n\ny\n#\nz\n", 3},
      {"no year, a two-digit year, a bad time, a next line that is no "
       "header field: body text",
       "From a\nS: 1\n\nFrom me at 10:00 on Jan 5\nFrom 1 Jan 24 10:00\n"
       "From Jan 2024 10:0\nFrom x\nX Y: z\nFrom y\n: z\n",
       "#\nS: 1\n\nFrom me at 10:00 on Jan 5\nFrom 1 Jan 24 10:00\n"
       "From Jan 2024 10:0\nFrom x\nX Y: z\nFrom y\n: z\n",
       1},
      {"one word after \"From \" and a header field next make a separator; "
       "the empty line closing a header block that nothing follows is the "
       "format's",
       "From a\nS: 1\n\nFrom nobody\nX-Y:z\n", "#\nS: 1\n#\nX-Y:z\n", 2},
      {"more words before a header field are text",
       "From a\nS: 1\n\nFrom the top of the file.\nSigned-off-by: a\n",
       "#\nS: 1\n\nFrom the top of the file.\nSigned-off-by: a\n", 1},
      {"empty lines that a valid Content-Length counts stay",
       "From a\nContent-Length: 3\n\na\n\nFrom b\nContent-Length: 1\n\n\n",
       "#\nContent-Length: 5\n\na\n\n#\nContent-Length: 2\n\n\n", 2},
      {"MMDF: so does one before the closing line",
       "\x01\x01\x01\x01\nS: 1\nContent-Length: 3\n\na\n\n\x01\x01\x01\x01\n",
       "#\nS: 1\nContent-Length: 5\n\na\n\n", 1},
      {".box separator bytes after '>'s (none included) get one '>' more",
       kBox + "\n>" + kBox + "x\nFrom a\nS: 1\n\n" + kBox + "\n",
       ">" + kBox + "\n>>" + kBox + "x\n#\nS: 1\n\n>" + kBox + "\n", 1},
      {"a valid Content-Length hides dated \"From \" lines and is rewritten",
       "From a Mon Jan  1 09:00:00 2024\nContent-Length: 42\n\n"
       "From b Mon Jan  1 09:00:00 2024\nX: 1\nbody\n\n"
       "From c Tue Jan  2 09:00:00 2024\nS: 2\n\nz\n",
       "#\nContent-Length: 45\n\nFrom b Mon Jan  1 09:00:00 2024\nX: 1\nbody\n"
       "#\nS: 2\n\nz\n",
       2},
      {"the \"From \" line right where a valid Content-Length body ends is "
       "a separator, whatever its shape",
       "From a\nContent-Length: 12\n\nFrom x\nS: 1\nFrom y\nplain\n",
       "#\nContent-Length: 14\n\nFrom x\nS: 1\n#\nplain\n", 2},
      {"a valid Content-Length ending the file, then one empty line",
       "From a\nContent-Length: 5\n\nFrom\n\n",
       "#\nContent-Length: 6\n\nFrom\n", 1},
      {"a lying Content-Length is ignored, and still rewritten",
       "From a Mon Jan  1 09:00:00 2024\nContent-Length: 10\n\n"
       "From b Mon Jan  1 09:00:00 2024\nX: 1\nbody\n\n"
       "From c Tue Jan  2 09:00:00 2024\nS: 2\n\nz\n",
       "#\nContent-Length: 0\n#\nX: 1\nbody\n#\nS: 2\n\nz\n", 3},
      {"a Content-Length whose body ends inside a line, or before text that "
       "is not a separator, is not valid",
       "From a\nContent-Length: 2\n\nabc\nFrom x\nS: 1\n"
       "From b\nContent-Length: 4\n\nabc\nzz\nFrom y\nS: 2\n",
       "#\nContent-Length: 5\n\nabc\n#\nS: 1\n"
       "#\nContent-Length: 9\n\nabc\nzz\n#\nS: 2\n",
       4},
      {"the first numeric Content-Length counts (blanks and leading zeros "
       "kept), a too long one is invalid, the others are ordinary lines",
       "From a\ncontent-length: x1\nCONTENT-LENGTH:\t007 \nContent-Length: 3\n"
       "Content-Length : 3\n\nab\n",
       "#\ncontent-length: x1\nCONTENT-LENGTH:\t4 \nContent-Length: 3\n"
       "Content-Length : 3\n\nab\n",
       1},
      {"a header block never closed: Content-Length 0",
       "From a\nContent-Length: 5\nFrom b\nX: 1\n",
       "#\nContent-Length: 0\n#\nX: 1\n", 2},
      {"one empty line before a separator and at the end of the file",
       "From a\nS: 1\n\nb\n\n\nFrom c\nS: 2\n\nFrom d\nS: 3\n\nx\n\n",
       "#\nS: 1\n\nb\n\n#\nS: 2\n#\nS: 3\n\nx\n", 3},
      {"unquoting in the text before the first separator and in messages",
       ">From pre\n>>From pre2\n\nFrom a\nS: 1\n\n>From x\n>>>From y\n>From\n"
       ">from z\n",
       "From pre\n>From pre2\n#\nS: 1\n\nFrom x\n>>From y\n>From\n>from z\n",
       1},
      {"a valid Content-Length body is unquoted too",
       "From a\nContent-Length: 8\n\n>From x\n\nFrom b\nS: 2\n",
       "#\nContent-Length: 8\n\nFrom x\n#\nS: 2\n", 2},
      {"a file without separators: only unquoted", "hello\n>From x\n\n",
       "hello\nFrom x\n\n", 0},
      {"a lone CR inside a line of an LF file is part of the line",
       "From a\nS: 1\r\n\nx\ry\n", "#\nS: 1\n\nx\ry\n", 1},
      {"a lone CR inside a line of a CR LF file is part of the line",
       "From a\r\nS: 1\r\n\r\nx\ry\r\n", "#\nS: 1\n\nx\ry\n", 1},
      {"a CR-only file", "From a\rS: 1\r\rx\rFrom b\rT: 2\r",
       "#\nS: 1\n\nx\n#\nT: 2\n", 2},
      {"a file whose only line end is a CR", "From a\r", "#\n", 1},
      {"MMDF: Control-A lines, the envelope line, the empty line before a "
       "closing line, text between messages, no \"From \" separators",
       "\x01\x01\x01\x01\nFrom MAILER-DAEMON Mon Jan  1 09:00:00 2024\nS: 1\n"
       "Content-Length: 99\n\nFrom here\n>From x\n\n\x01\x01\x01\x01\n"
       "between\n\x01\x01\x01\x01\nS: 2\n\n\x01\x01\x01\x01\n",
       "#\nS: 1\nContent-Length: 19\n\nFrom here\nFrom x\nbetween\n#\nS: 2\n",
       2},
      {"MMDF: a message whose header block never closes",
       "\x01\x01\x01\x01\r\nS: 1\r\nContent-Length: 9\r\n\x01\x01\x01\x01\r\n",
       "#\nS: 1\nContent-Length: 0\n", 1},
  };
  for (const RuleCase& c : cases) {
    const ModelResult result = Convert(c.input, true);
    EXPECT_EQ(result.output, BoxText(c.output)) << c.rule;
    EXPECT_EQ(result.messages, c.messages) << c.rule;
  }
}

TEST_F(ModelRules, BoxToMbox) {
  const std::string d = "From - Sat Feb  3 04:05:06 2001\n";  // run's start
  const std::vector<RuleCase> cases = {
      {"quoting, text before the first separator, one empty line of its own "
       "for every message, which closes a header block never closed too",
       "pre\r\n>From p\r\n" + kBox +
           "\r\nS: 1\r\n\r\nFrom x\r\n>From y\r\n\r\n" + kBox + "\r\nS: 2\r\n" +
           kBox + "\r\n\r\n",
       "pre\n>>From p\n\n" + d + "S: 1\n\n>From x\n>>From y\n\n\n" + d +
           "S: 2\n\n" + d + "\n\n",
       3},
      {"text before the first separator that ends in an empty line",
       "pre\r\n\r\n" + kBox + "\r\n\r\nb", "pre\n\n\n" + d + "\nb\n\n", 1},
      {"'>'s before the .box separator's bytes lose one",
       kBox + "\r\nS: 1\r\n\r\n>" + kBox + "\r\n>>" + kBox + "x\r\n",
       d + "S: 1\n\n" + kBox + "\n>" + kBox + "x\n\n", 1},
      {"Content-Length rewritten; 0 for a header block never closed",
       kBox + "\r\nContent-Length:  999 \r\n\r\nFrom a\r\nb\r\n\r\n" + kBox +
           "\r\nContent-Length: 5\r\nS: x\r\n",
       d + "Content-Length:  11 \n\n>From a\nb\n\n\n" + d +
           "Content-Length: 0\nS: x\n\n",
       2},
      {"a lone CR inside a line passes", kBox + "\r\n\r\na\rb\r\n",
       d + "\na\rb\n\n", 1},
      {"separator with text after its 14 bytes", kBox + "tail\r\nS: 1\r\n\r\n",
       d + "S: 1\n\n\n", 1},
      {"a file without separators: only quoted", "a\r\nFrom b\r\n",
       "a\n>From b\n", 0},
  };
  for (const RuleCase& c : cases) {
    const ModelResult result = Convert(c.input, false);
    EXPECT_EQ(result.output, c.output) << c.rule;
    EXPECT_EQ(result.messages, c.messages) << c.rule;
  }
}

// The lone CR in this LF file is part of its line, so "From " after it
// starts no message (it did when every lone CR ended a line).
TEST_F(ModelRules, ToBoxRewritesFromLinesAndEndsEveryLineInCrLf) {
  const ModelResult result =
      Convert("From a@b x\nSubject: s\r\n>From q\rFrom \r\nlast", true);
  EXPECT_EQ(result.output,
            kBox + "\r\nSubject: s\r\nFrom q\rFrom \r\nlast\r\n");
  EXPECT_EQ(result.messages, 1);
  EXPECT_EQ(result.calls,
            (std::vector<std::string>{
                "max 42", "value 12",
                "status konvertiere Mailbox 2 Nachricht 1, bitte warten...",
                "repaint"}));
}

TEST_F(ModelRules, ToMboxDatesQuotesAndClosesEveryMessage) {
  const std::string input =
      "pre\r\n" + kBox + "junk\r\nDATE : Mon, 1 Jan 2024\r\n\t10:00:00 +0100" +
      "\r\n\r\nFrom here\r\n>>From x\r\n" + kBox + "\r\nSubject: b\r\n" + kBox +
      "\r\nS: c\r\n\r\n" + kBox;
  EXPECT_EQ(Convert(input, false).output,
            "pre\n\n"
            "From - Mon Jan  1 09:00:00 2024\n"
            "DATE : Mon, 1 Jan 2024\n\t10:00:00 +0100\n\n>From here\n"
            ">>>From x\n\n"
            "From - Sat Feb  3 04:05:06 2001\nSubject: b\n\n"
            "From - Sat Feb  3 04:05:06 2001\nS: c\n\n\n"
            "From - Sat Feb  3 04:05:06 2001\n\n");
}

TEST_F(ModelRules, ReporterCallsAtEachSourceSeparator) {
  const auto calls = [&](std::string_view input, bool mbox_to_box) {
    return Convert(input, mbox_to_box).calls;
  };
  const std::string status1 =
      "status konvertiere Mailbox 2 Nachricht 1, bitte warten...";
  const std::string status2 =
      "status konvertiere Mailbox 2 Nachricht 2, bitte warten...";
  EXPECT_EQ(calls("\x01\x01\x01\x01\nFrom x\n\n\x01\x01\x01\x01\n"
                  "\x01\x01\x01\x01\n",
                  true),
            (std::vector<std::string>{"max 23", "value 6", status1, "repaint",
                                      "value 28", status2, "repaint"}));
  EXPECT_EQ(calls("x\r\n" + kBox + "tail\r\n\r\n" + kBox, false),
            (std::vector<std::string>{"max 39", "value 23", status1, "repaint",
                                      "value 41", status2, "repaint"}));
}

// The mbox separator's date: what Python's parsedate_to_datetime reads,
// in UTC, from the first Date field, else the topmost Received field after
// its last ";", else the run's start.
TEST_F(ModelRules, SeparatorDates) {
  const struct {
    const char* header;
    const char* date;
  } cases[] = {
      {"Date: Wed, 3 Jan 24 01:02 GMT", "Wed Jan  3 01:02:00 2024"},
      {"Date: 1 Jan 99 10:00 PDT", "Fri Jan  1 17:00:00 1999"},
      {"Date: 01 Jan 69 00:00 +0000", "Wed Jan  1 00:00:00 1969"},
      {"Date: 1 Jan 68 00:00 +0000", "Sun Jan  1 00:00:00 2068"},
      {"Date: 1 Jan 70 00:00 -0000", "Thu Jan  1 00:00:00 1970"},
      {"Date: Thu, 4 Jan 2024 05:06:07 A", "Thu Jan  4 05:06:07 2024"},
      {"Date: Thu, 4 Jan 2024 05:06:07 Z", "Thu Jan  4 05:06:07 2024"},
      {"Date: 5 Jan 2024 10:00:00 M", "Fri Jan  5 10:00:00 2024"},
      {"Date: 5 Jan 2024 10:00:00 XYZ", "Fri Jan  5 10:00:00 2024"},
      {"Date: Mon, 5 Jan 2024 10:00:00 +0100", "Fri Jan  5 09:00:00 2024"},
      {"Date: 5 Jan 2024 10:00 EST", "Fri Jan  5 15:00:00 2024"},
      {"Date: Tue, 2 Jan 2024 10:00:00 CDT", "Tue Jan  2 15:00:00 2024"},
      {"Date: Jan 5 2024 10:00:00 MST", "Fri Jan  5 17:00:00 2024"},
      {"Date: 2 Jan 2024 10:00 UT", "Tue Jan  2 10:00:00 2024"},
      {"Date: 5 Jan 2024 10:00:00 -0330", "Fri Jan  5 13:30:00 2024"},
      {"Date: Fri, 5 Jan 2024 10:00:00 +0100 (CET) (more)",
       "Fri Jan  5 09:00:00 2024"},
      {"Date: FRI, 5 JAN 2024 10:00:00 +0000", "Fri Jan  5 10:00:00 2024"},
      {"Date: Sat, 1 Jan 2000 00:30:00 +0100", "Fri Dec 31 23:30:00 1999"},
      {"Date: Tue, 2 Jan 2024\r\n 10:00:00 +0000", "Tue Jan  2 10:00:00 2024"},
      // A lone CR in a CR LF file is a byte of its line, and a blank to
      // Python; words after the zone do not matter to it.
      {"Date: Sat Jan  6 09:00:00 \r2024", "Sat Jan  6 09:00:00 2024"},
      {"Date: 1 Jan 2024 00:00 +0000 x Sat, 1 Jan", "Mon Jan  1 00:00:00 2024"},
      // Not usable: a three-digit year; then the Received field's date.
      {"Date: 1 Jan 101 10:00:00 Z\r\nReceived: from a; by b;\r\n"
       "\tTue, 2 Jan 2024 10:00:00 +0000",
       "Tue Jan  2 10:00:00 2024"},
      {"Received: from a\r\n\tby b; Tue, 2 Jan 2024 10:00:00 +0000\r\n"
       "Date: garbage",
       "Tue Jan  2 10:00:00 2024"},
      // Only the first Date field counts; only the topmost Received.
      {"Date: garbage\r\nDate: Tue, 2 Jan 2024 10:00:00 +0000",
       "Sat Feb  3 04:05:06 2001"},
      {"Received: from a by b\r\nReceived: x; Tue, 2 Jan 2024 10:00:00 +0000",
       "Sat Feb  3 04:05:06 2001"},
      {"RECEIVED : x; Tue, 2 Jan 2024 10:00:00 +0000",
       "Tue Jan  2 10:00:00 2024"},
      {"Received: x; garbage", "Sat Feb  3 04:05:06 2001"},
      {"S: x\r\n\r\nDate: Tue, 2 Jan 2024 10:00:00 +0000",
       "Sat Feb  3 04:05:06 2001"},
  };
  for (const auto& c : cases) {
    const std::string out =
        Convert(kBox + "\r\n" + c.header + "\r\n\r\nb\r\n", false).output;
    EXPECT_EQ(out.substr(0, out.find('\n')), std::string("From - ") + c.date)
        << c.header;
  }
}

TEST_F(ModelRules, DateCountsAnywhereInTheHeaderBlock) {
  const std::string date = "Date: 1 Jan 2024 00:00:00 +0000";
  const std::string jan1 = "From - Mon Jan  1 00:00:00 2024";
  const std::string started = "From - Sat Feb  3 04:05:06 2001";
  const auto first_line = [&](const std::string& input) {
    const std::string out = Convert(input, false).output;
    return out.substr(0, out.find('\n'));
  };
  EXPECT_EQ(first_line(kBox + "\r\n" + date), jan1);
  EXPECT_EQ(first_line(kBox + "\r\nS: x\r\n\r\n" + date + "\r\n"), started);
  EXPECT_EQ(first_line(kBox + "\r\n" + kBox + "\r\n" + date + "\r\n"), started);
  // After 2,000 header lines, far past any look-ahead.
  std::string pad;
  for (int i = 0; i < 2000; ++i)
    pad += "X-Hop: " + std::string(60, 'p') + "\r\n";
  EXPECT_EQ(first_line(kBox + "\r\n" + pad + date + "\r\n"), jan1);
  // A field with a line, or an unfolded value, over 64 KiB holds no date.
  const std::string huge(64 * 1024, 'p');
  EXPECT_EQ(first_line(kBox + "\r\n" + date + huge + "\r\n"), started);
  EXPECT_EQ(first_line(kBox + "\r\n" + date + "\r\n " + huge + "\r\n"),
            started);
  EXPECT_EQ(
      first_line(kBox + "\r\n" + date + "\r\n " + huge.substr(64) + "\r\n"),
      jan1);
}

}  // namespace
}  // namespace quillet::reliability
