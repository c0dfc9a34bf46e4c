// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/mailbox_converter.h"

#include "conversion/converter_base.h"

namespace quillet {

qint64 ConvertMailbox(LineReader& reader, MailboxWriter& writer,
                      ConversionReporter& reporter, const ProgressText& text,
                      qint64 mailbox_number, const QDateTime& fallback_time,
                      bool mbox_to_box) {
  return mbox_to_box ? converter::ConvertToBox(reader, writer, reporter, text,
                                               mailbox_number)
                     : converter::ConvertToMbox(reader, writer, reporter, text,
                                                mailbox_number, fallback_time);
}

}  // namespace quillet
