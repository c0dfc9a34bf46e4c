// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_BENCH_MESSAGE_MAKER_H_
#define QUILLET_BENCH_MESSAGE_MAKER_H_

// The messages make_mailbox writes: headers as real mail carries them, text
// bodies, attachments, in mbox (LF or CR LF) or .box form. Used by
// make_mailbox.cpp only.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "tests/support/random.h"

namespace quillet::bench {

constexpr std::string_view kBoxSeparator =
    "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S";
constexpr std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

enum class Format { kMboxLf, kMboxCrLf, kBox };

using testing::Random;

// Buffered output that counts bytes and separator lines.
class MailboxWriter {
 public:
  MailboxWriter(std::FILE* file, std::string_view line_end)
      : file_(file), line_end_(line_end) {
    buffer_.reserve(kFlushAt + (1 << 16));
  }
  void Add(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kFlushAt) Flush();
  }
  void Add(char c) { buffer_.push_back(c); }
  void EndLine() { Add(line_end_); }
  void Line(std::string_view text) {
    Add(text);
    EndLine();
  }
  void CountSeparator() { ++separators_; }
  bool Flush() {
    written_ += static_cast<std::int64_t>(buffer_.size());
    const bool ok =
        std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size();
    buffer_.clear();
    return ok;
  }
  std::int64_t Size() const {
    return written_ + static_cast<std::int64_t>(buffer_.size());
  }
  std::int64_t separators() const { return separators_; }

 private:
  static constexpr std::size_t kFlushAt = 4 << 20;
  std::FILE* file_;
  std::string_view line_end_;
  std::string buffer_;
  std::int64_t written_ = 0;
  std::int64_t separators_ = 0;
};

constexpr std::array<std::string_view, 7> kWeekdays = {
    "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct CivilTime {
  std::int64_t year;
  int month;  // 1..12
  int day;
  int weekday;  // 0 = Sunday
  int hour, minute, second;
};

