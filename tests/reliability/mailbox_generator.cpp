// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/reliability/mailbox_generator.h"

#include <array>
#include <string_view>

#include "conversion/mailbox_format.h"
#include "tests/support/random.h"

namespace quillet::reliability {
namespace {

using testing::Random;

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

// Forms real mail carries that a reader must take as Python's
// email.utils.parsedate_to_datetime does: two-digit years on both sides of
// the 1969/2068 turn, military and unknown zones, comments, a wrong or
// missing weekday, missing seconds, letters in any case.
constexpr std::array<std::string_view, 24> kRealDates = {
    "Wed, 3 Jan 24 01:02 GMT",
    "1 Jan 99 10:00 PDT",
    "01 Jan 69 00:00 +0000",
    "1 Jan 68 00:00 +0000",
    "1 Jan 70 00:00 -0000",
    "Thu, 4 Jan 2024 05:06:07 A",
    "Thu, 4 Jan 2024 05:06:07 Z",
    "5 Jan 2024 10:00:00 M",
    "5 Jan 2024 10:00:00 XYZ",
    "Mon, 5 Jan 2024 10:00:00 +0100",
    "5 Jan 2024 10:00 EST",
    "Tue, 2 Jan 2024 10:00:00 CDT",
    "Jan 5 2024 10:00:00 MST",
    "2 Jan 2024 10:00 UT",
    "5 Jan 2024 10:00:00 -0330",
    "Fri, 5 Jan 2024 10:00:00 +0100 (CET) (more)",
    "FRI, 5 JAN 2024 10:00:00 +0000",
    "Sat, 1 Jan 2000 00:30:00 +0100",
    "(comment) Fri, 5 Jan 2024 10:00:00 +0100",
    "Fri, 5 Jan 2024 10:00:00 +0100 (C\\E(T))",
    "Fri , 5 Jan 2024 10:00:00 +0100",
    "5 Jan 2024 10:00:00 ADT",
    "1 Jan 101 10:00:00 Z",
    "Sun, 31 Dec 9999 23:00:00 -0100",
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
  if (r.OneIn(3)) return std::string(r.Pick(kRealDates));
  if (r.OneIn(2)) return std::string(r.Pick(kDates));
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
    case 14:
      return "Content-Length: " + Number(r.Below(r.OneIn(2) ? 10 : 300));
    case 15:
      return "Received: x; " + RandomDate(r);
    case 16:
      return "\x01\x01\x01\x01";
    case 17:
      return "From x Mon Jan  1 09:00:00 2024";
    default:
      return Words(r);
  }
}

constexpr std::string_view kMmdfLine = "\x01\x01\x01\x01";

// Writes lines with the line ends of one style: CR LF, LF, CR or a mix.
// With `stray_cr`, now and then a lone CR byte goes inside a line (never
// into the first line, so the file keeps its style).
class LineWriter {
 public:
  LineWriter(Random& r, std::size_t style, bool stray_cr)
      : r_(r), style_(style), stray_cr_(stray_cr) {}
  void Line(std::string_view text) {
    std::string line(text);
    if (stray_cr_ && !out.empty() && r_.OneIn(6)) {
      line.insert(r_.Below(line.size() + 1), 1, '\r');
    }
    out += line;
    static constexpr std::array<std::string_view, 3> kEnds = {"\r\n", "\n",
                                                              "\r"};
    out += style_ < 3 ? kEnds[style_] : kEnds[r_.Below(3)];
  }
  std::string out;

