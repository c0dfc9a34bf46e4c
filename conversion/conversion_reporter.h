// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_CONVERSION_REPORTER_H_
#define QUILLET_CONVERSION_CONVERSION_REPORTER_H_

// What a run tells of its progress, and the words of its status line: all
// a program needs to show a run, without the run itself.

#include <QString>
#include <QtGlobal>

namespace quillet {

// The words of the status line a run shows at each message, in the
// interface's language: "<prefix><mailbox><middle><message><suffix>". The
// engine knows no interface texts: a caller whose reporter shows the line
// hands it these; one whose reporter shows none hands it none.
struct ProgressText {
  QString prefix;
  QString middle;
  QString suffix;
};

// The status line for message `message_number` of mailbox `mailbox_number`,
// the numbers in plain decimal digits without grouping.
inline QString StatusLine(const ProgressText& text, qint64 mailbox_number,
                          qint64 message_number) {
  return text.prefix + QString::number(mailbox_number) + text.middle +
         QString::number(message_number) + text.suffix;
}

// How a run shows its progress. Called only on the thread running the run.
class ConversionReporter {
 public:
  virtual ~ConversionReporter() = default;
  // Once per mailbox, before its files are opened: the source's size.
  virtual void SetProgressMax(qint64 size) = 0;
  // At each separator line: the bytes reckoned through the end of that line
  // (every line counts its length plus 2). May exceed the maximum for
  // sources whose lines do not all end in CR LF.
  virtual void SetProgressValue(qint64 reckoned) = 0;
  // Right after SetProgressValue, when WantsStatusText() said yes:
  // "<prefix><mailbox><middle><message><suffix>".
  virtual void SetStatusText(const QString& text) = 0;
  // Asked right after SetProgressValue: whether the status text would be
  // shown now. Building it costs more than converting a short message, so
  // a reporter that shows no text (or not at this moment) says no and gets
  // no SetStatusText for this message.
  virtual bool WantsStatusText() { return true; }
  // Right after SetStatusText (or WantsStatusText, when it said no).
  virtual void Repaint() = 0;
};

}  // namespace quillet

#endif  // QUILLET_CONVERSION_CONVERSION_REPORTER_H_
