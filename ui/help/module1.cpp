// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/help/module1.h"

namespace quillet {

void OpenDocument(Desktop& desktop, const QString& path) {
  if (desktop.OpenWithAssociatedProgram(path) == OpenOutcome::kNoAssociation) {
    desktop.ShowProgramChooser(path);
  }
}

QString InstructionsPath(Desktop& desktop) {
  return desktop.ProgramFolder() + QStringLiteral("/readme.txt");
}

}  // namespace quillet
