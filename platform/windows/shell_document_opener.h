// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_PLATFORM_WINDOWS_SHELL_DOCUMENT_OPENER_H_
#define QUILLET_PLATFORM_WINDOWS_SHELL_DOCUMENT_OPENER_H_

#include <QString>

#include "platform/desktop.h"

namespace quillet {

// The document opener on Windows, through the shell, for the Desktop's
// OpenWithAssociatedProgram and ShowProgramChooser. Both return without
// waiting for the started program. Built on Windows only.

// Performs the "open" verb on the document (ShellExecuteW, shown normally,
// the desktop window as parent). kOpened when the shell reports success,
// kNoAssociation for SE_ERR_NOASSOC (no program is associated with the
// document's type), kFailed for every other error, a missing file among
// them.
OpenOutcome ShellOpenDocument(const QString& path);

// Shows the shell's Open With dialog for the document: RUNDLL32.EXE from
// the system directory with "shell32.dll,OpenAs_RunDLL " and the path,
// started in the system directory. What it returns is not looked at.
void ShellShowOpenWith(const QString& path);

}  // namespace quillet

#endif  // QUILLET_PLATFORM_WINDOWS_SHELL_DOCUMENT_OPENER_H_