// Seconds since 1970-01-01 UTC to calendar fields (proleptic Gregorian).
inline CivilTime ToCivil(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  CivilTime t{};
  t.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01: Thu
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe =
      (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = yoe + era * 400 + (t.month <= 2 ? 1 : 0);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

inline std::string TwoDigits(int n) {
  return std::string{static_cast<char>('0' + n / 10),
                     static_cast<char>('0' + n % 10)};
}

inline std::string Clock(const CivilTime& t) {
  return TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" +
         TwoDigits(t.second);
}

// "Mon Jan  1 09:00:00 2024"
inline std::string Asctime(const CivilTime& t) {
  std::string day = std::to_string(t.day);
  if (day.size() < 2) day.insert(0, 1, ' ');
  return std::string(kWeekdays[static_cast<std::size_t>(t.weekday)]) + " " +
         std::string(kMonths[static_cast<std::size_t>(t.month - 1)]) + " " +
         day + " " + Clock(t) + " " + std::to_string(t.year);
}

constexpr std::array<std::string_view, 24> kWords = {
    "the",      "meeting",  "report",   "attached", "please",  "review",
    "budget",   "Thursday", "invoice",  "server",   "release", "thanks",
    "regards",  "question", "schedule", "team",     "draft",   "update",
    "customer", "Grüße",    "déjà",     "naïve",    "zürich",  "概要"};
constexpr std::array<std::string_view, 10> kNames = {
    "Anna Schmidt", "John Carter", "Marie Dubois", "Li Wei",
    "Olga Petrova", "Pedro Alves", "Sara Cohen",   "Tom O'Brien",
    "Ingrid Berg",  "Kenji Sato"};
constexpr std::array<std::string_view, 6> kDomains = {
    "example.com", "mail.example.org",  "firma.example.de",
    "example.net", "lists.example.edu", "exemple.fr"};
constexpr std::array<std::string_view, 5> kZones = {"+0000", "+0100", "-0500",
                                                    "+0800", "-0730"};
constexpr std::array<int, 5> kZoneMinutes = {0, 60, -300, 480, -450};

class MessageMaker {
 public:
  MessageMaker(MailboxWriter& out, Random& random, Format format, bool plain)
      : out_(out), random_(random), format_(format), plain_(plain) {}

  void Message() {
    // 2003..2025, so that dates of every weekday and month occur.
    const std::int64_t utc =
        1041379200 +
        static_cast<std::int64_t>(random_.Below(23LL * 365 * 86400));
    Separator(utc);
    Headers(utc);
    if (random_.Percent(15)) {
      MultipartBody();
    } else {
      out_.Line("Content-Type: text/plain; charset=UTF-8");
      out_.EndLine();
      TextBody(random_.Between(1, 60));
    }
    // Most messages end in an empty line; some writers leave it out.
    if (plain_ || random_.Percent(90)) out_.EndLine();
  }

 private:
  std::string Address() {
    std::string name(random_.Pick(kNames));
    std::string local;
    for (char c : name) {
      if (c >= 'A' && c <= 'Z')
        local += static_cast<char>(c - 'A' + 'a');
      else if (c >= 'a' && c <= 'z')
        local += c;
      else if (c == ' ')
        local += '.';
    }
    return local + "@" + std::string(random_.Pick(kDomains));
  }

  void Separator(std::int64_t utc) {
    out_.CountSeparator();
    if (format_ == Format::kBox) {
      out_.Add(kBoxSeparator);
      // Foxmail sometimes keeps bytes after the 14 separator characters.
      if (!plain_ && random_.Percent(5)) out_.Add("\x01\x02");
      out_.EndLine();
      return;
    }
    out_.Line("From " + Address() + " " + Asctime(ToCivil(utc)));
  }

  void DateHeader(std::int64_t utc) {
    const std::size_t zone = random_.Below(kZones.size());
    const CivilTime t = ToCivil(utc + kZoneMinutes[zone] * 60);
    const std::string day = std::to_string(t.day);
    const std::string date =
        day + " " +
        std::string(kMonths[static_cast<std::size_t>(t.month - 1)]) + " " +
        std::to_string(t.year) + " " + Clock(t);
    const std::string weekday(kWeekdays[static_cast<std::size_t>(t.weekday)]);
    switch (random_.Below(10)) {
      case 0:  // no weekday, named zone
        if (kZoneMinutes[zone] == 0) {
          out_.Line("Date: " + date + " GMT");
          break;
        }
        [[fallthrough]];
      case 1:
      case 2:
      case 3:
        out_.Line("Date: " + weekday + ", " + date + " " +
                  std::string(kZones[zone]));
        break;
      case 4:  // trailing comment
        out_.Line("Date: " + weekday + ", " + TwoDigits(t.day) +
                  date.substr(day.size()) + " " + std::string(kZones[zone]) +
                  (kZoneMinutes[zone] == 0 ? " (UTC)" : " (CET)"));
        break;
      case 5:  // name in lower case
        out_.Line("date: " + weekday + ", " + date + " " +
                  std::string(kZones[zone]));
        break;
      case 6:  // folded
        out_.Line("Date: " + weekday + ", " + date);
        out_.Line("\t" + std::string(kZones[zone]));
        break;
      case 7:  // unparsable
        out_.Line("Date: sometime last week");
        break;
      case 8:  // missing
        break;
      default:
        out_.Line("Date: " + weekday + ", " + date + " " +
                  std::string(kZones[zone]));
        break;
    }
  }

  void Headers(std::int64_t utc) {
    const std::string from = Address();
    out_.Line("Return-Path: <" + from + ">");
    for (int hop = random_.Between(1, 3); hop > 0; --hop) {
      out_.Line("Received: from mx" + std::to_string(random_.Between(1, 99)) +
                "." + std::string(random_.Pick(kDomains)) + " (mx." +
                std::string(random_.Pick(kDomains)) + " [192.0.2." +
                std::to_string(random_.Between(1, 254)) + "])");
      out_.Line("\tby mail." + std::string(random_.Pick(kDomains)) +
                " with ESMTPS id " +
                std::to_string(random_.Next() % 1000000007) + ";");
      out_.Line("\t" + Asctime(ToCivil(utc)) + " +0000");
    }
    DateHeader(utc);
    out_.Line("From: " + std::string(random_.Pick(kNames)) + " <" + from + ">");
    out_.Line("To: " + Address());
    if (random_.Percent(30)) out_.Line("Cc: " + Address() + ", " + Address());
    if (random_.Percent(20)) {
      out_.Line("Subject: =?UTF-8?B?" + Base64Chars(random_.Between(16, 60)) +
                "?=");
    } else {
      out_.Line("Subject: " + Words(random_.Between(2, 9)));
    }
    out_.Line("Message-ID: <" + std::to_string(random_.Next()) + "@" +
              std::string(random_.Pick(kDomains)) + ">");
    out_.Line("MIME-Version: 1.0");
    if (random_.Percent(25)) out_.Line("X-Mailer: Example Mail 7.2");
  }

  std::string Words(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      if (i > 0) text += ' ';
      text += random_.Pick(kWords);
    }
    return text;
  }

  std::string Base64Chars(int count) {
    std::string text;
    text.reserve(static_cast<std::size_t>(count));
    std::uint64_t bits = 0;
    int left = 0;
    for (int i = 0; i < count; ++i) {
      if (left == 0) {
        bits = random_.Next();
        left = 10;
      }
      text += kBase64[bits & 63];
      bits >>= 6;
      --left;
    }
    return text;
  }

  void TextLine() {
    const std::uint64_t kind = random_.Below(100);
    if (kind < 12) {
      out_.EndLine();  // paragraph break
    } else if (kind < 20) {
      out_.Line("> " + Words(random_.Between(1, 12)));
    } else if (kind < 22) {
      out_.Line(Words(random_.Between(60, 400)));  // unwrapped paragraph
    } else if (!plain_ && kind == 22) {
      out_.Line(">From " + Words(random_.Between(1, 8)));
    } else if (!plain_ && kind == 23 && random_.Percent(25)) {
      out_.Line(">>From the archive: " + Words(3));
    } else if (!plain_ && kind == 24 && random_.Percent(10)) {
      // Left unquoted, as mutt and Dovecot write it: no date, no header
      // field after it, so it is body text to every mbox reader.
      out_.Line("From here on " + Words(random_.Between(1, 6)));
    } else {
      out_.Line(Words(random_.Between(1, 13)));
    }
  }

  void TextBody(int lines) {
    for (int i = 0; i < lines; ++i) TextLine();
  }

  void MultipartBody() {
    const std::string boundary = "----=_Part_" + std::to_string(random_.Next());
    out_.Line("Content-Type: multipart/mixed;");
    out_.Line("\tboundary=\"" + boundary + "\"");
    out_.EndLine();
    out_.Line("This is a multi-part message in MIME format.");
    out_.EndLine();
    out_.Line("--" + boundary);
    out_.Line("Content-Type: text/plain; charset=UTF-8");
    out_.Line("Content-Transfer-Encoding: 8bit");
    out_.EndLine();
    TextBody(random_.Between(1, 25));
    out_.Line("--" + boundary);
    out_.Line("Content-Type: application/octet-stream; name=\"scan.pdf\"");
    out_.Line("Content-Transfer-Encoding: base64");
    out_.Line("Content-Disposition: attachment; filename=\"scan.pdf\"");
    out_.EndLine();
    if (random_.Percent(10)) {
      // Some mailers write the whole attachment as one line.
      out_.Line(Base64Chars(random_.Between(4000, 120000)));
    } else {
      for (int i = random_.Between(10, 240); i > 0; --i) {
        out_.Line(Base64Chars(76));
      }
      out_.Line(Base64Chars(random_.Between(4, 76)) + "==");
    }
    out_.Line("--" + boundary + "--");
  }

  MailboxWriter& out_;
  Random& random_;
  Format format_;
  bool plain_;
};

// "512M", "1G", "4500M", "123456": binary multiples.

}  // namespace quillet::bench

#endif  // QUILLET_BENCH_MESSAGE_MAKER_H_
