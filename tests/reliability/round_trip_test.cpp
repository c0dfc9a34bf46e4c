// SPDX-License-Identifier: GPL-3.0-or-later
// The two round trips that quoting, the format's empty lines and the
// rewritten Content-Length make lossless, over generated .box mailboxes
// that meet their conditions (GenerateRoundTripBox): .box -> mbox -> .box
// gives back the same bytes, and mbox -> .box -> mbox gives back the mbox
// that was written from the .box. Checked on the engine (whole reads and
// small ones) and on the reference model.
//
// The two .box -> mbox runs start at different times, so a message whose
// date is not found within reach gets a different separator date in each:
// those separator lines are compared with the start time put in, all other
// bytes exactly.

#include <gtest/gtest.h>

#include <QDate>
#include <QTime>
#include <QTimeZone>
#include <cstdlib>
#include <functional>

#include "conversion/conversion_run.h"
#include "tests/reliability/mailbox_generator.h"
#include "tests/reliability/memory_file_layer.h"
#include "tests/reliability/reference_model.h"
#include "tests/reliability/sanitizer_build.h"
#include "tests/support/recording_reporter.h"
#include "ui/text/ui_text.h"

namespace quillet::reliability {
namespace {

using Converter = std::function<std::string(
    const std::string& input, bool mbox_to_box, const QDateTime& started)>;

UiText EnglishText() {
  UiText text;
  FillUiText(text, Language::kEnglish);
  return text;
}

// One mailbox through the engine over the memory file layer.
std::string EngineConvert(const std::string& input, bool mbox_to_box,
                          const QDateTime& started, std::size_t read_chunk) {
  MemoryFileLayer files;
  const ConversionJob job = AddMemoryJob(files, {input}, mbox_to_box);
  RunOptions options;
  options.read_chunk = read_chunk;
  // The line rules over any shape, mailbox or fragment.
  options.check_formats = false;
  options.started = started;
  testing::RecordingReporter recorder;
  const RunResult result = RunConversion(job, ProgressTextOf(EnglishText()),
                                         files, recorder, options);
  if (!result.ok() || result.converted.size() != 1) {
    ADD_FAILURE() << "the engine failed on " << Printable(input, 200);
    return {};
  }
  const std::string* output = files.File(result.converted[0].output);
  return output ? *output : std::string();
}

// `mbox` with each separator line that carries `from` carrying `to`.
std::string WithStartTime(std::string mbox, const QDateTime& from,
                          const QDateTime& to) {
  const std::string old_line = "From - " + ModelAsctime(from) + "\n";
  const std::string new_line = "From - " + ModelAsctime(to) + "\n";
  for (std::size_t at = mbox.find(old_line); at != std::string::npos;
       at = mbox.find(old_line, at + new_line.size())) {
    if (at == 0 || mbox[at - 1] == '\n')
      mbox.replace(at, old_line.size(), new_line);
  }
  return mbox;
}

void CheckRoundTrips(const Converter& convert, std::uint64_t first_seed,
                     std::uint64_t cases) {
  const QDateTime first_start(QDate(1977, 7, 7), QTime(7, 7, 7),
                              QTimeZone::utc());
  const QDateTime second_start(QDate(1988, 8, 8), QTime(8, 8, 8),
                               QTimeZone::utc());
  int failures = 0;
  int undated = 0;
  std::uint64_t done = 0;
  for (std::uint64_t seed = first_seed;
       seed < first_seed + cases && failures < 5; ++seed, ++done) {
    const std::string box = GenerateRoundTripBox(seed);
    const std::string mbox = convert(box, false, first_start);
    const std::string box_again = convert(mbox, true, first_start);
    const std::string mbox_again = convert(box_again, false, second_start);
    const std::string expected_mbox =
        WithStartTime(mbox, first_start, second_start);
    if (expected_mbox != mbox) ++undated;
    if (box_again != box) {
      ++failures;
      ADD_FAILURE() << "seed " << seed << ": .box -> mbox -> .box differs\n"
                    << "  .box:   " << Printable(box, 600) << "\n"
                    << "  mbox:   " << Printable(mbox, 600) << "\n"
                    << "  again:  " << Printable(box_again, 600);
    } else if (mbox_again != expected_mbox) {
      ++failures;
      ADD_FAILURE() << "seed " << seed << ": mbox -> .box -> mbox differs\n"
                    << "  mbox:   " << Printable(expected_mbox, 600) << "\n"
                    << "  again:  " << Printable(mbox_again, 600);
    }
  }
  std::printf("%llu round trips, %d with a separator dated by the start\n",
              static_cast<unsigned long long>(done), undated);
  // Both ways of dating must occur, or the masking goes unchecked.
  EXPECT_GT(undated, 0);
  EXPECT_LT(undated, static_cast<int>(done));
}

// A .box written from an MMDF file is itself one that round-trips: nothing
// the MMDF rules kept or dropped is taken back or added by mbox.
void CheckMmdfRoundTrips(const Converter& convert, std::uint64_t cases) {
  const QDateTime start(QDate(1977, 7, 7), QTime(7, 7, 7), QTimeZone::utc());
  int failures = 0;
  for (std::uint64_t seed = 1; seed <= cases && failures < 5; ++seed) {
    const std::string mmdf = GenerateRoundTripMmdf(seed);
    const std::string box = convert(mmdf, true, start);
    const std::string again = convert(convert(box, false, start), true, start);
    if (again != box) {
      ++failures;
      ADD_FAILURE() << "seed " << seed << ": MMDF -> .box -> mbox -> .box\n"
                    << "  MMDF:   " << Printable(mmdf, 600) << "\n"
                    << "  .box:   " << Printable(box, 600) << "\n"
                    << "  again:  " << Printable(again, 600);
    }
  }
}

std::uint64_t Cases(std::uint64_t normal) {
  if (const char* env = std::getenv("QUILLET_DIFFERENTIAL_CASES")) {
    return std::strtoull(env, nullptr, 10);
  }
  return kSanitizerBuild ? normal / 10 : normal;
}

TEST(RoundTrip, EngineWithWholeReads) {
  CheckRoundTrips(
      [](const std::string& input, bool mbox_to_box, const QDateTime& started) {
        return EngineConvert(input, mbox_to_box, started, std::size_t{1} << 20);
      },
      1, Cases(1500));
}

TEST(RoundTrip, EngineWithSmallReads) {
  std::size_t chunk = 0;
  CheckRoundTrips(
      [&chunk](const std::string& input, bool mbox_to_box,
               const QDateTime& started) {
        chunk = chunk % 64 + 1;
        return EngineConvert(input, mbox_to_box, started, chunk);
      },
      100001, Cases(300));
}

TEST(RoundTrip, ReferenceModel) {
  const UiText text = EnglishText();
  const Converter model = [&text](const std::string& input, bool mbox_to_box,
                                  const QDateTime& started) {
    return ModelConvert(input, mbox_to_box, text, 1, started).output;
  };
  CheckRoundTrips(model, 1, Cases(1500));
  CheckMmdfRoundTrips(model, Cases(500));
}

TEST(RoundTrip, EngineFromMmdf) {
  std::size_t chunk = 0;
  CheckMmdfRoundTrips(
      [&chunk](const std::string& input, bool mbox_to_box,
               const QDateTime& started) {
        chunk = chunk % 64 + 1;
        return EngineConvert(input, mbox_to_box, started,
                             chunk == 64 ? std::size_t{1} << 20 : chunk);
      },
      Cases(500));
}

}  // namespace
}  // namespace quillet::reliability
