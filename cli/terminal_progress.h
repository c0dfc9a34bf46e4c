// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CLI_TERMINAL_PROGRESS_H_
#define QUILLET_CLI_TERMINAL_PROGRESS_H_

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QtGlobal>
#include <functional>

#include "conversion/conversion_reporter.h"

namespace quillet {

// Draws the progress of a run on one terminal line:
//   mailbox 2 of 5  1234 messages  [#######.............]  35%
// The line is redrawn in place at most once per `kRedrawIntervalMs`, however
// many separators the run meets, so that drawing never slows a run of many
// small messages. Mailboxes are counted by SetProgressMax calls, so one
// reporter can follow several runs in a row and still number the mailboxes
// of the whole command.
class TerminalProgress : public ConversionReporter {
 public:
  static constexpr qint64 kRedrawIntervalMs = 100;
  static constexpr int kBarWidth = 30;

  // How a redraw clears what the line held before.
  enum class Clearing {
    kEraseSequence,  // carriage return, then ESC [ K (erase to line end)
    kBlanks,         // carriage return, then blanks over the older text
  };
  // The clearing a terminal of type `term` (the TERM variable) understands:
  // a dumb terminal, or one that names no type, is sent no control sequence.
  static Clearing ClearingFor(const QByteArray& term);

  // `clock` returns monotonic milliseconds; the default is a steady clock.
  TerminalProgress(QIODevice& terminal, qint64 mailbox_count,
                   std::function<qint64()> clock = {},
                   Clearing clearing = Clearing::kEraseSequence);

  void SetProgressMax(qint64 size) override;
  void SetProgressValue(qint64 reckoned) override;
  void SetStatusText(const QString& text) override;
  // The terminal line is built from the numbers: no text is wanted.
  bool WantsStatusText() override { return false; }
  void Repaint() override;

  // Erases the progress line, so that what follows starts on a clean line.
  // Does nothing when nothing was drawn.
  void Finish();

  // The text of the progress line for the current state, without the
  // carriage return and erase sequence that precede it on the terminal.
  QByteArray Line() const;

 private:
  void DrawIfDue();
  // Writes `text` over the current line, leaving nothing of the older one.
  void Overwrite(const QByteArray& text);

  QIODevice& terminal_;
  qint64 mailbox_count_;
  std::function<qint64()> clock_;
  Clearing clearing_;
  qsizetype shown_length_ = 0;  // length of the text on the line now
  qint64 mailbox_ = 0;
  qint64 size_ = 0;
  qint64 reckoned_ = 0;
  qint64 messages_ = 0;
  bool drawn_ = false;
  qint64 last_draw_ms_ = 0;
};

}  // namespace quillet

#endif  // QUILLET_CLI_TERMINAL_PROGRESS_H_
