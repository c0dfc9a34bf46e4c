// SPDX-License-Identifier: GPL-3.0-or-later
// The streaming engine against the reference model, on generated mailboxes,
// in both directions, with every read size from 1 to 64 bytes, the normal
// one and short reads.

#include <gtest/gtest.h>

#include <QDate>
#include <QTime>
#include <QTimeZone>
#include <cstdlib>

#include "conversion/mailbox_format.h"
#include "tests/reliability/mailbox_generator.h"
#include "tests/reliability/memory_file_layer.h"
#include "tests/reliability/reference_model.h"
#include "tests/reliability/sanitizer_build.h"
#include "ui/text/ui_text.h"

namespace quillet::reliability {
namespace {

const std::string kBox(BoxSeparator);

// Runs `c` and reports a difference with the case that shows it.
void ExpectAgreement(const DifferentialCase& c, const std::string& label,
                     int* failures) {
  const std::string difference = CompareEngineWithModel(c);
  if (difference.empty()) return;
  ++*failures;
  std::string inputs;
  for (const std::string& mailbox : c.mailboxes) {
    inputs += "\n  input (" + std::to_string(mailbox.size()) +
              " bytes): " + Printable(mailbox, 400);
  }
  ADD_FAILURE() << label << (c.mbox_to_box ? " to .box" : " to mbox")
                << ", read size " << c.read_chunk
                << (c.short_read_seed ? ", short reads" : "") << ": "
                << difference << inputs;
}

// Counts the model's mbox separators that carry a message's own date and
// those that fell back to the run's start time.
void CountSeparators(const std::vector<std::string>& mailboxes, int* dated,
                     int* undated) {
  UiText text;
  FillUiText(text, Language::kEnglish);
  const QDateTime started(QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
  const std::string fallback = "From - " + ModelAsctime(started) + "\n";
  for (const std::string& mailbox : mailboxes) {
    const std::string out =
        ModelConvert(mailbox, false, text, 1, started).output;
    for (std::size_t at = out.find("From - "); at != std::string::npos;
         at = out.find("From - ", at + 1)) {
      if (at > 0 && out[at - 1] != '\n') continue;
      ++*(out.compare(at, fallback.size(), fallback) == 0 ? undated : dated);
    }
  }
}

// Several thousand generated runs per direction: every case once with the
// normal read size, with two small ones and with short reads.
void RunGenerated(bool mbox_to_box) {
  // QUILLET_DIFFERENTIAL_CASES=N runs more (or fewer) for a longer soak.
  std::uint64_t cases = kSanitizerBuild ? 250 : 3000;
  if (const char* env = std::getenv("QUILLET_DIFFERENTIAL_CASES")) {
    cases = std::strtoull(env, nullptr, 10);
  }
  int failures = 0;
  std::uint64_t runs = 0;
  int dated = 0;
  int undated = 0;
  for (std::uint64_t seed = 1; seed <= cases && failures < 5; ++seed) {
    DifferentialCase c;
    c.mbox_to_box = mbox_to_box;
    const std::uint64_t count = 1 + seed % 3;
    for (std::uint64_t i = 0; i < count; ++i) {
      // Mostly the source format's shape, sometimes the other one.
      const bool box_shaped = (seed + i) % 5 == 0 ? mbox_to_box : !mbox_to_box;
      c.mailboxes.push_back(GenerateMailbox(seed * 8 + i, box_shaped));
    }
    const std::string label = "seed " + std::to_string(seed);
    if (!mbox_to_box) CountSeparators(c.mailboxes, &dated, &undated);
    for (const std::size_t chunk :
         {std::size_t{1} << 20, 1 + seed % 64, 1 + (seed * 37 + 11) % 64}) {
      c.read_chunk = chunk;
      ExpectAgreement(c, label, &failures);
      ++runs;
    }
    c.read_chunk = std::size_t{1} << 20;
    c.short_read_seed = seed;
    ExpectAgreement(c, label, &failures);
    ++runs;
  }
  ::testing::Test::RecordProperty("runs", static_cast<int>(runs));
  std::printf("%llu runs compared\n", static_cast<unsigned long long>(runs));
  if (!mbox_to_box) {
    // The generator must reach both ways of dating a message, or the
    // look-ahead goes unchecked.
    std::printf("mbox separators: %d with the message's date, %d without\n",
                dated, undated);
    EXPECT_GT(dated, static_cast<int>(cases / 3));
    EXPECT_GT(undated, static_cast<int>(cases / 3));
  }
}

TEST(Differential, GeneratedMailboxesToBox) { RunGenerated(true); }

TEST(Differential, GeneratedMailboxesToMbox) { RunGenerated(false); }

// A few mailboxes through every read size: each boundary position of every
// line end, separator and quote run.
TEST(Differential, EveryReadSizeFrom1To64) {
  int failures = 0;
  const std::uint64_t last = kSanitizerBuild ? 5004 : 5012;
  for (std::uint64_t seed = 5001; seed <= last && failures < 5; ++seed) {
    for (const bool mbox_to_box : {true, false}) {
      DifferentialCase c;
      c.mbox_to_box = mbox_to_box;
      c.mailboxes = {GenerateMailbox(seed, !mbox_to_box)};
      for (std::size_t chunk = 1; chunk <= 64; ++chunk) {
        c.read_chunk = chunk;
        ExpectAgreement(c, "seed " + std::to_string(seed), &failures);
      }
    }
  }
}

// Round-trip .box mailboxes and the mbox written from them, which states
// the exact Content-Length of every body that has the field: the case of
// mutt's and Dovecot's mailboxes, where a valid length hides "From " lines.
TEST(Differential, RoundTripMailboxesAndTheirMbox) {
  UiText text;
  FillUiText(text, Language::kEnglish);
  const QDateTime started(QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
  int failures = 0;
  const std::uint64_t cases = kSanitizerBuild ? 50 : 500;
  for (std::uint64_t seed = 1; seed <= cases && failures < 5; ++seed) {
    const std::string box = GenerateRoundTripBox(seed);
    const std::string mbox = ModelConvert(box, false, text, 1, started).output;
    for (const bool mbox_to_box : {false, true}) {
      DifferentialCase c;
      c.mbox_to_box = mbox_to_box;
      c.mailboxes = {mbox_to_box ? mbox : box};
      for (const std::size_t chunk : {std::size_t{1} << 20, 1 + seed % 64}) {
        c.read_chunk = chunk;
        ExpectAgreement(c, "round-trip seed " + std::to_string(seed),
                        &failures);
      }
    }
  }
}

// A .box mailbox whose Date line ends the file `beyond` bytes past the
// look-ahead's 64 KiB reach.
std::string DateAtTheEndOfReach(std::size_t beyond) {
  const std::string date = "Date: 1 Jan 2024 00:00:00 +0000";
  return kBox + "\r\nX: " + std::string(65536 - 5 - date.size() + beyond, 'p') +
         "\r\n" + date;
}

// Date and Received fields whose folded lines end just within or just
// beyond the 64 KiB after the separator line: a field counts only whole.
TEST(Differential, FoldedFieldsAtTheEdgeOfReach) {
  int failures = 0;
  for (const std::string name : {"Date: ", "Received: x;"}) {
    const std::string head = name + "1 Jan 2024";
    const std::string fold = " 00:00:00 +0000";
    for (const int shift : {-17, -16, -15, -1, 0, 1}) {
      // With shift 0 the fold line's CR is the last byte in reach and its
      // LF the first beyond.
      const std::size_t pad =
          65536 - 3 - 2 - head.size() - 2 - fold.size() - 1 + shift;
      const std::string input = kBox + "\r\nX: " + std::string(pad, 'p') +
                                "\r\n" + head + "\r\n" + fold + "\r\n\r\nb\r\n";
      for (const std::size_t chunk :
           {std::size_t{1} << 20, std::size_t{1}, std::size_t{7}}) {
        DifferentialCase c;
        c.mbox_to_box = false;
        c.read_chunk = chunk;
        c.mailboxes = {input};
        ExpectAgreement(c, name + " shift " + std::to_string(shift), &failures);
      }
    }
  }
}

// Shapes the generator reaches only by chance, written out.
TEST(Differential, HandWrittenShapes) {
  const std::string folded_date =
      kBox +
      "\r\nReceived: a\r\n b\r\nDate: Tue, 2 Jan 2024\r\n"
      " 10:00:00 -0500 (EST)\r\n\r\n>>From x\rFrom y\n" +
      kBox + kBox + "\r\r\n\r\nbody\r\n" + kBox;
  const std::vector<std::string> shapes = {
      "",
      "\r\n",
      "\r",
      "\n",
      "\n\r",
      "From ",
      "From",
      kBox,
      kBox.substr(0, 13),
      "From a\rb\rc",
      "x\r\n" + kBox + "\r\n" + kBox + "\r\n",
      folded_date,
      kBox + "\nDate: 1 Jan 2024 10:00:00 +0100",  // the Date ends the file
      kBox + "\r\n" + std::string(300, '>') + "From x\r\n>>>\r\n",
      std::string("From \0\r\n\xFF\xFE\r\n", 12),
  };
  int failures = 0;
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    for (const bool mbox_to_box : {true, false}) {
      for (const std::size_t chunk : {std::size_t{1} << 20, std::size_t{1},
                                      std::size_t{2}, std::size_t{13}}) {
        DifferentialCase c;
        c.mbox_to_box = mbox_to_box;
        c.read_chunk = chunk;
        c.mailboxes = {shapes[i], shapes[(i + 1) % shapes.size()]};
        ExpectAgreement(c, "shape " + std::to_string(i), &failures);
      }
    }
  }
}

// Small mailboxes for each rule of real mailboxes, through every read size
// from 1 to 64, the normal one and short reads, both directions: every
// boundary of a line end, a stray CR, a Content-Length body's end, a
// separator's shape and its next line falls between two reads somewhere.
TEST(Differential, RealMailboxShapesThroughEveryReadSize) {
  const std::string ctrl_a = "\x01\x01\x01\x01";
  const std::string long_name(998, 'N');
  const struct {
    const char* name;
    std::string input;
  } shapes[] = {
      {"body From line", "From a\nS: 1\n\nFrom here on\nx\n"},
      {"bare and blank-only separators", "From \nS: 1\n\nx\nFrom \t \ny\n\n"},
      {"dated separators",
       "From a Mon Jan  1 09:00:00 2024\n\nb\nFrom x 2024 jan 9:05\nc\n"
       "From ,DEC,12:00,1999,\nd\nFrom 1 Jan 24 10:00\ne\n"},
      {"header-like next line",
       "From a\nS: 1\n\nFrom b\nX-Y:z\nFrom c\nX Y: z\nFrom d\n:z\n"},
      {"998- and 999-byte field names",
       "From a\n\nFrom b\n" + long_name + ":x\nFrom c\n" + long_name + "N:x\n"},
      {"valid Content-Length, then one empty line",
       "From a\r\nContent-Length: 23\r\n\r\nFrom b\r\nX: 1\r\n\r\nbody\r\n"
       "\r\nFrom c\r\nS: 2\r\n"},
      {"valid Content-Length right before a From line",
       "From a\nContent-Length: 12\n\nFrom x\nS: 1\nFrom y\nplain\n"},
      {"valid Content-Length at the end of the file",
       "From a\nContent-Length:  5 \n\nFrom\n\n"},
      {"Content-Length ending between CR and LF",
       "From a\r\nContent-Length: 5\r\n\r\nFrom\r\nFrom b\r\nS: 1\r\n"},
      {"Content-Length of 0", "From a\nContent-Length: 0\n\nFrom b\nS: 1\n"},
      {"lying, too long, not a number, several Content-Length fields",
       "From a\nContent-Length: x\ncontent-length: 3\nContent-Length: 2\n\n"
       "ab\nFrom b\nS: 1\nContent-Length: 99999999999999999999999\n\nq\n"
       "From c\nContent-Length: 1\n\nq\n\n\nFrom d\nX: y\n"},
      {"a separator-shaped \"From \" line inside a header block",
       "From a\nS: 1\nFrom b\nT: 2\nFrom c\n\nbody\n"},
      {"a folded Content-Length field",
       "From a\nContent-Length: 2\n 7\n\nab\nFrom b\nS: 1\n" + kBox +
           "\r\nContent-Length: 2\r\n 7\r\n\r\nab\r\n"},
      {"Content-Length in a header block never closed",
       "From a\nContent-Length: 4\nFrom b\nX: 1\nContent-Length: 4\n"},
      {"empty lines before separators and at the end",
       "From a\nS: 1\n\nb\n\n\nFrom c\nS: 2\n\nFrom d\nS: 3\n\nx\n\n"},
      {"quoting and text before the first separator",
       ">From pre\n>>From p\n\nFrom a\nS: 1\n\n>From x\n>>>From y\n>From\n"
       "From \nContent-Length: 8\n\n>From x\n\nFrom b\nS: 2\n"},
      {"no separator at all", "hello\n>From x\nFrom y\n\n"},
      {"stray CRs in an LF file", "From a\nS:\r1\n\n\rx\ry\r\nz\r"},
      {"stray CRs in a CR LF file",
       "From a\r\nS: 1\r\n\r\nx\r\r\n\ry\rFrom b\r\n"},
      {"a CR-only file", "From a\rS: 1\r\rx\rFrom b\rT: 2\r\r"},
      {"a lone CR first, then LF and CR LF",
       "From a\rS: 1\n\r\nx\rFrom b\nT: 2\r"},
      {"a CR at the very end", "From a\r"},
      {"MMDF", ctrl_a +
                   "\nFrom MAILER-DAEMON Mon Jan  1 09:00:00 2024\nS: 1\n"
                   "Content-Length: 99\n\nFrom here\n>From x\n\n" +
                   ctrl_a + "\nbetween\n" + ctrl_a + "\nS: 2\n\n" + ctrl_a +
                   "\n"},
      {"MMDF in CR LF, never closed",
       ctrl_a + "\r\nS: 1\r\nContent-Length: 9\r\n" + ctrl_a + "\r\n" + ctrl_a +
           "\r\nFrom x\r\n\r\nbody\r\n"},
      {"not MMDF", ctrl_a + " \nFrom a\nS: 1\n" + ctrl_a + "\n"},
      {".box with quoting, empty lines and Content-Length",
       "pre\r\n>From p\r\n" + kBox +
           "\r\nContent-Length: 1\r\n\r\nFrom x\r\n"
           ">From y\r\n\r\n" +
           kBox + "\r\nS: 2\r\nContent-Length:\t7 \r\n" + kBox + "\r\n\r\n"},
      {".box dates from Received",
       kBox +
           "\r\nReceived: from a\r\n\tby b; Tue, 2 Jan 2024 10:00:00 +0000\r\n"
           "\r\n" +
           kBox +
           "\r\nDate: 1 Jan 101 10:00:00 Z\r\nReceived: x; y;\r\n"
           " 5 Jan 2024 10:00 EST\r\n\r\n" +
           kBox +
           "\r\nReceived: x\r\n"
           "Received: y; 5 Jan 2024 10:00 EST\r\n"},
      {".box dates in Python's forms",
       kBox + "\r\nDate: 1 Jan 68 00:00 +0000\r\n\r\n" + kBox +
           "\r\nDate: Thu, 4 Jan 2024 05:06:07 A\r\n\r\n" + kBox +
           "\r\nDate: FRI, 5 JAN 2024 10:00:00 +0000 (x)\r\n"},
  };
  for (const auto& shape : shapes) {
    for (const bool mbox_to_box : {true, false}) {
      // One report per shape and direction: the first read size that
      // shows a difference.
      int failures = 0;
      DifferentialCase c;
      c.mbox_to_box = mbox_to_box;
      c.mailboxes = {shape.input};
      c.read_chunk = std::size_t{1} << 20;
      ExpectAgreement(c, shape.name, &failures);
      for (std::size_t chunk = 1; chunk <= 64 && failures == 0; ++chunk) {
        c.read_chunk = chunk;
        ExpectAgreement(c, shape.name, &failures);
      }
      c.short_read_seed = 7;
      if (failures == 0) ExpectAgreement(c, shape.name, &failures);
    }
  }
}

// Differences the comparison found, kept as cases of their own.

// A Date line that ends the file exactly 64 KiB after the separator line
// lies wholly within reach; the engine took the file's end there for a cut
// made by its look-ahead window and dropped the line.
TEST(DifferentialFindings, DateLineEndingTheFileAtTheEdgeOfReach) {
  int failures = 0;
  for (const std::size_t beyond : {0, 1}) {
    for (const std::size_t chunk :
         {std::size_t{1} << 20, std::size_t{1}, std::size_t{64}}) {
      DifferentialCase c;
      c.mbox_to_box = false;
      c.read_chunk = chunk;
      c.mailboxes = {DateAtTheEndOfReach(beyond)};
      ExpectAgreement(c, "beyond " + std::to_string(beyond), &failures);
    }
  }
}

// Small inputs on which the engine and the model disagreed, with the rule
// that decides for the model.
TEST(DifferentialFindings, RealMailboxRules) {
  const std::string ctrl_a = "\x01\x01\x01\x01";
  const struct {
    const char* what;
    bool mbox_to_box;
    std::string input;
  } cases[] = {
      // Only the "From " line right after an opening line is the envelope;
      // after the closing line of an empty message it is text between
      // messages and stays. The engine dropped it.
      {"MMDF: a \"From \" line after the closing line of an empty message",
       true, ctrl_a + "\n" + ctrl_a + "\nFrom x\n"},
      // The lone CR in this LF file is a byte of the Date line, so the date
      // is "Sat Jan  6 09:00:00 \r2024", which Python reads. The engine cut
      // the field at the CR and fell back to the run's start time.
      {"a lone CR inside a Date field of an LF file", false,
       kBox + "\nDate: Sat Jan  6 09:00:00 \r2024\n"},
      // "X: 1\r" is one header line, not a header line and an empty one:
      // the block goes on, and its Date counts. The engine ended the
      // header block at the CR and used the run's start time.
      {"a header line ending in a lone CR before its CR LF", false,
       kBox + "\r\nX: 1\r\r\nDate: Fri, 5 Jan 2024 10:00:00 +0100\r\n"},
      // A "From " line holding nothing but blanks is a separator whatever
      // its length (as is one with a date, or before a header field). The
      // engine never took a "From " line of more than 64 KiB for one.
      // MMDF messages end at their closing line, and only a closing line
      // takes an empty line with it; the empty-line rules of mbox do not
      // reach into MMDF. The engine dropped the empty line that ends the
      // file inside a last message never closed.
      {"MMDF: an empty line ending a message never closed", true,
       ctrl_a + "\nS: 1\n\nb\n\n"},
      {"a bare \"From \" line of 64 KiB + 1", true,
       "From a\nS: 1\n\nFrom " + std::string(65536 - 4, ' ') + "\nbody\n"},
  };
  for (const auto& finding : cases) {
    int failures = 0;
    for (const std::size_t chunk :
         {std::size_t{1} << 20, std::size_t{1}, std::size_t{5}}) {
      DifferentialCase c;
      c.mbox_to_box = finding.mbox_to_box;
      c.read_chunk = chunk;
      c.mailboxes = {finding.input};
      ExpectAgreement(c, finding.what, &failures);
    }
  }
}

// The fuzzer's first finding, under UndefinedBehaviorSanitizer: the empty
// line that closes a message was written from an empty view without data,
// and copying from a null pointer is undefined even for zero bytes.
TEST(DifferentialFindings, EmptyClosingLineAfterAPreamble) {
  int failures = 0;
  DifferentialCase c;
  c.mbox_to_box = false;
  c.read_chunk = 6;
  c.mailboxes = {"preamble\r\n\r\n" + kBox + "\r\nS: x\r\n\r\nb"};
  ExpectAgreement(c, "fuzzer input crash-e85da79a", &failures);
}

}  // namespace
}  // namespace quillet::reliability
