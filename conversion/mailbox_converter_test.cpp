// SPDX-License-Identifier: GPL-3.0-or-later
// The reading and writing rules of real mailboxes, each as a table of
// small mailboxes, converted at read sizes that split every line.
#include <gtest/gtest.h>

#include <string>

#include "conversion/mailbox_format.h"
#include "tests/support/conversion_support.h"

namespace quillet {
namespace {

using testing::Convert;

const std::string S = std::string(BoxSeparator) + "\r\n";
constexpr const char* kDate = "From - Sat Feb  3 04:05:06 2001\n";

struct Case {
  const char* what;
  std::string in;
  std::string out;
};

void ExpectEveryReadSize(const std::vector<Case>& cases, bool mbox_to_box) {
  for (const Case& c : cases) {
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{3},
                                    std::size_t{7}, std::size_t{1} << 20}) {
      EXPECT_EQ(Convert(c.in, mbox_to_box, chunk), c.out)
          << c.what << ", read size " << chunk;
    }
  }
}

TEST(MboxSource, FromLinesStartMessagesOnlyWhereReadersSeeOne) {
  const std::string h = "From a@b Mon Jan  1 09:00:00 2024\nA: b\n\n";
  const std::string hb = S + "A: b\r\n\r\n";
  // The first message when the next starts right after its header block.
  const std::string hs = S + "A: b\r\n";
  ExpectEveryReadSize(
      {{"a body line without date or header after it",
        h + "x\nFrom here on, we go.\ny\n",
        hb + "x\r\nFrom here on, we go.\r\ny\r\n"},
       {"the first line", "From x\nbody\n", S + "body\r\n"},
       {"bare, blanks only", h + "x\n\nFrom \t \nb\n",
        hb + "x\r\n" + S + "b\r\n"},
       {"dated, words in any order and case",
        h + "x\n\nFrom q 2024 10:00 MAR\nb\n", hb + "x\r\n" + S + "b\r\n"},
       {"dated with commas", h + "From a@b.c Fri, 05 Jan 2024 10:00 +0000\nb\n",
        hs + S + "b\r\n"},
       {"not dated: no year", h + "From Mon Jan 1 09:00\nb\n",
        hb + "From Mon Jan 1 09:00\r\nb\r\n"},
       {"ctime shape, no month name",
        h + "From a Mon Jam  1 09:00:00 2024\nb\n",
        hb + "From a Mon Jam  1 09:00:00 2024\r\nb\r\n"},
       {"ctime shape, no time", h + "From a Mon Jan  1 09:0a:00 2024\nb\n",
        hb + "From a Mon Jan  1 09:0a:00 2024\r\nb\r\n"},
       {"ctime shape, no year", h + "From a Mon Jan  1 09:00:00 2024x\nb\n",
        hb + "From a Mon Jan  1 09:00:00 2024x\r\nb\r\n"},
       {"one word, next line a header field", h + "From x\nSubject: y\n",
        hs + S + "Subject: y\r\n"},
       {"one word and blanks", h + "From MAILER-DAEMON \t\nSubject: y\n",
        hs + S + "Subject: y\r\n"},
       {"more words before a header field: a commit message's text",
        h + "x\nFrom the top of the file.\nSigned-off-by: a <a@b>\n",
        hb + "x\r\nFrom the top of the file.\r\nSigned-off-by: a <a@b>\r\n"},
       {"a blank before the word", h + "From  x\nSubject: y\n",
        hb + "From  x\r\nSubject: y\r\n"},
       {"next line only looks like one", h + "From x\nnot a field\n",
        hb + "From x\r\nnot a field\r\n"},
       {"case matters", h + "from x\nA: b\n", hb + "from x\r\nA: b\r\n"}},
      true);
}

