// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/system_files_windows.h"

#include <windows.h>

#include <QDir>
#include <QRandomGenerator>
#include <algorithm>

#include "conversion/interrupt_cleanup_windows.h"

namespace quillet {
namespace {

// ReadFile and WriteFile take at most a DWORD; stay well below it.
constexpr qint64 kMaxTransfer = qint64{1} << 30;

// A writer that holds a source: waited for this often, 100 ms apart.
constexpr int kLockAttempts = 50;

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle& operator=(HANDLE handle) {
    Close();
    handle_ = handle;
    return *this;
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  void Close() {
    if (valid()) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

qint64 SizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return static_cast<qint64>((quint64{info.nFileSizeHigh} << 32) |
                             info.nFileSizeLow);
}

// --- sources -----------------------------------------------------------------

class SystemInputFile final : public InputFile {
 public:
  bool Open(const QString& path) {
    const std::wstring name = LongPath(path);
    // Others may read while we do, nobody may write: a mail program that
    // has the mailbox open for writing makes the open fail with a sharing
    // violation, which is waited out for a few seconds, then reported.
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
      file_ = ::CreateFileW(
          name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
      if (file_.valid()) break;
      const DWORD error = ::GetLastError();
      if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
        return Fail(error);
      }
      ::Sleep(100);
    }
    if (!file_.valid()) return FailOwn(FailureReason::kSourceLocked);
    if (::GetFileType(file_.get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file_.get(), &opened_) ||
        (opened_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return FailOwn(FailureReason::kSourceNotRegular);
    }
    return true;
  }

  qint64 Read(char* data, qint64 max) override {
    const qint64 n = ReadAt(position_, data, max);
    if (n > 0) position_ += n;
    return n;
  }
  qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
    // Every read names its offset, so a look ahead never moves the place
    // that Read() goes on from.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<quint64>(offset) & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(static_cast<quint64>(offset) >> 32);
    DWORD n = 0;
    if (!::ReadFile(file_.get(), data,
                    static_cast<DWORD>(std::min(max, kMaxTransfer)), &n, &at)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_HANDLE_EOF) return 0;
      Fail(error);
      return -1;
    }
    return static_cast<qint64>(n);
  }
  bool Close() override {
    // A mail client that appended or rewrote the file while it was read
    // leaves an output that matches neither version.
    BY_HANDLE_FILE_INFORMATION now{};
    const bool known = ::GetFileInformationByHandle(file_.get(), &now) != 0;
    const DWORD error = ::GetLastError();
    file_.Close();
    if (!known) return Fail(error);
    if (SizeOf(now) != SizeOf(opened_) ||
        ::CompareFileTime(&now.ftLastWriteTime, &opened_.ftLastWriteTime) !=
            0) {
      return FailOwn(FailureReason::kSourceChanged);
    }
    return true;
  }
  FileError Error() const override { return error_; }

 private:
  bool Fail(DWORD error) {
    error_ = FileError::System(error);
    return false;
  }
  bool FailOwn(FailureReason code) {
    error_ = FileError::Own(code);
    return false;
  }

  Handle file_;
  BY_HANDLE_FILE_INFORMATION opened_{};
  qint64 position_ = 0;
  FileError error_;
};

// --- outputs -----------------------------------------------------------------

class SystemOutputFile final : public OutputFile {
 public:
  explicit SystemOutputFile(QString path)
      : path_(std::move(path)), final_(LongPath(path_)) {}
  ~SystemOutputFile() override {
    const auto held = HoldInterrupts();
    file_.Close();
    if (!committed_ && !temporary_.empty()) {
      ::DeleteFileW(temporary_.c_str());
    }
    UnregisterTemporary(slot_);
  }

