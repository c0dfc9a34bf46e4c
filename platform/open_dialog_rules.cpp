// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/open_dialog_rules.h"

#include <QChar>
#include <QFileInfo>
#include <QRegularExpression>

namespace quillet {

QList<FilterEntry> ParseFilter(const QString& filter) {
  QList<FilterEntry> entries;
  const QStringList fields = filter.split(QLatin1Char('|'));
  for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
    FilterEntry entry;
    entry.text = fields[i];
    for (const QString& pattern :
         fields[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      entry.patterns.append(pattern.trimmed());
    }
    entries.append(entry);
  }
  return entries;
}

bool MatchesPattern(const QString& file_name, const QString& pattern) {
  // On the original platform "*.*" and "*" both mean every file; a literal
  // wildcard match would hide names without a dot.
  if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) {
    return true;
  }
  const QRegularExpression expression(
      QRegularExpression::wildcardToRegularExpression(
          pattern, QRegularExpression::UnanchoredWildcardConversion),
      QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = expression.match(file_name);
  return match.hasMatch() && match.capturedStart() == 0 &&
         match.capturedLength() == file_name.size();
}

bool MatchesAnyPattern(const QString& file_name, const QStringList& patterns) {
  for (const QString& pattern : patterns) {
    if (MatchesPattern(file_name, pattern)) return true;
  }
  return false;
}

QString ComposeOpenAnswer(const QStringList& chosen_paths) {
  if (chosen_paths.isEmpty()) return QString();
  if (chosen_paths.size() == 1) return chosen_paths.front();
  const QString& first = chosen_paths.front();
  const qsizetype slash = first.lastIndexOf(QLatin1Char('/'));
  // The root keeps its separator ("/"); any other folder has none.
  QString answer = slash <= 0 ? QStringLiteral("/") : first.left(slash);
  for (const QString& path : chosen_paths) {
    answer += QChar(u'\0');
    answer += path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
  }
  return answer;
}

InitialSelection SplitOpenAnswer(const QString& answer) {
  InitialSelection selection;
  if (answer.isEmpty()) return selection;
  const QStringList parts = answer.split(QChar(u'\0'));
  if (parts.size() == 1) {
    const qsizetype slash = answer.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) selection.folder = answer.left(slash + 1);
    selection.names.append(answer.mid(slash + 1));
    return selection;
  }
  selection.folder = parts.front();
  selection.names = parts.mid(1);
  return selection;
}

QStringList SplitTypedNames(const QString& text) {
  if (!text.contains(QLatin1Char('"'))) {
    return text.isEmpty() ? QStringList() : QStringList{text};
  }
  // "a" "b": each name runs from an opening quote to the quote that is
  // followed by nothing but blanks before the next opening quote or the
  // end, so that a name may hold quotes itself ("Post "alt"").
  const auto closes = [&text](qsizetype q) {
    qsizetype next = q + 1;
    while (next < text.size() && text[next] == u' ') ++next;
    return next == text.size() || (next > q + 1 && text[next] == u'"');
  };
  QStringList names;
  qsizetype at = text.indexOf(u'"');
  while (at >= 0 && at < text.size()) {
    qsizetype end = at + 1;
    while (end < text.size() && !(text[end] == u'"' && closes(end))) ++end;
    const QString name = text.mid(at + 1, end - at - 1);
    if (!name.isEmpty()) names.append(name);
    at = end + 1 < text.size() ? text.indexOf(u'"', end + 1) : -1;
  }
  return names;
}

QString JoinTypedNames(const QStringList& names) {
  if (names.size() == 1) return names.front();
  QStringList quoted;
  for (const QString& name : names) {
    quoted.append(QLatin1Char('"') + name + QLatin1Char('"'));
  }
  return quoted.join(QLatin1Char(' '));
}

TypedNameMatch FindTypedName(const QString& typed,
                             const QStringList& folder_files,
                             const QString& default_ext) {
  QString wanted = typed;
  if (!default_ext.isEmpty() && !typed.contains(QLatin1Char('.'))) {
    wanted += QLatin1Char('.') + default_ext;
  }
  TypedNameMatch match;
  for (const QString& file : folder_files) {
    if (file == wanted) {
      match.outcome = TypedNameMatch::kFound;
      match.name = file;
      match.candidates.clear();
      return match;
    }
    if (file.compare(wanted, Qt::CaseInsensitive) == 0) {
      match.candidates.append(file);
    }
  }
  if (match.candidates.size() == 1) {
    match.outcome = TypedNameMatch::kFound;
    match.name = match.candidates.takeFirst();
  } else if (match.candidates.size() > 1) {
    match.outcome = TypedNameMatch::kAmbiguous;
  }
  return match;
}

}  // namespace quillet
