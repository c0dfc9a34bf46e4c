// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows error codes (GetLastError()) in words and in kinds.
#include <windows.h>

#include "conversion/run_failure.h"

namespace quillet {

CommonSystemFailure CommonFailureOf(qint64 system_code) {
  switch (static_cast<DWORD>(system_code)) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return CommonSystemFailure::kNoSpace;
    case ERROR_WRITE_PROTECT:
      return CommonSystemFailure::kReadOnlyDisk;
    case ERROR_ACCESS_DENIED:
      return CommonSystemFailure::kPermission;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return CommonSystemFailure::kNoSuchFile;
    case ERROR_TOO_MANY_OPEN_FILES:
      return CommonSystemFailure::kTooManyOpen;
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
      return CommonSystemFailure::kIoError;
    default:
      return CommonSystemFailure::kOther;
  }
}

QString SystemErrorText(qint64 system_code) {
  const auto error = static_cast<DWORD>(system_code);
  // The failures users meet in the words the POSIX systems give them, so
  // that the command line says the same on both; any other in the
  // system's words.
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return QStringLiteral("No space left on device");
    case ERROR_WRITE_PROTECT:
      return QStringLiteral("Read-only file system");
    case ERROR_ACCESS_DENIED:
      return QStringLiteral("Permission denied");
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return QStringLiteral("No such file or directory");
    case ERROR_TOO_MANY_OPEN_FILES:
      return QStringLiteral("Too many open files");
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
      return QStringLiteral("Input/output error");
  }
  wchar_t* text = nullptr;
  const DWORD size = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  QString words = size > 0 ? QString::fromWCharArray(text, size).trimmed()
                           : QStringLiteral("error %1").arg(error);
  if (text != nullptr) ::LocalFree(text);
  // The system's sentences end in a full stop; the program's reasons and
  // the POSIX system's words do not.
  if (words.endsWith(u'.')) words.chop(1);
  return words;
}

}  // namespace quillet