 private:
  Random& r_;
  std::size_t style_;
  bool stray_cr_;
};

std::string MboxSeparatorLine(Random& r) {
  if (r.OneIn(300)) {  // longer than any look-ahead window
    const std::string fill(65536 + r.Below(64), r.OneIn(2) ? ' ' : 'p');
    return r.OneIn(2) ? "From " + fill
                      : "From x " + fill + " Mon Jan  1 09:00:00 2024";
  }
  static constexpr std::array<std::string_view, 14> kSeparators = {
      "From ",
      "From  \t ",
      "From - Mon Jan  1 09:00:00 2024",
      "From MAILER-DAEMON Thu Jan  1 00:00:00 1970",
      "From a@b.c Fri, 05 Jan 2024 10:00 +0000",
      "From x 2024 jan 9:05",
      "From alice@example.com Sat Jan  6 09:00:00 2024",
      "From bob@example.org  Tue Feb 29 23:59:59 2000 remote from x",
      "From ,DEC,12:00,1999,",
      // Undated: separators only where a header field follows.
      "From nobody",
      "From bob@example.org",
      "From - Mon Jan 1 9:00 24",
      "From - Mon Jan 1 9:0:00 2024",
      "From me at 10:00 on Jan 5",
  };
  return std::string(r.Pick(kSeparators));
}

std::string ReceivedField(Random& r, std::string* folded) {
  switch (r.Below(5)) {
    case 0:
      return "Received: from a by b; " + RandomDate(r);
    case 1:
      return "Received: from a by b id 1";
    case 2:
      *folded = "\tby b; " + RandomDate(r);
      return "Received: from a";
    case 3:
      return "received : from a; by b; " + RandomDate(r);
    default:
      return "Received: from a;" + std::string(r.OneIn(2) ? "" : " garbage");
  }
}

// A body line of the kinds the separator and quoting rules look at.
std::string BodyLine(Random& r, bool box_shaped, std::string* header_like) {
  switch (r.Below(16)) {
    case 0:
      return "From here on, every paragraph starts with From.";
    case 1:
      // Would be a separator by its next line, outside a counted body.
      *header_like = "X-Y: " + Words(r);
      return "From " + Words(r);
    case 2:
      return "From b Mon Jan  1 09:00:00 2024";
    case 3:
      return "From ";
    case 4:
    case 5:
      return std::string(1 + r.Below(r.OneIn(8) ? 200 : 3), '>') + "From " +
             Words(r);
    case 6:
    case 7:
      return {};
    case 8:
      return "Content-Length: " + Number(r.Below(40));
    case 9:
      return box_shaped || r.OneIn(2) ? std::string(kMmdfLine)
                                      : std::string(BoxSeparator);
    case 10:
      return RandomBytes(r, r.Below(30), false);
    case 11:
      return "Date: " + RandomDate(r);
    default:
      return Words(r);
  }
}

// One message: separator, header block (maybe never closed) with Date,
// Received and Content-Length fields of many kinds, a body with "From "
// and quoted lines, and empty lines after it.
void AppendMessage(Random& r, LineWriter& w, bool box_shaped, bool mmdf) {
  if (mmdf) {
    w.Line(kMmdfLine);
    if (!r.OneIn(3))
      w.Line("From MAILER-DAEMON " + std::string(r.Pick(kDates)));
  } else if (box_shaped) {
    std::string separator(BoxSeparator);
    if (r.OneIn(4)) separator += RandomBytes(r, r.Below(10), false);
    w.Line(separator);
  } else {
    w.Line(MboxSeparatorLine(r));
  }

  // The Content-Length field: its name, the blanks around its value and
  // how its value relates to the body that follows.
  enum Length { kNone, kExact, kWithEmptyLine, kShort, kLong, kText };
  const Length length =
      r.OneIn(2) ? kNone : static_cast<Length>(1 + r.Below(5));
  static constexpr std::array<std::string_view, 5> kLengthNames = {
      "Content-Length: ", "content-length:", "CONTENT-LENGTH:\t",
      "Content-Length:  ", "Content-length: "};
  const std::string length_name(r.Pick(kLengthNames));
  const bool leading_zero = r.OneIn(6);
  const std::string length_tail = r.OneIn(5) ? " \t" : "";
  std::size_t length_at = std::string::npos;

  const std::size_t fields = r.Below(6);
  const std::size_t length_index = r.Below(fields + 1);
  for (std::size_t f = 0; f <= fields; ++f) {
    if (f == length_index && length != kNone) {
      if (length == kText) {
        w.Line(length_name + (r.OneIn(2) ? "x" + Number(r.Below(9)) : "12 b"));
        if (r.OneIn(2)) continue;
        // A second one, which is the one that counts.
        w.Line(length_name + Number(r.Below(60)));
        continue;
      }
      w.Line(length_name);
      length_at = w.out.size() - (w.out.ends_with("\r\n") ? 2 : 1);
      if (r.OneIn(5)) w.Line("Content-Length: " + Number(r.Below(60)));
      continue;
    }
    if (f == fields) break;
    std::string folded;
    std::string field;
    switch (r.Below(8)) {
      case 0:
      case 1:
        field = std::string(r.Pick(kDateNames)) + RandomDate(r);
        if (r.OneIn(4)) folded = r.OneIn(2) ? " (comment)" : "\t+0200";
        break;
      case 2:
      case 3:
        field = ReceivedField(r, &folded);
        break;
      case 4:
        field = "Subject: " + Words(r);
        break;
      case 5:
        field = "From: a@b.c";
        break;
      case 6:
        if (r.OneIn(60)) {  // a bounce's header: far past any look-ahead
          for (int hop = 0; hop < 1200; ++hop) {
            w.Line("X-Hop: " + std::string(55, 'h'));
          }
        }
        field = r.OneIn(40)
                    ? "X-Pad: " + std::string(65536 - 80 + r.Below(90), 'p')
                    : "X-H: " + Words(r);
        break;
      default:
        field = r.OneIn(3) ? ">From x" : "To: c@d.e";
    }
    w.Line(field);
    if (!folded.empty()) w.Line(folded);
  }
  const bool closed = !r.OneIn(7);
  if (closed) w.Line("");

  const std::size_t body_start = w.out.size();
  const std::size_t lines = r.Below(r.OneIn(4) ? 2 : 8);
  for (std::size_t i = 0; i < lines; ++i) {
    std::string header_like;
    w.Line(BodyLine(r, box_shaped, &header_like));
    if (!header_like.empty()) w.Line(header_like);
  }
  std::size_t body = w.out.size() - body_start;
  const std::size_t empty_lines = r.Below(3);
  for (std::size_t i = 0; i < empty_lines; ++i) {
    w.Line("");
    if (i == 0 && length == kWithEmptyLine) body = w.out.size() - body_start;
  }
  if (mmdf && !r.OneIn(6)) {
    w.Line(kMmdfLine);
    if (r.OneIn(4)) w.Line(Words(r));  // text between messages
  }

  if (length_at != std::string::npos) {
    std::size_t value = body;
    if (length == kShort) value = body > 0 ? r.Below(body) : 1;
    if (length == kLong) value = body + 1 + r.Below(2000);
    std::string digits = (leading_zero ? "0" : "") + Number(value);
    w.out.insert(length_at, digits + length_tail);
  }
}

// A mailbox made of messages, in the shapes the rules of real mailboxes
// are about.
std::string StructuredMailbox(Random& r, bool box_shaped) {
  const std::size_t style = r.Below(8) % 5;  // CR LF and LF more often
  const std::size_t line_style = style == 3 ? 0 : style == 4 ? 1 : style;
  const bool mixed = r.OneIn(8);
  LineWriter w(r, mixed ? 3 : line_style, line_style != 2 && r.OneIn(3));
  const bool mmdf = !box_shaped && r.OneIn(6);
  if (!mmdf && r.OneIn(5)) {  // text before the first separator
    const std::size_t lines = 1 + r.Below(3);
    for (std::size_t i = 0; i < lines; ++i) {
      std::string header_like;
      w.Line(BodyLine(r, box_shaped, &header_like));
      if (!header_like.empty()) w.Line(header_like);
    }
  }
  const std::size_t messages = r.Below(7);
  for (std::size_t m = 0; m < messages; ++m) {
    AppendMessage(r, w, box_shaped, mmdf);
  }
  if (r.OneIn(6)) {
    while (!w.out.empty() && (w.out.back() == '\n' || w.out.back() == '\r')) {
      w.out.pop_back();
    }
  }
  return w.out;
}

}  // namespace

