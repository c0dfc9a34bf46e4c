// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/common_dialog.h"

#include <QFile>

#ifndef Q_OS_WIN
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace quillet {

CommonDialog::CommonDialog(Desktop& desktop, QObject* parent)
    : QObject(parent), desktop_(desktop) {}

DialogOutcome CommonDialog::ShowOpen(QString* error) {
  OpenDialogSettings settings;
  settings.default_ext = DefaultExt;
  settings.filter = Filter;
  settings.flags = Flags;
  settings.file_name = FileName;
  OpenDialogAnswer answer = desktop_.ShowOpen(settings);
  switch (answer.outcome) {
    case DialogOutcome::kChosen:
      FileName = answer.file_name;
      break;
    case DialogOutcome::kFailed:
      if (error != nullptr) *error = answer.error;
      break;
    case DialogOutcome::kCancelled:
      break;
  }
  return answer.outcome;
}

QString EscapedFileName(const QByteArray& name) {
  // Every byte outside printable ASCII escaped: in a name that is not
  // UTF-8 as a whole, a run that happens to decode would show a character
  // the name never meant.
  QString shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += QLatin1Char(c);
    } else {
      shown += QStringLiteral("\\x") +
               QString::number(byte, 16).toUpper().rightJustified(2, u'0');
    }
  }
  return shown;
}

QStringList UndecodableFileNames(const QString& folder, bool box_only) {
  QStringList names;
#ifndef Q_OS_WIN
  const QByteArray path = QFile::encodeName(folder);
  DIR* dir = ::opendir(path.constData());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const QByteArray name(entry->d_name);
    if (QFile::encodeName(QFile::decodeName(name)) == name) continue;
    if (box_only && !name.toLower().endsWith(".box")) continue;
    struct stat st {};
    const QByteArray full = path + (path.endsWith('/') ? "" : "/") + name;
    if (::stat(full.constData(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    names.append(EscapedFileName(name));
  }
  ::closedir(dir);
  names.sort();
#else
  Q_UNUSED(folder);
  Q_UNUSED(box_only);
#endif
  return names;
}

}  // namespace quillet
