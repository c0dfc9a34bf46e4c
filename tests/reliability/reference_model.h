// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_RELIABILITY_REFERENCE_MODEL_H_
#define QUILLET_TESTS_RELIABILITY_REFERENCE_MODEL_H_

// A deliberately simple second converter, used only to check the engine.
// It holds the whole mailbox in memory, cuts it into lines first, decides
// for every line what it is (separator, header, body, dropped) with the
// whole file in view, and only then writes the output. None of the
// engine's streaming (buffers, look-ahead windows, fast paths) is involved.
// Only the byte constants and the parsing of a date's text are shared with
// the engine; finding the fields is the model's own.

#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <string>
#include <string_view>
#include <vector>

#include "ui/text/ui_text.h"

namespace quillet::reliability {

// One converted mailbox as the model sees it.
struct ModelResult {
  std::string output;
  qint64 messages = 0;
  // The reporter calls, one string each: "max N", "value N",
  // "status <UTF-8 text>", "repaint".
  std::vector<std::string> calls;
};

// Converts `input`, the whole of mailbox number `mailbox_number` of a run,
// in the direction given. `started` is the run's start time, used for
// messages without a usable date within reach.
ModelResult ModelConvert(std::string_view input, bool mbox_to_box,
                         const UiText& text, qint64 mailbox_number,
                         const QDateTime& started);

// A line of a mailbox: its bytes, where it starts, where its line end
// starts (the file's size for a last line without one) and where the next
// line starts.
struct ModelLine {
  std::string_view text;
  std::size_t start = 0;
  std::size_t end = 0;
  std::size_t next = 0;
  bool has_line_end = false;
};

// True when a lone CR ends lines in `input`: its first CR or LF byte is a
// CR that no LF follows.
bool ModelLoneCrEndsLines(std::string_view input);

// Cuts `input` into lines: CR LF and a lone LF end a line, a lone CR only
// where ModelLoneCrEndsLines holds; the last line may end with the file.
// An empty input has no lines.
std::vector<ModelLine> ModelSplitLines(std::string_view input);

// "Mon Jan  1 09:00:00 2024" for `time` in UTC.
std::string ModelAsctime(const QDateTime& time);

}  // namespace quillet::reliability

#endif  // QUILLET_TESTS_RELIABILITY_REFERENCE_MODEL_H_
