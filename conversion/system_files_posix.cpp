// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/system_files_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "conversion/interrupt_cleanup_posix.h"

namespace quillet {
namespace {

// The process's umask, read without changing it where the system tells it
// (changing it, even for a moment, races with other threads creating files).
mode_t ProcessUmask() {
  static const mode_t mask = [] {
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
      char line[256];
      unsigned int value = 0;
      bool found = false;
      while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
          found = true;
          break;
        }
      }
      std::fclose(status);
      if (found) return static_cast<mode_t>(value);
    }
    const mode_t old = ::umask(022);
    ::umask(old);
    return old;
  }();
  return mask;
}

// --- outputs -----------------------------------------------------------------

class SystemOutputFile final : public OutputFile {
 public:
  explicit SystemOutputFile(QByteArray path) : path_(std::move(path)) {}
  ~SystemOutputFile() override {
    if (fd_ >= 0) ::close(fd_);
    const InterruptsHeld held;
    if (!committed_ && !temporary_.isEmpty()) ::unlink(temporary_.constData());
    UnregisterTemporary(slot_);
  }

  bool Open() {
    const qsizetype slash = path_.lastIndexOf('/');
    const QByteArray folder = path_.left(slash + 1);
    const QByteArray name = path_.mid(slash + 1);
    // The name says what a leftover is (after a power cut or SIGKILL) and
    // begins with a dot, so that mail programs reading the folder skip it.
    // Created exclusively and without following links: a name planted in a
    // shared folder cannot redirect the write.
    static constexpr int kRandom = 6;
    const qsizetype extra =
        1 + qsizetype(sizeof kTemporaryMarker) - 1 + kRandom;
    QByteArray base = name;
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporary_ = folder + '.' + base + kTemporaryMarker + RandomPart(kRandom);
      {
        const InterruptsHeld held;
        fd_ =
            ::open(temporary_.constData(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
          slot_ = RegisterTemporary(temporary_.constData(), path_.constData());
          break;
        }
      }
      const int error = errno;
      if (error == EEXIST) continue;
      if (error == ENAMETOOLONG && base.size() > 1 &&
          base.size() + extra > 255) {
        // An output name near the limit: shorten the temporary name's copy
        // of it (at a character boundary), not the output's.
        qsizetype keep = std::max<qsizetype>(1, 255 - extra);
        while (keep > 1 &&
               (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) {
          --keep;
        }
        base = base.left(keep);
        continue;
      }
      temporary_.clear();
      return OpenFailed(error, folder);
    }
    if (fd_ < 0) {
      temporary_.clear();
      error_ = SystemError(EEXIST);
      return false;
    }
    return true;
  }

  bool Write(const char* data, qint64 size) override {
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, static_cast<std::size_t>(size));
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      if (n == 0) return Fail(EIO);
      data += n;
      size -= n;
      written_ += n;
    }
    StartWriteBack(false);
    return true;
  }
  bool Flush() override {
    // Nothing is buffered here; a large output starts writing out its
    // rest. An output smaller than the write-back step is left to Sync():
    // one system call per small file less, the bytes go out with the sync.
    StartWriteBack(true);
    return true;
  }
  bool Sync() override {
    // The disk's verdict on every byte: a thin volume that ran out, a
    // failing disk, a full network share answer here, not at write().
    for (;;) {
      if (::fdatasync(fd_) == 0) break;
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    synced_ = true;
    return true;
  }
  bool Commit() override {
    if (!synced_ && !Sync()) return false;
    struct stat old {};
    const bool exists = ::lstat(path_.constData(), &old) == 0;
    // The output is this process's file (created by it, never given away)
    // and grants nobody more than the source does: the source's permission
    // bits less the umask, as cp gives them, and where it replaces a file
    // no more than that file gave either. The old file's owner, group and
    // access-control list are not copied: another user's empty 0666 file in
    // a shared folder must not receive a private mailbox.
    mode_t mode = new_mode_ & 0777 & ~ProcessUmask();
    if (exists && S_ISREG(old.st_mode)) mode &= old.st_mode & 0777;
    ::fchmod(fd_, mode);
    const InterruptsHeld held;  // renamed and unregistered as one step
    int result = -1;
    if (!exists) {
      // Never replace what appeared under the name meanwhile, nor (where
      // the file system ignores letter case) another output of this run.
#ifdef Q_OS_LINUX
      result = ::renameat2(AT_FDCWD, temporary_.constData(), AT_FDCWD,
                           path_.constData(), RENAME_NOREPLACE);
      if (result != 0 && errno == EEXIST) {
        code_ = FailureReason::kOutputTaken;
        error_ = ReasonText(code_);
        return false;
      }
      if (result != 0 && errno != EINVAL && errno != ENOSYS &&
          errno != ENOTSUP) {
        return Fail(errno);
      }
#endif
    }
    // rename() replaces the directory entry, a symbolic link included,
    // never the file a link leads to.
    if (result != 0 &&
        ::rename(temporary_.constData(), path_.constData()) != 0) {
      return Fail(errno);
    }
    committed_ = true;
    UnregisterTemporary(slot_);
    slot_ = -1;
    ::close(fd_);  // synced already: a late error here would change nothing
    fd_ = -1;
    return true;
  }
  QString ErrorString() const override { return error_; }
  FailureReason ErrorCode() const override { return code_; }
  void SetNewFileMode(quint32 mode) override { new_mode_ = mode; }

 private:
  static QByteArray RandomPart(int length) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray part(length, 'x');
    for (char& c : part) {
      c = kChars[QRandomGenerator::global()->bounded(int(sizeof kChars) - 1)];
    }
    return part;
  }

  bool OpenFailed(int error, const QByteArray& folder) {
    // The system's words where they name the cause; where they do not (a
    // FAT or exFAT volume refusing a character says "Invalid argument" or
    // even "No such file or directory"), the program's own.
    struct stat st {};
    if (error == EINVAL ||
        (error == ENOENT && ::stat(folder.constData(), &st) == 0)) {
      code_ = FailureReason::kNameNotAllowed;
      error_ = ReasonText(code_);
      return false;
    }
    if (error == ENAMETOOLONG) {
      code_ = FailureReason::kNameTooLong;
      error_ = ReasonText(code_);
      return false;
    }
    return Fail(error);
  }

  // Asks the system to start writing each few MiB as soon as they are
  // complete: the disk works while the conversion goes on, so the final
  // sync is short, and a large output does not pile up in memory as
  // unwritten pages.
  void StartWriteBack(bool rest) {
#ifdef Q_OS_LINUX
    static constexpr qint64 kStep = qint64{8} << 20;
    if (written_ == started_ || written_ < kStep ||
        (!rest && written_ - started_ < kStep)) {
      return;
    }
    // Advisory: a failure here changes nothing, Sync() still waits.
    ::sync_file_range(fd_, started_, written_ - started_,
                      SYNC_FILE_RANGE_WRITE);
    started_ = written_;
#else
    (void)rest;
#endif
  }
  bool Fail(int error) {
    error_ = SystemError(error);
    code_ = FailureReason::kSystem;
    return false;
  }

  QByteArray path_;
  QByteArray temporary_;
  int fd_ = -1;
  int slot_ = -1;
  bool synced_ = false;
  bool committed_ = false;
  quint32 new_mode_ = 0666;
  qint64 written_ = 0;
  qint64 started_ = 0;  // bytes already handed to the disk's write-back
  QString error_;
  FailureReason code_ = FailureReason::kSystem;
};

}  // namespace

QString SystemError(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

std::unique_ptr<OutputFile> OpenSystemOutput(const QByteArray& path,
                                             FileError* error) {
  auto file = std::make_unique<SystemOutputFile>(path);
  if (!file->Open()) {
    *error = file->Error();
    return nullptr;
  }
  return file;
}

}  // namespace quillet
