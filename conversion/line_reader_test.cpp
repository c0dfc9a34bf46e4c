// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/line_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {
namespace {

// Serves bytes from memory, never more than `chunk` at a time, and checks
// that nobody reads on after it said the file had ended.
class MemoryInput : public InputFile {
 public:
  explicit MemoryInput(std::string bytes) : bytes_(std::move(bytes)) {}
  qint64 Read(char* data, qint64 max) override {
    EXPECT_FALSE(ended_) << "read after the end of the file";
    const qint64 n =
        std::min<qint64>(max, static_cast<qint64>(bytes_.size() - pos_));
    std::copy_n(bytes_.data() + pos_, n, data);
    pos_ += static_cast<std::size_t>(n);
    if (n == 0) ended_ = true;
    return n;
  }
  qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
    const auto from =
        std::min<std::size_t>(static_cast<std::size_t>(offset), bytes_.size());
    const qint64 n =
        std::min<qint64>(max, static_cast<qint64>(bytes_.size() - from));
    std::copy_n(bytes_.data() + from, n, data);
    return n;
  }
  bool Close() override { return true; }
  FileError Error() const override { return {}; }

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
  bool ended_ = false;
};

struct ReadLine {
  std::string text;
  LineEnd end;
  qint64 length;
  bool operator==(const ReadLine&) const = default;
};

std::vector<ReadLine> ReadAll(const std::string& bytes, std::size_t chunk) {
  MemoryInput input(bytes);
  LineReader reader(input, chunk);
  std::vector<ReadLine> lines;
  while (reader.ReadMailboxLine()) {
    std::string text;
    std::string_view piece;
    while (reader.NextPiece(&piece)) text += piece;
    lines.push_back({text, reader.line_end(), reader.line_length()});
  }
  EXPECT_FALSE(reader.failed());
  return lines;
}

class LineModel : public ::testing::TestWithParam<std::size_t> {};

TEST_P(LineModel, CrLfAndLfEndLinesAndALoneCrOnlyWhereItCameFirst) {
  // The file's first CR or LF is a CR LF: a lone CR is a byte of its line.
  const std::vector<ReadLine> lf_file = {{"a", LineEnd::kCrLf, 1},
                                         {"bb\rccc", LineEnd::kLf, 6},
                                         {"", LineEnd::kLf, 0},
                                         {"d\r", LineEnd::kNone, 2}};
  EXPECT_EQ(ReadAll("a\r\nbb\rccc\n\nd\r", GetParam()), lf_file);
  // The first is a lone CR: an old Mac file, where a lone CR ends lines.
  const std::vector<ReadLine> cr_file = {{"a", LineEnd::kCr, 1},
                                         {"bb", LineEnd::kCrLf, 2},
                                         {"ccc", LineEnd::kLf, 3},
                                         {"d", LineEnd::kCr, 1}};
  EXPECT_EQ(ReadAll("a\rbb\r\nccc\nd\r", GetParam()), cr_file);
}

TEST_P(LineModel, LfAfterLoneCrIsAnEmptyLineNotPartOfIt) {
  // "\r\r\n": a lone CR, then a CR LF pair.
  const std::vector<ReadLine> expected = {
      {"x", LineEnd::kCr, 1}, {"", LineEnd::kCrLf, 0}, {"", LineEnd::kLf, 0}};
  EXPECT_EQ(ReadAll("x\r\r\n\n", GetParam()), expected);
}

TEST_P(LineModel, EmptyFileHasNoLinesAndFinalLineEndOpensNone) {
  EXPECT_TRUE(ReadAll("", GetParam()).empty());
  EXPECT_EQ(ReadAll("a\r\n", GetParam()).size(), 1u);
  EXPECT_EQ(ReadAll("\r", GetParam()),
            (std::vector<ReadLine>{{"", LineEnd::kCr, 0}}));
}

TEST_P(LineModel, NulAndHighBytesPassUntouched) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    if (b != '\r' && b != '\n') all += static_cast<char>(b);
  }
  const auto lines = ReadAll(all + "\r\n" + all, GetParam());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, all);
  EXPECT_EQ(lines[1].text, all);
  EXPECT_EQ(lines[1].length, 254);
}

