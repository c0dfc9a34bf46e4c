// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/windows/shell_document_opener.h"

#include <QDir>
#include <string>

#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: shellapi.h relies on its types.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace quillet {
namespace {

std::wstring Wide(const QString& text) { return text.toStdWString(); }

// The system directory (e.g. C:\Windows\System32), empty if the system
// cannot tell it.
QString SystemDirectory() {
  wchar_t buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return QString();
  return QString::fromWCharArray(buffer, static_cast<qsizetype>(length));
}

}  // namespace

OpenOutcome ShellOpenDocument(const QString& path) {
  const std::wstring file = Wide(QDir::toNativeSeparators(path));
  // ShellExecuteW returns an HINSTANCE only for compatibility; its value is
  // a result code: above 32 on success, an error code otherwise.
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(GetDesktopWindow(), L"open", file.c_str(), nullptr, nullptr,
                    SW_SHOWNORMAL));
  if (result > 32) return OpenOutcome::kOpened;
  if (result == SE_ERR_NOASSOC) return OpenOutcome::kNoAssociation;
  return OpenOutcome::kFailed;
}

void ShellShowOpenWith(const QString& path) {
  const QString system = SystemDirectory();
  // A full path, so that no RUNDLL32.EXE planted in the current or the
  // program's folder is started instead of the system's.
  const QString rundll = system.isEmpty()
                             ? QStringLiteral("RUNDLL32.EXE")
                             : system + QStringLiteral("\\RUNDLL32.EXE");
  // OpenAs_RunDLL takes the rest of the command line as the path, blanks
  // included, so the path is not quoted.
  const std::wstring parameters =
      Wide(QStringLiteral("shell32.dll,OpenAs_RunDLL ") +
           QDir::toNativeSeparators(path));
  const std::wstring program = Wide(rundll);
  const std::wstring folder = Wide(system);
  ShellExecuteW(GetDesktopWindow(), nullptr, program.c_str(),
                parameters.c_str(), system.isEmpty() ? nullptr : folder.c_str(),
                SW_SHOWNORMAL);
}

}  // namespace quillet
