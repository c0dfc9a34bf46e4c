// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/text/qt_translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace quillet {
namespace {

// The one translator of Qt's texts installed at a time.
QPointer<QTranslator>& Installed() {
  static QPointer<QTranslator> translator;
  return translator;
}

Language& Current() {
  static Language language = Language::kEnglish;
  return language;
}

// qt_<language>.qm: the catalogue of all Qt modules' texts, as Debian
// installs it and windeployqt assembles it beside the program.
QString BaseName(Language language) {
  switch (language) {
    case Language::kGerman:
      return QStringLiteral("qt_de");
    case Language::kFrench:
      return QStringLiteral("qt_fr");
    case Language::kEnglish:
      break;
  }
  return {};
}

}  // namespace

QString QtTranslationsFile(Language language) {
  const QString base = BaseName(language);
  if (base.isEmpty()) return {};
  return QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath))
      .filePath(base + QStringLiteral(".qm"));
}

Language QtTextsLanguage() { return Current(); }

bool UseQtTranslations(Language language) {
  Current() = language;
  QPointer<QTranslator>& installed = Installed();
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    delete installed;
  }
  const QString file = QtTranslationsFile(language);
  if (file.isEmpty()) return true;
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(file)) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  installed = translator;
  return true;
}

}  // namespace quillet
