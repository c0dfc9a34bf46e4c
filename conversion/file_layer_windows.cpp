// SPDX-License-Identifier: GPL-3.0-or-later
// The file layer on Windows: what the job check learns of paths and folders,
// and the system's sources and outputs (system_files_windows.h).
#include <windows.h>

#include <QDir>
#include <vector>

#include "conversion/file_layer.h"
#include "conversion/system_files_windows.h"

namespace quillet {
namespace {

// A name that is a symbolic link or a junction (a mount point), as opposed
// to other reparse points, such as the placeholders of cloud folders, which
// are ordinary files to a reader.
bool IsLink(const std::wstring& name) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(name.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
          found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

// Whether the folder's access-control list lets this process create files
// in it. Where the system cannot tell, nothing speaks against it: creating
// the temporary file then says why not.
bool MayCreateFilesIn(const std::wstring& folder) {
  const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION |
                                      GROUP_SECURITY_INFORMATION |
                                      DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  ::GetFileSecurityW(folder.c_str(), wanted, nullptr, 0, &needed);
  if (needed == 0) return true;
  std::vector<char> descriptor(needed);
  if (!::GetFileSecurityW(folder.c_str(), wanted, descriptor.data(), needed,
                          &needed)) {
    return true;
  }
  HANDLE process_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(),
                          TOKEN_IMPERSONATE | TOKEN_QUERY | TOKEN_DUPLICATE |
                              STANDARD_RIGHTS_READ,
                          &process_token)) {
    return true;
  }
  HANDLE token = nullptr;
  const bool duplicated =
      ::DuplicateToken(process_token, SecurityImpersonation, &token) != 0;
  ::CloseHandle(process_token);
  if (!duplicated) return true;
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE,
                             FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  DWORD access = FILE_ADD_FILE;
  ::MapGenericMask(&access, &mapping);
  PRIVILEGE_SET privileges{};
  DWORD privileges_size = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  const bool checked =
      ::AccessCheck(descriptor.data(), token, access, &mapping, &privileges,
                    &privileges_size, &granted, &allowed) != 0;
  ::CloseHandle(token);
  return !checked || allowed;
}

void InspectFolder(const std::wstring& name, HANDLE folder, PathFacts* facts) {
  // Windows refuses the characters that FAT refuses and trailing dots and
  // spaces on every file system, ignores letter case in names, and takes
  // device names for devices.
  facts->fat_names = true;
  facts->folds_case = true;
  facts->device_names = true;
  facts->name_max_in_utf16 = true;
  DWORD name_max = 0;
  DWORD flags = 0;
  if (::GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, &name_max,
                                      &flags, nullptr, 0)) {
    facts->name_max = name_max;
    if ((flags & FILE_READ_ONLY_VOLUME) != 0) {
      facts->writable = false;
      facts->not_writable = FailureReason::kTargetReadOnly;
      return;
    }
  }
  if (!MayCreateFilesIn(name)) {
    facts->writable = false;
    facts->not_writable = FailureReason::kTargetNotWritable;
  }
}

class SystemFileLayerImpl final : public FileLayer {
 public:
  PathFacts Inspect(const QString& path) override {
    PathFacts facts;
    const std::wstring name = LongPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) {
      return facts;
    }
    facts.exists = true;
    facts.is_symlink =
        (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        IsLink(name);
    // Opened for its facts only, links followed, sharing everything: a
    // mailbox open in a mail program can still be looked at.
    const HANDLE file = ::CreateFileW(
        name.c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (facts.is_symlink) return facts;  // dangling
      facts.is_directory =
          (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      facts.is_regular_file = !facts.is_directory;
      facts.readable = false;
      return facts;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file, &info)) {
      facts.device = info.dwVolumeSerialNumber;
      facts.inode = (quint64{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
      data.dwFileAttributes = info.dwFileAttributes;
    }
    facts.is_directory =
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.is_regular_file =
        !facts.is_directory && ::GetFileType(file) == FILE_TYPE_DISK;
    facts.permissions =
        (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    // A read-only file cannot be replaced by a move: the check refuses it
    // as it refuses an immutable file elsewhere. (On folders the attribute
    // means nothing to moves.)
    facts.immutable = facts.is_regular_file &&
                      (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (facts.is_regular_file) {
      // Only a refusal counts: a writer holding the file makes the open
      // fail with a sharing violation, which the run waits out.
      const HANDLE probe =
          ::CreateFileW(name.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (probe != INVALID_HANDLE_VALUE) {
        ::CloseHandle(probe);
      } else {
        facts.readable = ::GetLastError() != ERROR_ACCESS_DENIED;
      }
    }
    if (facts.is_directory) InspectFolder(name, file, &facts);
    ::CloseHandle(file);
    return facts;
  }

  std::optional<qint64> Size(const QString& path, FileError* error) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard,
                                &data)) {
      *error = FileError::System(::GetLastError());
      return std::nullopt;
    }
    return static_cast<qint64>((quint64{data.nFileSizeHigh} << 32) |
                               data.nFileSizeLow);
  }

  std::unique_ptr<InputFile> OpenInput(const QString& path,
                                       FileError* error) override {
    return OpenSystemInput(path, error);
  }

  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         FileError* error) override {
    return OpenSystemOutput(path, error);
  }

  // Nothing to do: every new output is moved into place with
  // MOVEFILE_WRITE_THROUGH, which returns once the move is on the disk.
  bool SyncFolder(const QString& /*folder*/, FileError* /*error*/) override {
    return true;
  }

  bool ListsExactly(const QString& path) override {
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QStringLiteral(".") : path.left(slash);
    const QString name = path.mid(slash + 1);
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        ::FindFirstFileW((LongPath(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;  // no evidence
    bool listed = false;
    do {
      listed = QString::fromWCharArray(found.cFileName) == name;
    } while (!listed && ::FindNextFileW(search, &found));
    ::FindClose(search);
    return listed;
  }
};

}  // namespace

FileLayer& SystemFileLayer() {
  static SystemFileLayerImpl layer;
  return layer;
}

}  // namespace quillet
