// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_UI_HELP_MODULE1_H_
#define QUILLET_UI_HELP_MODULE1_H_

#include <QString>

#include "platform/desktop.h"

namespace quillet {

// Module1: the document opener.

// Opens the document at `path` with the program associated with its type;
// when no program is associated, shows the chooser of a program for it.
// Every other outcome, a missing document among them, passes silently.
void OpenDocument(Desktop& desktop, const QString& path);

// The instructions file: the program's folder followed directly by
// "/readme.txt".
QString InstructionsPath(Desktop& desktop);

}  // namespace quillet

#endif  // QUILLET_UI_HELP_MODULE1_H_