  bool Open() {
    const std::size_t slash = final_.find_last_of(L'\\');
    const std::wstring folder = final_.substr(0, slash + 1);
    std::wstring base = final_.substr(slash + 1);
    // The name says what a leftover is (after a power cut) and begins with
    // a dot, so that mail programs reading the folder skip it. Created only
    // where no file has the name; others may not open it at all, but it may
    // be deleted while open, which is what the console handler does.
    static constexpr int kRandom = 6;
    const std::size_t extra = 1 + sizeof kTemporaryMarker - 1 + kRandom;
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporary_ = folder + L"." + base +
                   QString::fromLatin1(kTemporaryMarker).toStdWString() +
                   RandomPart(kRandom);
      {
        const auto held = HoldInterrupts();
        file_ = ::CreateFileW(temporary_.c_str(), GENERIC_WRITE | DELETE,
                              FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_.valid()) {
          slot_ = RegisterTemporary(temporary_, path_);
          return true;
        }
      }
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
        continue;
      }
      if ((error == ERROR_FILENAME_EXCED_RANGE ||
           error == ERROR_INVALID_NAME) &&
          base.size() > 1 && base.size() + extra > 255) {
        // An output name near the limit: shorten the temporary name's copy
        // of it (never between the halves of a surrogate pair).
        std::size_t keep = std::max<std::size_t>(1, 255 - extra);
        if (keep < base.size() && base[keep] >= 0xDC00 && base[keep] <= 0xDFFF)
          --keep;
        base.resize(keep);
        continue;
      }
      temporary_.clear();
      return OpenFailed(error, folder);
    }
    temporary_.clear();
    return Fail(ERROR_FILE_EXISTS);
  }

  bool Write(const char* data, qint64 size) override {
    while (size > 0) {
      DWORD n = 0;
      if (!::WriteFile(file_.get(), data,
                       static_cast<DWORD>(std::min(size, kMaxTransfer)), &n,
                       nullptr)) {
        return Fail(::GetLastError());
      }
      if (n == 0) return Fail(ERROR_WRITE_FAULT);
      data += n;
      size -= n;
    }
    return true;
  }
  bool Flush() override { return true; }  // nothing is buffered here
  bool Sync() override {
    // The disk's verdict on every byte: a full share or a failing disk
    // answer here.
    if (!::FlushFileBuffers(file_.get())) return Fail(::GetLastError());
    synced_ = true;
    return true;
  }
  bool Commit() override {
    if (!synced_ && !Sync()) return false;
    // Moved and unregistered as one step for the console handler.
    const auto held = HoldInterrupts();
    file_.Close();
    const DWORD old = ::GetFileAttributesW(final_.c_str());
    bool moved = false;
    const bool replaced = old != INVALID_FILE_ATTRIBUTES;
    if (old == INVALID_FILE_ATTRIBUTES ||
        (old & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            0) {
      // Onto a free name only: never replace what appeared under the name
      // meanwhile, nor (names ignore letter case) another output of this
      // run. Write-through: the move is on the disk when this returns.
      moved = ::MoveFileExW(temporary_.c_str(), final_.c_str(),
                            MOVEFILE_WRITE_THROUGH) != 0;
      const DWORD error = ::GetLastError();
      if (!moved &&
          (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) {
        error_ = FileError::Own(FailureReason::kOutputTaken);
        return false;
      }
      if (!moved) return Fail(error);
    } else {
      // An older output: replaced as one step by the new file, which keeps
      // the security it was created with (the folder's inherited entries,
      // this user as owner). The old file's access-control list and owner
      // are not taken over: another user's file must not hand them on.
      moved = ::MoveFileExW(
                  temporary_.c_str(), final_.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      if (!moved) return Fail(::GetLastError());
    }
    committed_ = true;
    UnregisterTemporary(slot_);
    slot_ = -1;
    RecordCompleted(path_, replaced, note_);
    return true;
  }
  FileError Error() const override { return error_; }
  void SetCompletionNote(const QByteArray& line) override { note_ = line; }

 private:
  static std::wstring RandomPart(int length) {
    static constexpr wchar_t kChars[] =
        L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::wstring part(static_cast<std::size_t>(length), L'x');
    for (wchar_t& c : part) {
      c = kChars[QRandomGenerator::global()->bounded(
          int(sizeof kChars / sizeof kChars[0]) - 1)];
    }
    return part;
  }

  bool OpenFailed(DWORD error, const std::wstring& folder) {
    // The system's words where they name the cause; where the name itself
    // is refused, the program's own.
    const DWORD folder_attributes = ::GetFileAttributesW(folder.c_str());
    if (error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME ||
        error == ERROR_DIRECTORY ||
        (error == ERROR_PATH_NOT_FOUND &&
         folder_attributes != INVALID_FILE_ATTRIBUTES)) {
      error_ = FileError::Own(FailureReason::kNameNotAllowed);
      return false;
    }
    if (error == ERROR_FILENAME_EXCED_RANGE) {
      error_ = FileError::Own(FailureReason::kNameTooLong);
      return false;
    }
    return Fail(error);
  }
  bool Fail(DWORD error) {
    error_ = FileError::System(error);
    return false;
  }

  QString path_;        // as reported
  std::wstring final_;  // the output's `\\?\` path
  std::wstring temporary_;
  Handle file_;
  int slot_ = -1;
  bool synced_ = false;
  bool committed_ = false;
  QByteArray note_;  // the result list's line, for an interrupt
  FileError error_;
};

}  // namespace

std::wstring LongPath(const QString& path) {
  QString full = QDir::fromNativeSeparators(path);
  if (full.startsWith(QLatin1String("//?/")) ||
      full.startsWith(QLatin1String("//./"))) {
    return QDir::toNativeSeparators(full).toStdWString();
  }
  if (QDir::isRelativePath(full)) {
    full = QDir::currentPath() + u'/' + full;
  } else if (full.startsWith(u'/') && !full.startsWith(QLatin1String("//"))) {
    full = QDir::currentPath().left(2) + full;  // "/in" on the current drive
  }
  // `\\?\` paths are taken literally: "." and ".." must be gone first.
  full = QDir::toNativeSeparators(QDir::cleanPath(full));
  if (full.startsWith(QLatin1String("\\\\"))) {
    return L"\\\\?\\UNC\\" + full.mid(2).toStdWString();
  }
  return L"\\\\?\\" + full.toStdWString();
}

std::unique_ptr<InputFile> OpenSystemInput(const QString& path,
                                           FileError* error) {
  auto file = std::make_unique<SystemInputFile>();
  if (!file->Open(path)) {
    *error = file->Error();
    return nullptr;
  }
  return file;
}

std::unique_ptr<OutputFile> OpenSystemOutput(const QString& path,
                                             FileError* error) {
  auto file = std::make_unique<SystemOutputFile>(path);
  if (!file->Open()) {
    *error = file->Error();
    return nullptr;
  }
  return file;
}

}  // namespace quillet
