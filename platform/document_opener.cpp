// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/document_opener.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

namespace quillet {
namespace {

class QProcessRunner : public CommandRunner {
 public:
  int Run(const QString& program, const QStringList& arguments,
          QString* output) override {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) return -1;
    process.closeWriteChannel();
    if (!process.waitForFinished(10000)) {
      process.kill();
      process.waitForFinished(1000);
      return -1;
    }
    if (output != nullptr) {
      *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode()
                                                        : -1;
  }

  bool StartDetached(const QString& program, const QStringList& arguments,
                     const QString& working_folder) override {
    return QProcess::startDetached(program, arguments, working_folder);
  }
};

// Reads one .desktop entry's [Desktop Entry] group. QSettings' INI reader
// would treat ";" lists and "\\s" escapes its own way, so this is by hand.
bool ReadDesktopEntry(const QString& file_path, DesktopApplication* app,
                      bool* hidden) {
  QFile file(file_path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
  bool in_group = false;
  bool is_application = false;
  *hidden = false;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    if (line.startsWith(QLatin1Char('['))) {
      in_group = line == QLatin1String("[Desktop Entry]");
      continue;
    }
    if (!in_group) continue;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0) continue;
    const QString key = line.left(equals).trimmed();
    const QString value = line.mid(equals + 1).trimmed();
    if (key == QLatin1String("Type")) {
      is_application = value == QLatin1String("Application");
    } else if (key == QLatin1String("Name")) {
      app->name = value;
    } else if (key == QLatin1String("Exec")) {
      app->exec = value;
    } else if (key == QLatin1String("MimeType")) {
      app->mime_types = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    } else if ((key == QLatin1String("NoDisplay") ||
                key == QLatin1String("Hidden")) &&
               value == QLatin1String("true")) {
      *hidden = true;
    }
  }
  return is_application && !app->exec.isEmpty();
}

bool TakesDocument(const QString& exec) {
  for (const char* code : {"%f", "%F", "%u", "%U"}) {
    if (exec.contains(QLatin1String(code))) return true;
  }
  return false;
}

// Splits an Exec= value into words, honouring double quotes and the
// backslash escapes allowed inside them.
QStringList SplitExec(const QString& exec) {
  QStringList words;
  QString word;
  bool quoted = false;
  bool in_word = false;
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const QChar c = exec[i];
    if (quoted) {
      if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
        word += exec[++i];
      } else if (c == QLatin1Char('"')) {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == QLatin1Char('"')) {
      quoted = true;
      in_word = true;
    } else if (c.isSpace()) {
      if (in_word) words.append(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.append(word);
  return words;
}

}  // namespace

CommandRunner& SystemCommandRunner() {
  static QProcessRunner runner;
  return runner;
}

OpenOutcome XdgDocumentOpener::Open(const QString& path) {
  // As the original's "file not found": nothing is started, nothing shown.
  if (!QFileInfo(path).isFile()) return OpenOutcome::kFailed;
  QString program;
  const int status = runner_.Run(
      QStringLiteral("xdg-mime"),
      {QStringLiteral("query"), QStringLiteral("default"), MimeTypeOf(path)},
      &program);
  if (status == 0 && program.trimmed().isEmpty()) {
    return OpenOutcome::kNoAssociation;
  }
  if (status != 0 && status != -1) return OpenOutcome::kNoAssociation;
  return runner_.StartDetached(QStringLiteral("xdg-open"), {path}, QString())
             ? OpenOutcome::kOpened
             : OpenOutcome::kFailed;
}

QStringList ApplicationFolders() {
  // The XDG data folders' "applications" subfolders, the user's first.
  return QStandardPaths::standardLocations(
      QStandardPaths::ApplicationsLocation);
}

QList<DesktopApplication> ApplicationsFor(const QString& mime_type,
                                          const QStringList& folders) {
  QList<DesktopApplication> handlers;
  QList<DesktopApplication> others;
  QSet<QString> seen;
  for (const QString& folder : folders) {
    const QDir dir(folder);
    const QStringList entries =
        dir.entryList({QStringLiteral("*.desktop")},
                      QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& entry : entries) {
      if (seen.contains(entry)) continue;
      seen.insert(entry);  // an earlier folder's entry hides a later one
      DesktopApplication app;
      app.id = entry;
      bool hidden = false;
      if (!ReadDesktopEntry(dir.filePath(entry), &app, &hidden) || hidden ||
          !TakesDocument(app.exec)) {
        continue;
      }
      if (app.name.isEmpty()) app.name = entry;
      (app.mime_types.contains(mime_type) ? handlers : others).append(app);
    }
  }
  const auto by_name = [](const DesktopApplication& a,
                          const DesktopApplication& b) {
    return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
  };
  std::sort(handlers.begin(), handlers.end(), by_name);
  std::sort(others.begin(), others.end(), by_name);
  return handlers + others;
}

QStringList ExpandExec(const QString& exec, const QString& path) {
  QStringList result;
  bool placed = false;
  const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
  for (const QString& word : SplitExec(exec)) {
    if (word == QLatin1String("%f") || word == QLatin1String("%F")) {
      result.append(path);
      placed = true;
      continue;
    }
    if (word == QLatin1String("%u") || word == QLatin1String("%U")) {
      result.append(url);
      placed = true;
      continue;
    }
    QString expanded;
    for (qsizetype i = 0; i < word.size(); ++i) {
      if (word[i] != QLatin1Char('%') || i + 1 >= word.size()) {
        expanded += word[i];
        continue;
      }
      const QChar code = word[++i];
      if (code == QLatin1Char('%')) {
        expanded += QLatin1Char('%');
      } else if (code == QLatin1Char('f') || code == QLatin1Char('F')) {
        expanded += path;
        placed = true;
      } else if (code == QLatin1Char('u') || code == QLatin1Char('U')) {
        expanded += url;
        placed = true;
      }  // other field codes (%i, %c, %k ...) are dropped
    }
    if (!expanded.isEmpty()) result.append(expanded);
  }
  if (!placed) result.append(path);
  return result;
}

QString MimeTypeOf(const QString& path) {
  return QMimeDatabase().mimeTypeForFile(path).name();
}

QString RunningProgramFolder() {
  return QCoreApplication::applicationDirPath();
}

}  // namespace quillet
