// SPDX-License-Identifier: GPL-3.0-or-later
// make_mailbox: writes a realistic test mailbox for the benchmark, the same
// bytes for the same seed and size.
//
//   make_mailbox --format mbox-lf|mbox-crlf|box --size 512M [--seed N]
//                [--plain] OUTPUT
//   make_mailbox --single-line 1G OUTPUT
//
// Messages carry the headers real mail carries (folded Received lines, Date
// in several forms or none, encoded subjects), text bodies of varied line
// lengths with quoted replies, ">From " and body "From " lines, non-ASCII
// bytes, and base64 attachments, some wrapped at 76 columns and some as one
// long line. Messages are added until the file reaches the requested size.
//
// --plain leaves out everything a .box -> mbox -> .box round trip does not
// keep byte for byte (lines beginning ">From " or "From ", messages that do
// not end in an empty line, text after the .box separator), so that the
// round trip of a large file can be checked with cmp.
//
// --single-line writes one line of the given size without a line end: the
// case where memory must not grow with the length of a line.
//
// Prints "separators N" and "bytes N" on standard output: N separators are
// the lines that begin with the source format's separator, which is the
// message count the converter must report.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTextStream>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "bench/message_maker.h"

namespace quillet {
namespace {

using namespace bench;

std::int64_t ParseSize(const QString& text, bool* ok) {
  QString digits = text.trimmed();
  std::int64_t unit = 1;
  if (!digits.isEmpty()) {
    switch (digits.back().toUpper().toLatin1()) {
      case 'K':
        unit = 1LL << 10;
        break;
      case 'M':
        unit = 1LL << 20;
        break;
      case 'G':
        unit = 1LL << 30;
        break;
      default:
        break;
    }
    if (unit != 1) digits.chop(1);
  }
  const std::int64_t value = digits.toLongLong(ok);
  *ok = *ok && value >= 0;
  return value * unit;
}

int Fail(const QString& message) {
  QTextStream(stderr) << "make_mailbox: " << message << "\n";
  return 1;
}

int Run(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Writes a test mailbox of at least the given size.");
  parser.addHelpOption();
  const QCommandLineOption format_option("format", "mbox-lf, mbox-crlf or box.",
                                         "FORMAT", "mbox-lf");
  const QCommandLineOption size_option("size", "Size to reach (512M, 1G).",
                                       "SIZE", "512M");
  const QCommandLineOption seed_option("seed", "Seed of the generator.", "N",
                                       "1");
  const QCommandLineOption plain_option(
      "plain", "Only content a .box round trip keeps byte for byte.");
  const QCommandLineOption single_line_option(
      "single-line", "Write one line of SIZE bytes without line end instead.",
      "SIZE");
  parser.addOptions({format_option, size_option, seed_option, plain_option,
                     single_line_option});
  parser.addPositionalArgument("OUTPUT", "The file to write.");
  parser.process(arguments);
  if (parser.positionalArguments().size() != 1) {
    return Fail("give exactly one OUTPUT file");
  }

  bool ok = false;
  const std::uint64_t seed = parser.value(seed_option).toULongLong(&ok);
  if (!ok) return Fail("bad --seed");

  const QByteArray path = QFile::encodeName(parser.positionalArguments()[0]);
  std::FILE* file = std::fopen(path.constData(), "wb");
  if (file == nullptr) return Fail("cannot create " + QString(path));

  Random random(seed);
  std::int64_t separators = 0;
  std::int64_t bytes = 0;
  if (parser.isSet(single_line_option)) {
    const std::int64_t size = ParseSize(parser.value(single_line_option), &ok);
    if (!ok) return Fail("bad --single-line size");
    MailboxWriter out(file, "");
    // Base64-like text that does not begin with either separator.
    std::string chunk(1 << 20, 'A');
    for (std::size_t i = 1; i < chunk.size(); ++i) {
      chunk[i] = kBase64[random.Below(64)];
    }
    for (std::int64_t left = size; left > 0;) {
      const std::int64_t part =
          std::min<std::int64_t>(left, static_cast<std::int64_t>(chunk.size()));
      out.Add(
          std::string_view(chunk).substr(0, static_cast<std::size_t>(part)));
      left -= part;
    }
    ok = out.Flush();
    bytes = out.Size();
  } else {
    const QString name = parser.value(format_option);
    Format format;
    if (name == "mbox-lf") {
      format = Format::kMboxLf;
    } else if (name == "mbox-crlf") {
      format = Format::kMboxCrLf;
    } else if (name == "box") {
      format = Format::kBox;
    } else {
      return Fail("unknown --format " + name);
    }
    const std::int64_t size = ParseSize(parser.value(size_option), &ok);
    if (!ok) return Fail("bad --size");
    MailboxWriter out(file, format == Format::kMboxLf ? "\n" : "\r\n");
    MessageMaker maker(out, random, format, parser.isSet(plain_option));
    while (out.Size() < size) maker.Message();
    ok = out.Flush();
    separators = out.separators();
    bytes = out.Size();
  }
  if (std::fclose(file) != 0 || !ok)
    return Fail("cannot write " + QString(path));
  QTextStream(stdout) << "separators " << separators << "\nbytes " << bytes
                      << "\n";
  return 0;
}

}  // namespace
}  // namespace quillet

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  return quillet::Run(QCoreApplication::arguments());
}
