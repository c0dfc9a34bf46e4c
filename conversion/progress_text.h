// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_PROGRESS_TEXT_H_
#define QUILLET_CONVERSION_PROGRESS_TEXT_H_

#include <QString>
#include <QtGlobal>

namespace quillet {

// The words of the status line a run shows at each message, in the
// interface's language: "<prefix><mailbox><middle><message><suffix>". The
// engine knows no interface texts; its callers hand it these.
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

}  // namespace quillet

#endif  // QUILLET_CONVERSION_PROGRESS_TEXT_H_