std::string GenerateMailbox(std::uint64_t seed, bool box_shaped) {
  Random r(seed * 2654435761u + (box_shaped ? 1 : 0));
  // Now and then nothing but raw bytes: line ends of every kind anywhere.
  if (r.OneIn(25)) return RandomBytes(r, r.Below(400), true);
  if (!r.OneIn(3)) return StructuredMailbox(r, box_shaped);

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

std::string GenerateRoundTripBox(std::uint64_t seed) {
  Random r(seed * 0x9E3779B97F4A7C15ull + 7);
  // Lines that end in no CR and are no separator.
  static constexpr std::array<std::string_view, 17> kBodyLines = {
      "",
      "",
      ">\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S",
      ">>\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11Stail",
      "From the top of the file it now reads every line.",
      "From here on, every paragraph starts with From.",
      "From ",
      ">From x",
      ">>From y",
      ">>>>From ",
      "From - Mon Jan  1 09:00:00 2024",
      "Content-Length: 7",
      "\x01\x01\x01\x01",
      "a\rb",
      ">",
      "From x",
      "X-Y: z",
  };
  std::string box;
  // Text before the first separator: any body lines but a Control-A line
  // first, which would make the mbox read as MMDF, or a lone CR before the
  // first line end, which would make a lone CR end lines.
  if (r.OneIn(4)) {
    for (std::size_t i = 1 + r.Below(3); i > 0; --i) {
      std::string_view line = r.Pick(kBodyLines);
      if ((box.empty() && line == "\x01\x01\x01\x01") || line == "a\rb") {
        line = "pre";
      }
      box += std::string(line) + "\r\n";
    }
  }
  const std::size_t messages = 1 + r.Below(6);
  for (std::size_t m = 0; m < messages; ++m) {
    box += BoxSeparator;
    box += "\r\n";
    // A message of header lines only, its block never closed.
    const bool bodiless = r.OneIn(6);
    std::string header;
    const std::size_t fields = r.Below(6);
    const bool length = r.OneIn(2);
    const std::size_t length_index = r.Below(fields + 1);
    std::size_t length_at = std::string::npos;
    for (std::size_t f = 0; f <= fields; ++f) {
      if (f == length_index && length) {
        header += r.OneIn(2) ? "Content-Length: " : "content-length:\t";
        length_at = header.size();
        header += "\r\n";
      }
      if (f == fields) break;
      std::string folded;
      switch (r.Below(6)) {
        case 0:
        case 1:
          header += "Date: " + RandomDate(r);
          break;
        case 2:
          header += ReceivedField(r, &folded);
          break;
        case 3:
          header += r.OneIn(50)
                        ? "X-Pad: " + std::string(65536 + r.Below(90), 'p')
                        : "Subject: " + Words(r);
          break;
        case 4:
          header += r.OneIn(3) ? "From x" : "From: a@b.c";
          break;
        default:
          header += "X-H: " + Words(r);
          folded = r.OneIn(3) ? "\t" + Words(r) : "";
      }
      header += "\r\n";
      if (!folded.empty()) header += folded + "\r\n";
    }
    if (bodiless) {
      if (length_at != std::string::npos) header.insert(length_at, "0");
      box += header;
      continue;
    }
    header += "\r\n";
    std::string body;
    const std::size_t lines = r.Below(7);
    for (std::size_t i = 0; i < lines; ++i) {
      body += r.OneIn(4) ? Words(r) : std::string(r.Pick(kBodyLines));
      body += "\r\n";
    }
    if (length_at != std::string::npos) {
      header.insert(length_at, Number(body.size()));
    }
    box += header + body;
  }
  return box;
}

std::string GenerateRoundTripMmdf(std::uint64_t seed) {
  Random r(seed * 0xD1B54A32D192ED03ull + 11);
  static constexpr std::string_view kDelimiter = "\x01\x01\x01\x01\n";
  static constexpr std::array<std::string_view, 10> kBodyLines = {
      "",
      "",
      "From x",
      ">From y",
      ">>From z",
      "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S",
      ">\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11Sx",
      "From the top of the file it now reads every line.",
      "Signed-off-by: A <a@b.c>",
      "X-Y: z",
  };
  std::string mmdf;
  for (std::size_t m = 1 + r.Below(5); m > 0; --m) {
    mmdf += kDelimiter;
    if (r.OneIn(2)) mmdf += "From MAILER-DAEMON Mon Jan  1 09:00:00 2024\n";
    std::string header = "Date: " + RandomDate(r) + "\n";
    if (r.OneIn(3)) header += "Subject: " + Words(r) + "\n";
    if (r.OneIn(6)) {  // header lines only
      mmdf += header + std::string(kDelimiter);
      continue;
    }
    std::string body;
    for (std::size_t i = r.Below(6); i > 0; --i) {
      body += std::string(r.Pick(kBodyLines)) + "\n";
    }
    // NeoMutt writes no empty line of its own before the closing line and
    // counts the body's last empty line; Python writes one and counts
    // only the body.
    const bool own_empty_line = r.OneIn(2);
    if (r.OneIn(3) || !body.empty()) {
      header += "Content-Length: " + Number(body.size()) + "\n";
    }
    mmdf += header + "\n" + body;
    if (own_empty_line) mmdf += "\n";
    mmdf += kDelimiter;
  }
  return mmdf;
}

}  // namespace quillet::reliability
