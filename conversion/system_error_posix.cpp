// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX system's error codes (errno values) in words and in kinds.
#include <cerrno>
#include <cstring>

#include "conversion/run_failure.h"

namespace quillet {

CommonSystemFailure CommonFailureOf(qint64 system_code) {
  switch (system_code) {
    case ENOSPC:
      return CommonSystemFailure::kNoSpace;
    case EDQUOT:
      return CommonSystemFailure::kQuota;
    case EROFS:
      return CommonSystemFailure::kReadOnlyDisk;
    case EACCES:
    case EPERM:
      return CommonSystemFailure::kPermission;
    case EIO:
      return CommonSystemFailure::kIoError;
    case ENOENT:
      return CommonSystemFailure::kNoSuchFile;
    case EMFILE:
    case ENFILE:
      return CommonSystemFailure::kTooManyOpen;
    case ENAMETOOLONG:
      return CommonSystemFailure::kNameTooLong;
    default:
      return CommonSystemFailure::kOther;
  }
}

QString SystemErrorText(qint64 system_code) {
  return QString::fromLocal8Bit(std::strerror(static_cast<int>(system_code)));
}

}  // namespace quillet