TEST_P(LineModel, HeadPeeksWithoutTakingAndStopsAtLineEnd) {
  MemoryInput input("From me\r\nFr\r\n");
  LineReader reader(input, GetParam());
  ASSERT_TRUE(reader.ReadMailboxLine());
  EXPECT_EQ(reader.Head(5), "From ");
  EXPECT_EQ(reader.Head(14), "From me");
  reader.Skip(2);
  EXPECT_EQ(reader.Head(3), "om ");
  EXPECT_EQ(reader.line_length(), 2);
  ASSERT_TRUE(reader.ReadMailboxLine());  // the rest of line 1 is skipped
  EXPECT_EQ(reader.Head(14), "Fr");
  std::string_view piece;
  ASSERT_TRUE(reader.NextPiece(&piece));
  EXPECT_EQ(piece, "Fr");
  EXPECT_FALSE(reader.NextPiece(&piece));
  EXPECT_EQ(reader.Head(5), "");  // nothing of the next line leaks in
  EXPECT_FALSE(reader.ReadMailboxLine());
}

TEST_P(LineModel, LookAheadSeesFollowingBytesWithoutTakingThem) {
  MemoryInput input("sep\r\nDate: x\r\n\r\nbody");
  LineReader reader(input, GetParam());
  ASSERT_TRUE(reader.ReadMailboxLine());
  std::string_view piece;
  while (reader.NextPiece(&piece)) {
  }
  EXPECT_EQ(reader.LookAhead(1000), "Date: x\r\n\r\nbody");
  EXPECT_EQ(reader.LookAhead(4), "Date");
  ASSERT_TRUE(reader.ReadMailboxLine());
  EXPECT_EQ(reader.Head(14), "Date: x");
}

INSTANTIATE_TEST_SUITE_P(ReadChunks, LineModel,
                         ::testing::Values(1, 2, 3, 7, 64, 1 << 20));

TEST(LineReaderMemory, LongLineIsStreamedInPieces) {
  const std::string line(3 << 20, 'x');
  MemoryInput input(line + "\nnext\n");
  LineReader reader(input, 4096);
  ASSERT_TRUE(reader.ReadMailboxLine());
  std::string_view piece;
  std::size_t biggest = 0;
  while (reader.NextPiece(&piece)) biggest = std::max(biggest, piece.size());
  EXPECT_EQ(reader.line_length(), 3 << 20);
  // Pieces never exceed what one read brings in (plus a little slack).
  EXPECT_LE(biggest, 4096u + 64u);
  ASSERT_TRUE(reader.ReadMailboxLine());
  EXPECT_EQ(reader.Head(10), "next");
}

TEST(FindLineBreak, FindsFirstCrOrLfAtEveryOffset) {
  for (std::size_t at = 0; at < 40; ++at) {
    for (char brk : {'\r', '\n'}) {
      std::string s(40, 'a');
      s[at] = brk;
      if (at + 3 < s.size()) s[at + 3] = '\n';
      EXPECT_EQ(FindLineBreak(s.data(), s.data() + s.size()), s.data() + at);
    }
  }
  const std::string none(33, 'z');
  EXPECT_EQ(FindLineBreak(none.data(), none.data() + none.size()),
            none.data() + none.size());
}

}  // namespace
}  // namespace quillet

namespace quillet {
namespace {

// What PlainCrLfRun must return, the slow and obvious way.
std::size_t ExpectedRun(const std::string& s, char first) {
  std::size_t run = 0;
  std::size_t pos = 0;
  while (pos < s.size() && s[pos] != first) {
    const std::size_t lf = s.find('\n', pos);
    if (lf == std::string::npos || lf == pos || s[lf - 1] != '\r') break;
    pos = run = lf + 1;
  }
  return run;
}

TEST(PlainCrLfRun, MatchesTheObviousRuleOnRandomText) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'F', '\r', '\n', 'b', 'c', 'd', 'e'};
  for (int round = 0; round < 20000; ++round) {
    const std::size_t size = random() % 200;  // several 32-byte blocks
    // Mostly ordinary CR LF lines, sometimes anything.
    std::string s;
    while (s.size() < size) {
      if (random() % 4 != 0) {
        s += std::string(random() % 20, 'x') + "\r\n";
      } else {
        s += alphabet[random() % sizeof alphabet];
      }
    }
    ASSERT_EQ(PlainCrLfRun(s.data(), s.data() + s.size(), "F"),
              ExpectedRun(s, 'F'))
        << ::testing::PrintToString(s);
  }
}

