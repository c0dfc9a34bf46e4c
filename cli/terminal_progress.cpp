// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_progress.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace quillet {
namespace {

qint64 SteadyMilliseconds() {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  using std::chrono::steady_clock;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch())
      .count();
}

// Carriage return, then erase to the end of the line: the line is redrawn
// in place and a shorter line leaves no remains of a longer one.
constexpr char kRewindLine[] = "\r\x1b[K";

}  // namespace

TerminalProgress::Clearing TerminalProgress::ClearingFor(
    const QByteArray& term) {
  return term.isEmpty() || term == "dumb" ? Clearing::kBlanks
                                          : Clearing::kEraseSequence;
}

TerminalProgress::TerminalProgress(QIODevice& terminal, qint64 mailbox_count,
                                   std::function<qint64()> clock,
                                   Clearing clearing)
    : terminal_(terminal),
      mailbox_count_(mailbox_count),
      clock_(clock ? std::move(clock) : SteadyMilliseconds),
      clearing_(clearing) {}

void TerminalProgress::SetProgressMax(qint64 size) {
  ++mailbox_;
  size_ = size;
  reckoned_ = 0;
  messages_ = 0;
  DrawIfDue();
}

void TerminalProgress::SetProgressValue(qint64 reckoned) {
  // Called once per separator line, so it also counts the messages.
  reckoned_ = reckoned;
  ++messages_;
}

void TerminalProgress::SetStatusText(const QString& /*text*/) {
  // The status text is the window's wording; the terminal line is built
  // from the numbers instead.
}

void TerminalProgress::Repaint() { DrawIfDue(); }

void TerminalProgress::Finish() {
  if (!drawn_) return;
  Overwrite({});
  if (clearing_ == Clearing::kBlanks) terminal_.write("\r");
  drawn_ = false;
}

QByteArray TerminalProgress::Line() const {
  // The reckoned count may pass the size (a line that does not end in
  // CR LF is reckoned a byte longer than it is); the bar stops at full. An
  // empty source is done as soon as it starts.
  const qint64 done = std::clamp<qint64>(reckoned_, 0, size_);
  const qint64 percent = size_ > 0 ? done * 100 / size_ : 100;
  const qint64 filled = size_ > 0 ? done * kBarWidth / size_ : kBarWidth;

  const QByteArray bar =
      QByteArray(filled, '#') + QByteArray(kBarWidth - filled, '.');
  return "mailbox " + QByteArray::number(mailbox_) + " of " +
         QByteArray::number(mailbox_count_) + "  " +
         QByteArray::number(messages_) +
         (messages_ == 1 ? " message  [" : " messages  [") + bar + "]  " +
         QByteArray::number(percent).rightJustified(3, ' ') + "%";
}

void TerminalProgress::DrawIfDue() {
  const qint64 now = clock_();
  if (drawn_ && now - last_draw_ms_ < kRedrawIntervalMs) return;
  Overwrite(Line());
  drawn_ = true;
  last_draw_ms_ = now;
}

void TerminalProgress::Overwrite(const QByteArray& text) {
  if (clearing_ == Clearing::kEraseSequence) {
    terminal_.write(kRewindLine + text);
  } else {
    const qsizetype blanks =
        std::max<qsizetype>(shown_length_ - text.size(), 0);
    terminal_.write("\r" + text + QByteArray(blanks, ' '));
  }
  shown_length_ = text.size();
}

}  // namespace quillet
