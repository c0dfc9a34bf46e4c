// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace quillet {

void InstallFontSubstitutions() {
  const QStringList families = QFontDatabase::families();
  for (const char* designed : {"MS Sans Serif", "Arial"}) {
    const QString name = QString::fromLatin1(designed);
    if (families.contains(name, Qt::CaseInsensitive)) continue;
    if (QFont::substitutes(name).contains(QStringLiteral("Liberation Sans"))) {
      continue;
    }
    QFont::insertSubstitutions(name, {QStringLiteral("Liberation Sans"),
                                      QStringLiteral("DejaVu Sans")});
  }
}

}  // namespace quillet
