// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_MAILBOX_CONVERTER_H_
#define QUILLET_CONVERSION_MAILBOX_CONVERTER_H_

#include <QDateTime>
#include <QtGlobal>

#include "conversion/conversion_run.h"
#include "conversion/line_reader.h"
#include "conversion/mailbox_writer.h"

namespace quillet {

// Converts one open mailbox from `reader` to `writer`, in the direction
// `mbox_to_box`, reporting progress at each source separator. Returns the
// number of messages found. Read and write failures are left in `reader`
// and `writer`; the caller finishes or discards the output.
// `fallback_time` dates mbox separators of messages without a usable date.
qint64 ConvertMailbox(LineReader& reader, MailboxWriter& writer,
                      ConversionReporter& reporter, const ProgressText& text,
                      qint64 mailbox_number, const QDateTime& fallback_time,
                      bool mbox_to_box);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_MAILBOX_CONVERTER_H_
