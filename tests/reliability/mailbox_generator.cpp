#include "tests/reliability/mailbox_generator.h"

#include <array>
#include <string_view>

#include "conversion/mailbox_format.h"

namespace quillet::reliability {
namespace {

// splitmix64, so that the bytes do not depend on the standard library.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1.
  std::size_t Below(std::size_t n) {
    return static_cast<std::size_t>(Next() % n);
  }
  bool OneIn(std::size_t n) { return Below(n) == 0; }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::string_view, 30> kDates = {
    "Mon, 1 Jan 2024 10:00:00 +0100",
    "1 Jan 2024 10:00:00 +0100",
    "Tue, 02 Jan 2024 23:59:60 -0000",
    "Wed, 3 Jan 24 01:02 GMT",
    "Thu, 4 Jan 2024 05:06:07 EST",
    "Fri, 5 Jan 2024 08:09:10 +0000 (UTC)",
    "Sat Jan  6 09:00:00 2024",
    "Sun, 7 Jan 2024 10:00:00 +0530 (IST)",
    "31 Feb 2024 10:00:00 +0000",
    "garbage",
    "",
    "   ",
    "Mon, 1 Jan 2024 10:00:00 +9999",
    "1 Jan 99 10:00 PDT",
    "1 Jan 101 10:00:00 Z",
    "(comment (nested \\) ) 1 Jan 2024 (x) 10:00:00 +0100",
    "Mon, 1 Jan 1000 00:30:00 +0100",
    "Fri, 31 Dec 9999 23:59:59 -2359",
    "1 jAN 2024 25:00:00 +0000",
    "1 Jan 2024 10:00:00 +0160",
    "Mon, 29 Feb 2021 10:00:00 +0000",
    "Thu, 29 Feb 2024 10:00:00 +0000",
    "1 Jan 2024 10:00:00 +0100 (CET) extra words here too",
    "Mon, 1 Jan 2024 10:00:00",
    "Mon,1 Jan 2024 10:00:00 +0100",
    "Dec 31 23:59:59 1999",
    "1 Jan 2024 1:2:3 +0100",
    "1 Jan 2024 10:00:00 +01000",
    "\xC4\xE3\xBA\xC3 1 Jan 2024",
    "Sat, 1 Jan 0000 00:00:00 +0000",
};

constexpr std::array<std::string_view, 13> kDateNames = {
    "Date: ",   "Date: ",      "Date: ",    "Date:", "DATE: ",
    "date:",    "Date :",      "Date\t:\t", "dAtE:", "Dated: ",
    "X-Date: ", "Date-Sent: ", "Date"};

constexpr std::array<std::string_view, 6> kMonths = {"Jan", "feb", "MAR",
                                                     "Oct", "Dec", "Xyz"};
constexpr std::array<std::string_view, 9> kZones = {
    "+0000", "-0800", "+1400", "GMT", "UT", "EDT", "(UTC)", "A", "+0060"};

std::string Number(std::uint64_t value) { return std::to_string(value); }

std::string RandomDate(Random& r) {
  if (!r.OneIn(3)) return std::string(r.Pick(kDates));
  std::string date;
  if (r.OneIn(2)) date += "Tue, ";
  date += Number(r.Below(33)) + " " + std::string(r.Pick(kMonths)) + " ";
  date += r.OneIn(4) ? Number(r.Below(100)) : Number(900 + r.Below(9200));
  date += " " + Number(r.Below(25)) + ":" + Number(10 + r.Below(50));
  if (!r.OneIn(4)) date += ":" + Number(10 + r.Below(51));
  if (!r.OneIn(5)) date += " " + std::string(r.Pick(kZones));
  return date;
}

std::string RandomBytes(Random& r, std::size_t size, bool line_ends_too) {
  // Mostly the bytes that matter to the rules, some of everything else.
  static constexpr std::string_view kInteresting(
      "From >\x10\x11S\t:Date\x00\x80\xFF\xC3\xA4", 20);
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) {
    char c;
    if (r.OneIn(3)) {
      c = kInteresting[r.Below(kInteresting.size() + 1) % kInteresting.size()];
    } else {
      c = static_cast<char>(r.Below(256));
    }
    if (!line_ends_too && (c == '\r' || c == '\n')) c = ' ';
    bytes += c;
  }
  return bytes;
}

std::string Words(Random& r) {
  static constexpr std::array<std::string_view, 8> kWords = {
      "hello", "From", "from", ">", "Date:", "the", "S", "\xE4\xBD\xA0"};
  std::string text;
  const std::size_t n = r.Below(8);
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) text += ' ';
    text += r.Pick(kWords);
  }
  return text;
}

