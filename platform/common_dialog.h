// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_PLATFORM_COMMON_DIALOG_H_
#define QUILLET_PLATFORM_COMMON_DIALOG_H_

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/desktop.h"

namespace quillet {

// Flags of the file-open dialog, as the common dialog control names them.
inline constexpr quint32 kCdlOFNAllowMultiselect = 0x200;
inline constexpr quint32 kCdlOFNExplorer = 0x80000;

// The window's invisible file-dialog control (CommonDialog1): a few
// properties and ShowOpen. FileName is the only memory of the last answer;
// it survives from one opening to the next, a cancelled dialog leaves it as
// it was, and only the window empties it.
class CommonDialog : public QObject {
  Q_OBJECT

 public:
  CommonDialog(Desktop& desktop, QObject* parent = nullptr);

  QString DefaultExt;
  QString Filter;
  quint32 Flags = 0;
  QString FileName;

  // Shows the dialog and waits. kChosen: FileName holds the answer.
  // kCancelled: FileName is unchanged. kFailed: FileName is unchanged and
  // `error` (if given) holds the reason.
  DialogOutcome ShowOpen(QString* error = nullptr);

 private:
  Desktop& desktop_;
};

// The files of `folder` whose names are not valid UTF-8 (a Foxmail folder
// unzipped from a Windows archive keeps its GBK names): the dialog cannot
// list them and no path in the program's text can name them. Only files
// the dialog would offer: with `box_only`, names ending in ".box" in any
// letter case. Each name as EscapedFileName() gives it; sorted. Always empty on
// Windows, whose names are UTF-16.
QStringList UndecodableFileNames(const QString& folder, bool box_only);

// `name` with printable ASCII kept and every other byte written as \xNN.
QString EscapedFileName(const QByteArray& name);

}  // namespace quillet

#endif  // QUILLET_PLATFORM_COMMON_DIALOG_H_
