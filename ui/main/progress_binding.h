// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_MAIN_PROGRESS_BINDING_H_
#define QUILLET_UI_MAIN_PROGRESS_BINDING_H_

#include <QElapsedTimer>
#include <QString>
#include <utility>
#include <vector>

#include "conversion/conversion_reporter.h"
#include "conversion/conversion_run.h"

class QLabel;
class QProgressBar;

namespace quillet {

// A progress maximum and value as an int-ranged progress bar shows them.
struct BarPosition {
  int maximum = 1;
  int value = 0;
};

// Scales a maximum and value of any size into a QProgressBar's int range:
// a maximum of 0 gives an empty bar (not the busy indicator), a value above
// the maximum a full one, sizes over 2 GiB are scaled down by a power of 2.
BarPosition ScaleProgress(qint64 maximum, qint64 value);

// The run's reporter bound to the main window: ProgressBar1's
// Max and Value and Label1's caption. The values are taken at every call;
// the two widgets are brought up to date and what changed is painted at
// most 10 times a second, and at the start of each mailbox, so that a run
// of 100,000 messages is not slowed by drawing (a repaint of the bar costs
// about as much as converting half a MiB).
// While it repaints it lets paint and expose events through but no user
// input, so no other handler can run during the run.
//
// The status line ("<prefix><mailbox><middle><message><suffix>") is built
// here from `words`, the mailboxes begun and the separators reported, and
// only when it is shown: at most once per kStatusIntervalMs while the run
// goes on, and always by Flush(), so that the line left after a run names
// the last message. The engine is asked for no text.
class ProgressBinding : public ConversionReporter {
 public:
  ProgressBinding(QProgressBar& bar, QLabel& label, ProgressText words);

  void SetProgressMax(qint64 size) override;
  void SetProgressValue(qint64 reckoned) override;
  // A text handed in is shown as it is, until the next separator.
  void SetStatusText(const QString& text) override;
  bool WantsStatusText() override { return false; }
  void Repaint() override;

  // Brings the widgets up to date with the last values reported, the
  // status line included.
  void Flush();

  // After a run that stopped with `failure`: the bar shows how far the
  // failing mailbox got. Reading or writing it failed: the last value
  // reported for it; it failed before it was read (the check, an open) or
  // after (its output was discarded at the sync or the rename): empty.
  // A failure of no one mailbox leaves the bar as the run left it.
  void ShowStop(const RunFailure& failure);

  int RepaintCount() const { return repaint_count_; }

  static constexpr qint64 kRepaintIntervalMs = 100;
  static constexpr qint64 kStatusIntervalMs = 200;
  // Repaint() looks at the clock only once the reckoning has advanced this
  // far since it last did: reading the clock costs as much as converting a
  // short message, and 32 KiB take well under a millisecond from a local
  // disk, so a due repaint comes as good as on time.
  static constexpr qint64 kClockCheckBytes = 32 * 1024;

 private:
  void RepaintNow();
  // The bar always; the status line when it changed and, unless `final`,
  // kStatusIntervalMs have passed since it was last set.
  void Update(bool final);

  QProgressBar& bar_;
  QLabel& label_;
  qint64 maximum_;
  qint64 value_;
  QString text_;
  bool text_changed_ = false;
  ProgressText words_;
  qint64 mailbox_ = 0;         // mailboxes begun: the number of the current one
  qint64 messages_ = 0;        // separators reported in the current mailbox
  bool status_stale_ = false;  // the line names an earlier message
  QElapsedTimer since_status_;
  // Maximum and last value of each mailbox begun, by mailbox number - 1:
  // outputs are confirmed in groups, so the failing mailbox may be one
  // read before the last.
  std::vector<std::pair<qint64, qint64>> mailboxes_;
  QElapsedTimer since_repaint_;
  qint64 value_at_clock_check_ = 0;
  int repaint_count_ = 0;
};

}  // namespace quillet

#endif  // QUILLET_UI_MAIN_PROGRESS_BINDING_H_