TEST(MboxSource, ValidContentLengthBodiesHideTheirFromLines) {
  const std::string body = "From 09:00 Jan 2024\nA: b\n";  // 25 bytes
  ExpectEveryReadSize(
      {{"valid, then an empty line and a separator",
        "From x\nContent-Length: 25\n\n" + body + "\nFrom \nA: b\n",
        S + "Content-Length: 27\r\n\r\nFrom 09:00 Jan 2024\r\nA: b\r\n" + S +
            "A: b\r\n"},
       {"valid, a From line right after it is a separator whatever it holds",
        "From x\ncontent-length:\t25 \n\n" + body + "From nobody\nb\n",
        S + "content-length:\t27 \r\n\r\nFrom 09:00 Jan 2024\r\nA: b\r\n" + S +
            "b\r\n"},
       {"too short: ignored, the body's From line starts a message",
        "From x\nContent-Length: 3\n\n" + body,
        S + "Content-Length: 0\r\n" + S + "A: b\r\n"},
       {"too long: ignored", "From x\nContent-Length: 999\n\n" + body,
        S + "Content-Length: 0\r\n" + S + "A: b\r\n"},
       {"not a number: an ordinary line; the second field is not looked at",
        "From x\nContent-Length: 2x\nContent-Length: 5\n\nab\n",
        S + "Content-Length: 2x\r\nContent-Length: 4\r\n\r\nab\r\n"},
       {"header block never closed", "From x\nContent-Length: 1\n",
        S + "Content-Length: 0\r\n"}},
      true);
}

TEST(MboxSource, QuotingAndTheFormatsEmptyLinesAreUndone) {
  ExpectEveryReadSize(
      {{"one '>' less before From",
        "From x\n\n>From a\n>>From b\n> From c\n>From\n",
        S + "\r\nFrom a\r\n>From b\r\n> From c\r\n>From\r\n"},
       {"also before the first separator", ">From a\n", "From a\r\n"},
       {"the empty line before a separator and at the end go",
        "From x\n\na\n\n\nFrom \n\nb\n\n",
        S + "\r\na\r\n\r\n" + S + "\r\nb\r\n"},
       {"also when it closes a header block that nothing follows",
        "From x\nA: b\n\nFrom \n\n", S + "A: b\r\n" + S},
       {"and between text and the first separator", "pre\n\nFrom \n",
        "pre\r\n" + S},
       {"only one of them", "pre\n\n\nFrom \n", "pre\r\n\r\n" + S},
       {"a file without separator keeps them all", "pre\n\n", "pre\r\n\r\n"},
       {"a line that could pass for a .box separator gets one '>'",
        "pre\n" + std::string(BoxSeparator) + "\nFrom \n\n>" +
            std::string(BoxSeparator) + "x\n",
        "pre\r\n>" + S + S + "\r\n>>" + std::string(BoxSeparator) + "x\r\n"}},
      true);
}

TEST(MboxSource, EmptyLinesThatAValidContentLengthCountsAreKept) {
  const std::string d = "\x01\x01\x01\x01\n";
  const std::string h = "From x\nContent-Length: 3\n\n";
  const std::string hb = S + "Content-Length: 5\r\n\r\n";
  ExpectEveryReadSize(
      {{"before a separator", h + "a\n\nFrom y\nA: b\n",
        hb + "a\r\n\r\n" + S + "A: b\r\n"},
       {"at the end of the file", h + "a\n\n", hb + "a\r\n\r\n"},
       {"with the format's own after it", h + "a\n\n\nFrom y\n",
        hb + "a\r\n\r\n" + S},
       {"a length that stops before it leaves it the format's",
        "From x\nContent-Length: 2\n\na\n\n",
        S + "Content-Length: 3\r\n\r\na\r\n"},
       {"MMDF, before the closing line",
        d + "A: b\nContent-Length: 3\n\na\n\n" + d,
        S + "A: b\r\nContent-Length: 5\r\n\r\na\r\n\r\n"},
       {"MMDF without a length: the format's", d + "A: b\n\na\n\n" + d,
        S + "A: b\r\n\r\na\r\n"},
       {"MMDF, a header block that nothing follows", d + "A: b\n\n" + d,
        S + "A: b\r\n"}},
      true);
}

