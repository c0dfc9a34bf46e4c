// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "conversion/system_files_posix.h"

namespace quillet {
namespace {

class SystemInputFile final : public InputFile {
 public:
  explicit SystemInputFile(QByteArray path) : path_(std::move(path)) {}
  ~SystemInputFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Open() {
    // The job check saw a regular file, but by now the path may lead to a
    // FIFO, which would block the open until a writer comes, or to a device
    // that never ends. So open without waiting and look at what was opened.
    fd_ =
        ::open(path_.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) return Fail(errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return Fail(errno);
    if (!S_ISREG(st.st_mode)) return FailOwn(FailureReason::kSourceNotRegular);
    // Of the flags F_SETFL sets, the open gave only O_NONBLOCK: clearing
    // them all clears it, without asking for the flags first.
    ::fcntl(fd_, F_SETFL, 0);
    if (!Lock()) return FailOwn(FailureReason::kSourceLocked);
    // Taken after the lock: a writer that held it has finished by now.
    if (::fstat(fd_, &st) != 0) return Fail(errno);
    opened_ = st;
    return true;
  }
  qint64 Read(char* data, qint64 max) override {
    for (;;) {
      const ssize_t n = ::read(fd_, data, static_cast<std::size_t>(max));
      if (n >= 0) return n;
      if (errno != EINTR) {
        Fail(errno);
        return -1;
      }
    }
  }
  qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
    for (;;) {
      const ssize_t n =
          ::pread(fd_, data, static_cast<std::size_t>(max), offset);
      if (n >= 0) return n;
      if (errno != EINTR) {
        Fail(errno);
        return -1;
      }
    }
  }
  bool Close() override {
    // A mail client that appended or rewrote the file in place while it
    // was read leaves an output that matches neither version: compare what
    // the system says of the open file now with what it said at the open.
    struct stat now {};
    const bool stat_ok = ::fstat(fd_, &now) == 0;
    const int stat_error = errno;
    const int result = ::close(fd_);
    const int close_error = errno;
    fd_ = -1;
    if (!stat_ok) return Fail(stat_error);
    if (now.st_size != opened_.st_size ||
        now.st_mtim.tv_sec != opened_.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != opened_.st_mtim.tv_nsec) {
      return FailOwn(FailureReason::kSourceChanged);
    }
    if (result != 0 && close_error != EINTR) return Fail(close_error);
    return true;
  }
  FileError Error() const override { return error_; }

 private:
  // A shared lock over the whole file, the fcntl convention of the mail
  // clients that lock mbox files: it waits out a client that is writing
  // (they hold an exclusive lock for that), up to a few seconds, and keeps
  // a client that honours the convention from writing until the read is
  // done. Where the file system has no locks the read goes on without one.
  bool Lock() {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    for (int attempt = 0; attempt < 50; ++attempt) {
      if (::fcntl(fd_, F_SETLK, &lock) == 0) return true;
      if (errno != EAGAIN && errno != EACCES && errno != EINTR) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  bool Fail(int error) {
    error_ = FileError::System(error);
    return false;
  }
  bool FailOwn(FailureReason code) {
    error_ = FileError::Own(code);
    return false;
  }

  QByteArray path_;
  int fd_ = -1;
  struct stat opened_ {};
  FileError error_;
};

}  // namespace

std::unique_ptr<InputFile> OpenSystemInput(const QByteArray& path,
                                           FileError* error) {
  auto file = std::make_unique<SystemInputFile>(path);
  if (!file->Open()) {
    *error = file->Error();
    return nullptr;
  }
  return file;
}

}  // namespace quillet