// The text of one line (or of two, for folded fields: `folded` gets the
// continuation).
std::string RandomLine(Random& r, bool box_shaped, std::string* folded) {
  const std::string box(BoxSeparator);
  switch (r.Below(20)) {
    case 0:
    case 1:
    case 2:
      if (box_shaped == r.OneIn(4)) {  // a "From " separator
        static constexpr std::array<std::string_view, 5> kTails = {
            "", "alice@example.com Mon Jan  1 09:00:00 2024", "-",
            "MAILER-DAEMON Thu Jan  1 00:00:00 1970", " "};
        return "From " + std::string(r.Pick(kTails));
      }
      return box + (r.OneIn(3) ? RandomBytes(r, r.Below(20), false) : "");
    case 3: {  // near-separators
      static constexpr std::array<std::string_view, 12> kNear = {
          "From", "from x", ">From x", " From x", "From:x", "FROM x",
          "Fro",  "F",      "From\tx", ">",       "From",   "\x10"};
      if (r.OneIn(2)) return std::string(r.Pick(kNear));
      std::string near = box.substr(0, r.Below(box.size()));
      if (r.OneIn(2) && !near.empty()) {
        near[r.Below(near.size())] = static_cast<char>(r.Below(256));
        near += box.substr(near.size());
      }
      return near;
    }
    case 4: {  // quoted "From " lines and ">" runs
      const std::size_t quotes = r.OneIn(6) ? 50 + r.Below(200) : r.Below(6);
      return std::string(quotes, '>') + (r.OneIn(4) ? "Fro" : "From ") +
             Words(r);
    }
    case 5:
    case 6: {  // a Date field, maybe folded
      const std::string name(r.Pick(kDateNames));
      std::string date = RandomDate(r);
      if (r.OneIn(3) && date.size() > 4) {
        const std::size_t cut = 1 + r.Below(date.size() - 1);
        *folded = (r.OneIn(2) ? "\t" : " ") + date.substr(cut);
        date.resize(cut);
      }
      return name + date;
    }
    case 7:
      *folded = "\tby mx.example.org";
      return "Received: from a";
    case 8:
      return "Subject: " + Words(r);
    case 9:
    case 10:
    case 11:
      return {};
    case 12:
      return RandomBytes(r, r.Below(40), false);
    case 13:
      return std::string(100 + r.Below(3000),
                         static_cast<char>('a' + r.Below(3)));
    default:
      return Words(r);
  }
}

}  // namespace

std::string GenerateMailbox(std::uint64_t seed, bool box_shaped) {
  Random r(seed * 2654435761u + (box_shaped ? 1 : 0));
  // Now and then nothing but raw bytes: line ends of every kind anywhere.
  if (r.OneIn(25)) return RandomBytes(r, r.Below(400), true);

  const std::size_t style = r.Below(4);  // CR LF, LF, CR, mixed
  static constexpr std::array<std::string_view, 3> kEnds = {"\r\n", "\n", "\r"};
  const auto line_end = [&]() -> std::string_view {
    return style < 3 ? kEnds[style] : kEnds[r.Below(3)];
  };

  std::string mailbox;
  const std::size_t lines = r.OneIn(10) ? r.Below(3) : r.Below(60);
  bool long_line_used = false;
  for (std::size_t i = 0; i < lines; ++i) {
    std::string folded;
    std::string line = RandomLine(r, box_shaped, &folded);
    // A line that puts what follows near or past the Date look-ahead's
    // 64 KiB reach; at most one per mailbox, to keep the run short.
    if (!long_line_used && r.OneIn(150)) {
      long_line_used = true;
      line = "X-Pad: " + std::string(65536 - 60 + r.Below(80), 'p');
    }
    mailbox += line;
    mailbox += line_end();
    if (!folded.empty()) {
      mailbox += folded;
      mailbox += line_end();
    }
    const bool separator =
        line.starts_with(BoxSeparator) || line.starts_with(MboxSeparatorStart);
    if (separator && !r.OneIn(3)) {
      // A header block with a Date field somewhere in it, most of the time.
      const std::size_t before = r.Below(3);
      for (std::size_t h = 0; h < before; ++h) {
        mailbox += "X-H" + Number(h) + ": " + Words(r);
        mailbox += line_end();
      }
      std::string date_continuation;
      mailbox += std::string(r.Pick(kDateNames)) + RandomDate(r);
      if (r.OneIn(4)) date_continuation = r.OneIn(2) ? " (comment)" : "\t+0200";
      mailbox += line_end();
      if (!date_continuation.empty()) {
        mailbox += date_continuation;
        mailbox += line_end();
      }
      if (!r.OneIn(3)) {
        mailbox += "Subject: " + Words(r);
        mailbox += line_end();
      }
      if (!r.OneIn(4)) mailbox += line_end();  // closes the header block
    }
  }
  if (!mailbox.empty() && r.OneIn(4)) {
    // No line end at the end: drop the last one, or add a bare last line.
    if (r.OneIn(2)) {
      while (!mailbox.empty() &&
             (mailbox.back() == '\n' || mailbox.back() == '\r')) {
        mailbox.pop_back();
      }
    } else {
      std::string unused;
      mailbox += RandomLine(r, box_shaped, &unused);
    }
  }
  return mailbox;
}

}  // namespace quillet::reliability
