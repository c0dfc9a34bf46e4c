// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/progress_binding.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>
#include <climits>
#include <utility>

namespace quillet {

BarPosition ScaleProgress(qint64 maximum, qint64 value) {
  if (maximum <= 0) return {1, value > 0 ? 1 : 0};
  value = std::clamp<qint64>(value, 0, maximum);
  int shift = 0;
  while ((maximum >> shift) > INT_MAX) ++shift;
  return {static_cast<int>(maximum >> shift), static_cast<int>(value >> shift)};
}

ProgressBinding::ProgressBinding(QProgressBar& bar, QLabel& label,
                                 ProgressText words)
    : bar_(bar),
      label_(label),
      maximum_(bar.maximum()),
      value_(bar.value()),
      text_(label.text()),
      words_(std::move(words)) {}

void ProgressBinding::SetProgressMax(qint64 size) {
  // Until the new mailbox's first separator the line names the last
  // message of the one before, as counted, not as last shown.
  if (status_stale_) Update(true);
  ++mailbox_;
  messages_ = 0;
  maximum_ = size;
  mailboxes_.emplace_back(size, 0);
  // A new mailbox has begun: its bar starts empty, not at the place the
  // previous one reached, so a run that stops now shows where it stopped.
  value_ = 0;
  // Show it at once.
  RepaintNow();
}

void ProgressBinding::SetProgressValue(qint64 reckoned) {
  // Called once per separator line, so it also counts the messages.
  ++messages_;
  status_stale_ = true;
  value_ = reckoned;
  if (!mailboxes_.empty()) mailboxes_.back().second = reckoned;
}

void ProgressBinding::ShowStop(const RunFailure& failure) {
  const auto number = static_cast<std::size_t>(failure.mailbox_number);
  if (failure.step == RunStep::kCheck) {
    value_ = 0;
  } else if (number >= 1 && number <= mailboxes_.size()) {
    const bool while_reading = failure.step == RunStep::kRead ||
                               failure.step == RunStep::kWrite ||
                               failure.step == RunStep::kFlush ||
                               failure.step == RunStep::kCloseSource;
    maximum_ = mailboxes_[number - 1].first;
    value_ = while_reading ? mailboxes_[number - 1].second : 0;
  } else if (number > mailboxes_.size()) {
    value_ = 0;  // failed before its size was known
  }
  Flush();
}

void ProgressBinding::SetStatusText(const QString& text) {
  text_ = text;
  text_changed_ = true;
  status_stale_ = false;
}

void ProgressBinding::Repaint() {
  // Called at every separator: most calls end here, without the clock.
  if (value_ - value_at_clock_check_ < kClockCheckBytes) return;
  value_at_clock_check_ = value_;
  if (since_repaint_.isValid() &&
      since_repaint_.elapsed() < kRepaintIntervalMs) {
    return;
  }
  RepaintNow();
}

void ProgressBinding::Flush() { Update(true); }

void ProgressBinding::Update(bool final) {
  if (status_stale_ && (final || !since_status_.isValid() ||
                        since_status_.elapsed() >= kStatusIntervalMs)) {
    text_ = StatusLine(words_, mailbox_, messages_);
    text_changed_ = true;
    status_stale_ = false;
    since_status_.start();
  }
  const BarPosition position = ScaleProgress(maximum_, value_);
  if (bar_.maximum() != position.maximum || bar_.minimum() != 0) {
    bar_.setRange(0, position.maximum);
  }
  bar_.setValue(position.value);
  if (text_changed_) {
    label_.setText(text_);
    text_changed_ = false;
  }
}

void ProgressBinding::RepaintNow() {
  Update(false);
  // Only what changed is painted: the bar repaints itself when its value
  // moves by a pixel or more (QProgressBar::setValue), and the update
  // requests of the label and of anything else changed since are delivered
  // here. A repaint of the whole window on top painted the bar twice and
  // every unchanged widget with it, its large fills handed to Qt's drawing
  // threads: more than the run's own work between two repaints.
  // Paint and expose events get through; input waits until the run ends.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  ++repaint_count_;
  since_repaint_.start();
  value_at_clock_check_ = value_;
}

}  // namespace quillet