// Each line end in `s` made `end` (LF or CR LF): how CopyLinesToLf and
// CopyLinesToCrLf write lines.
std::string WithLineEnds(std::string_view s, std::string_view end) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    if (s[i] == '\n') {
      out += end;
    } else {
      out += s[i];
    }
  }
  return out;
}

TEST(CopyLinesWide, CopiesWholeLinesUpToTheFirstItMayNotTake) {
  struct Case {
    const char* name;
    LfCopy (*copy)(const char*, const char*, char*, char*, const ByteSet&);
    std::string_view end;
    std::size_t store_room;  // bytes left before the room's end to store
    std::size_t out_per_in;  // the most bytes written per byte read
  };
  const Case kCases[] = {{"to LF", CopyLinesToLf, "\n", 32, 1},
                         {"to CR LF", CopyLinesToCrLf, "\r\n", 33, 2}};
  const std::string probe =
      std::string(100, 'x') + "\r\n" + std::string(40, 'y') + "\r\n";
  std::string sink(probe.size() + 64, '\0');
  if (CopyLinesToLf(probe.data(), probe.data() + probe.size(), sink.data(),
                    sink.data() + sink.size(), "F")
          .next == probe.data()) {
    GTEST_SKIP() << "this processor has no wide copy";
  }
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(11);
    const char alphabet[] = {'a', 'F', '>', '\r', '\n', 'b'};
    constexpr char kCanary = '\x7f';
    for (int round = 0; round < 20000; ++round) {
      const std::size_t size = random() % 300;
      std::string s;
      while (s.size() < size) {
        if (random() % 4 != 0) {
          s += std::string(random() % 70, 'x') +
               (random() % 2 == 0 ? "\n" : "\r\n");
        } else {
          s += alphabet[random() % sizeof alphabet];
        }
      }
      if (s.empty() || s[0] == 'F') s.insert(0, "x");
      const std::size_t room = random() % (s.size() + 40);
      std::string out(room + 64, kCanary);
      const char* const begin = s.data();
      const char* const end = begin + s.size();
      const LfCopy copy =
          c.copy(begin, end, out.data(), out.data() + room, "F");
      const auto taken = static_cast<std::size_t>(copy.next - begin);
      const auto written = static_cast<std::size_t>(copy.written - out.data());
      const std::string_view lines(begin, taken);
      SCOPED_TRACE(::testing::PrintToString(s));
      ASSERT_TRUE(taken == 0 || s[taken - 1] == '\n');
      ASSERT_EQ(std::string_view(out.data(), written),
                WithLineEnds(lines, c.end));
      ASSERT_EQ(out.find_first_not_of(kCanary, room), std::string::npos);
      std::size_t lone = 0;
      for (std::size_t i = 0; i < taken; ++i) {
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) ++lone;
      }
      ASSERT_EQ(copy.lf_lines, static_cast<qint64>(lone));
      if (taken > 0) {
        ASSERT_EQ(copy.last_crlf, taken >= 2 && s[taken - 2] == '\r');
      }
      // The line it stopped before begins with a byte it may not take, or
      // its end lies too close to the end of the input or, at the most
      // output the input before it can make, to the end of the room.
      if (taken < s.size() && s[taken] != '>' && s[taken] != 'F') {
        const std::size_t lf = s.find('\n', taken);
        ASSERT_TRUE(lf == std::string::npos || lf + 32 > s.size() ||
                    c.out_per_in * lf + c.store_room > room)
            << taken;
      }
    }
  }
}

TEST(PlainCrLfRun, StopsBeforeTheLineThatBreaksTheRule) {
  const std::string lines = "abc\r\n\r\n" + std::string(40, 'y') + "\r\n";
  const auto run = [](const std::string& s) {
    return PlainCrLfRun(s.data(), s.data() + s.size(), "F");
  };
  EXPECT_EQ(run(lines), lines.size());
  EXPECT_EQ(run(lines + "From x\r\n"), lines.size());
  EXPECT_EQ(run(lines + "lone LF\nx\r\n"), lines.size());
  EXPECT_EQ(run(lines + "lone CR\rx\r\n"), lines.size() + 11);  // a byte
  EXPECT_EQ(run(lines + "no line end"), lines.size());
  EXPECT_EQ(run(lines + "CR at the end\r"), lines.size());
  EXPECT_EQ(run("From x\r\n" + lines), 0u);
  EXPECT_EQ(run(lines + "xFx\r\n"), lines.size() + 5);  // F not at a start
}

}  // namespace
}  // namespace quillet
