#ifndef QUILLET_PLATFORM_COMMON_DIALOG_H_
#define QUILLET_PLATFORM_COMMON_DIALOG_H_

#include <QObject>
#include <QString>

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

}  // namespace quillet

#endif  // QUILLET_PLATFORM_COMMON_DIALOG_H_
