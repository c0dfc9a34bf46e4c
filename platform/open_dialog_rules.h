// SPDX-License-Identifier: GPL-3.0-or-later
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

// The names in the dialog's file-name field: several names stand each in
// double quotes ("a" "b"), as the dialog writes a choice of several; text
// without quotes is one name, blanks and all. A quote ends a name only
// where blanks and the next name's quote, or the end, follow it, so names
// that hold quotes themselves come through ("Post "alt"").
QStringList SplitTypedNames(const QString& text);

// The field's text for a choice of these names, as the dialog writes it.
QString JoinTypedNames(const QStringList& names);

// Which file of a folder a typed name stands for. The default extension
// (without dot, "" for none) is added to a name that has none. The name is
// then looked up without regard to letter case, as the original platform
// and the dialog's list do; only where several files differ in letter case
// alone does the exact spelling decide, and without it the name is
// ambiguous.
struct TypedNameMatch {
  enum Outcome { kFound, kMissing, kAmbiguous };
  Outcome outcome = kMissing;
  QString name;            // kFound: the file's own name
  QStringList candidates;  // kAmbiguous: the names it could mean
};
TypedNameMatch FindTypedName(const QString& typed,
                             const QStringList& folder_files,
                             const QString& default_ext);

}  // namespace quillet

#endif  // QUILLET_PLATFORM_OPEN_DIALOG_RULES_H_