TEST(MboxSource, LoneCrIsALineEndOnlyInOldMacFiles) {
  ExpectEveryReadSize(
      {{"LF file", "From x\n\na\rb\n", S + "\r\na\rb\r\n"},
       {"CR LF file", "From x\r\n\r\na\rb\r\n", S + "\r\na\rb\r\n"},
       {"CR file", "From x\r\ra\rFrom \rb\r", S + "\r\na\r\n" + S + "b\r\n"}},
      true);
}

TEST(MboxSource, MmdfDelimitersBecomeSeparators) {
  const std::string d = "\x01\x01\x01\x01\n";
  ExpectEveryReadSize(
      {{"two messages, envelopes dropped, From lines are text",
        d +
            "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\nA: b\n\nFrom "
            "x\n>From y\n\n" +
            d + d + "A: c\n\nz\n" + d,
        S + "A: b\r\n\r\nFrom x\r\nFrom y\r\n" + S + "A: c\r\n\r\nz\r\n"},
       {"text between messages is kept",
        d + "A: b\n\nx\n" + d + "between\n" + d + "A: c\n" + d,
        S + "A: b\r\n\r\nx\r\nbetween\r\n" + S + "A: c\r\n"}},
      true);
}

TEST(BoxSource, EveryMessageEndsWithOneEmptyLineOfItsOwn) {
  ExpectEveryReadSize(
      {{"after its last line even when empty", S + "A: b\r\n\r\nx\r\n\r\n",
        kDate + std::string("A: b\n\nx\n\n\n")},
       {"a header block never closed: one empty line closes both",
        S + "A: b\r\n" + S, kDate + std::string("A: b\n\n") + kDate + "\n"},
       {"text before the first separator", "pre\r\n" + S + "\r\n",
        "pre\n\n" + std::string(kDate) + "\n\n"},
       {"even when it ends empty", "pre\r\n\r\n" + S,
        "pre\n\n\n" + std::string(kDate) + "\n"},
       {"lines quoted before the .box separator's bytes lose one '>'",
        S + "A: b\r\n\r\n>" + std::string(BoxSeparator) + "\r\n>>" +
            std::string(BoxSeparator) + "x\r\n>From x\r\n",
        kDate + std::string("A: b\n\n") + std::string(BoxSeparator) + "\n>" +
            std::string(BoxSeparator) + "x\n>>From x\n\n"},
       {"no separator: lines and quoting only", "a\r\nFrom b\r\n",
        "a\n>From b\n"},
       {"Content-Length states the body as written",
        S + "Content-length:  7\r\n\r\nFrom a\r\n" + S +
            "Content-Length: 1\r\n",
        kDate + std::string("Content-length:  8\n\n>From a\n\n") + kDate +
            "Content-Length: 0\n\n"}},
      false);
}

TEST(RoundTrip, BoxToMboxAndBackGivesTheSameBytes) {
  const std::string box = S +
                          "Date: Sat, 3 Feb 2001 04:05:06 +0000\r\n"
                          "Content-Length: 99\r\n\r\nFrom x\r\n>From y\r\n"
                          "\r\n\r\n" +
                          S + "A: b\r\n\r\n" + S + "\r\n";
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{1} << 20}) {
    const std::string mbox = Convert(box, false, chunk);
    const std::string back = Convert(mbox, true, chunk);
    const std::string box_with_length =
        S +
        "Date: Sat, 3 Feb 2001 04:05:06 +0000\r\nContent-Length: 21\r\n\r\n"
        "From x\r\n>From y\r\n\r\n\r\n" +
        S + "A: b\r\n\r\n" + S + "\r\n";
    EXPECT_EQ(back, box_with_length) << chunk;
    EXPECT_EQ(Convert(back, false, chunk), mbox) << chunk;
  }
}

}  // namespace
}  // namespace quillet
