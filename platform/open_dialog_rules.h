#ifndef QUILLET_PLATFORM_OPEN_DIALOG_RULES_H_
#define QUILLET_PLATFORM_OPEN_DIALOG_RULES_H_

#include <QList>
#include <QString>
#include <QStringList>

namespace quillet {

// How the file-open dialog behaves as on the original platform, apart from
// any widget: the filter's two-field form, the matching of file names, and
// the forms of its answer.

// One entry of a filter: the text shown in the file-type list and its
// patterns (";"-separated in the filter).
struct FilterEntry {
  QString text;
  QStringList patterns;
};

// Splits "text|pattern[|text|pattern...]". A trailing text without a
// pattern is dropped.
QList<FilterEntry> ParseFilter(const QString& filter);

// Matches a file name (no folder) as the original dialog does: without
// regard to letter case, and "*.*" lists every file, names without a dot
// included.
bool MatchesPattern(const QString& file_name, const QString& pattern);
bool MatchesAnyPattern(const QString& file_name, const QStringList& patterns);

// Turns the chosen files (full paths, all in one folder) into the dialog's
// answer: "" for none, the path itself for one, and for two or more the
// folder (with a final "/" only when it is the root), then each name, all
// separated by one NUL. The length is not limited.
QString ComposeOpenAnswer(const QStringList& chosen_paths);

// What an earlier answer means as the dialog's initial selection.
struct InitialSelection {
  QString folder;     // "" when the answer names no folder
  QStringList names;  // names within `folder`
};
InitialSelection SplitOpenAnswer(const QString& answer);

}  // namespace quillet

#endif  // QUILLET_PLATFORM_OPEN_DIALOG_RULES_H_
