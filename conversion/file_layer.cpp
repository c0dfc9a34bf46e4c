#include "conversion/file_layer.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <pthread.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#endif
#endif

namespace quillet {

#ifdef Q_OS_UNIX
namespace {

QString SystemError(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

// --- temporary outputs to remove when a signal ends the process -----------
//
// Slots hold pointers to the C strings of live temporary outputs (and of the
// output each becomes). The signal handler only loads the pointers, calls
// unlink() and write(), and re-raises: all async-signal-safe. An owner
// clears its slot before it frees the strings.
constexpr int kInterruptSlots = 256;
std::atomic<const char*> g_temporary[kInterruptSlots];
std::atomic<const char*> g_output[kInterruptSlots];
std::atomic<const char*> g_program{"quillet"};
std::atomic<int> g_idle_fd{-1};

int RegisterTemporary(const char* temporary, const char* output) {
  for (int i = 0; i < kInterruptSlots; ++i) {
    const char* expected = nullptr;
    if (g_output[i].compare_exchange_strong(expected, output)) {
      g_temporary[i].store(temporary);
      return i;
    }
  }
  return -1;  // all taken: such a file is still removed on every failure
}

void UnregisterTemporary(int slot) {
  if (slot < 0) return;
  g_temporary[slot].store(nullptr);
  g_output[slot].store(nullptr);
}

// Holds SIGINT, SIGTERM and SIGHUP back for its life, so that creating,
// renaming or removing a temporary file and recording that in the registry
// happen as one step for the handler.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
      sigaddset(&held, signal_number);
    }
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous_;
};

void WriteAll(const char* text) {
  std::size_t size = std::strlen(text);
  while (size > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, size);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    text += n;
    size -= static_cast<std::size_t>(n);
  }
}

const char* SignalName(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
  }
  return "a signal";
}

extern "C" void OnInterrupt(int signal_number) {
  const int saved_errno = errno;
  const char* program = g_program.load();
  const int idle_fd = g_idle_fd.load();
  if (idle_fd >= 0) {
    bool writing = false;
    for (int i = 0; i < kInterruptSlots && !writing; ++i) {
      writing = g_temporary[i].load() != nullptr;
    }
    if (!writing) {
      const char byte = static_cast<char>(signal_number);
      (void)!::write(idle_fd, &byte, 1);
      errno = saved_errno;
      return;
    }
  }
  bool any = false;
  for (int i = 0; i < kInterruptSlots; ++i) {
    const char* temporary = g_temporary[i].exchange(nullptr);
    const char* output = g_output[i].load();
    if (temporary == nullptr) continue;
    ::unlink(temporary);
    any = true;
    WriteAll(program);
    WriteAll(": interrupted by ");
    WriteAll(SignalName(signal_number));
    WriteAll(" while writing ");
    WriteAll(output != nullptr ? output : temporary);
    WriteAll("; nothing of it was saved, its temporary file ");
    WriteAll(temporary);
    WriteAll(" was removed\n");
  }
  if (!any) {
    WriteAll(program);
    WriteAll(": interrupted by ");
    WriteAll(SignalName(signal_number));
    WriteAll("; no output was being written\n");
  }
  // End by the same signal, so that the caller sees why.
  ::signal(signal_number, SIG_DFL);
  errno = saved_errno;
  ::raise(signal_number);
}

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

// --- sources -----------------------------------------------------------------

class SystemInputFile final : public InputFile {
 public:
  explicit SystemInputFile(QByteArray path) : path_(std::move(path)) {}
  ~SystemInputFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Open(FailureReason* code) {
    // The job check saw a regular file, but by now the path may lead to a
    // FIFO, which would block the open until a writer comes, or to a device
    // that never ends. So open without waiting and look at what was opened.
    fd_ = ::open(path_.constData(),
                 O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) return Fail(errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return Fail(errno);
    if (!S_ISREG(st.st_mode)) {
      error_ = QStringLiteral("not a regular file");
      return false;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    if (!Lock()) {
      *code = FailureReason::kSourceLocked;
      error_ = ReasonText(*code);
      return false;
    }
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
      changed_ = true;
      error_ = ReasonText(FailureReason::kSourceChanged);
      return false;
    }
    if (result != 0 && close_error != EINTR) return Fail(close_error);
    return true;
  }
  QString ErrorString() const override { return error_; }
  bool Changed() const override { return changed_; }

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
    error_ = SystemError(error);
    return false;
  }

  QByteArray path_;
  int fd_ = -1;
  struct stat opened_ {};
  bool changed_ = false;
  QString error_;
};

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
    const qsizetype extra = 1 + qsizetype(sizeof kTemporaryMarker) - 1 + kRandom;
    QByteArray base = name;
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporary_ = folder + '.' + base + kTemporaryMarker + RandomPart(kRandom);
      {
        const InterruptsHeld held;
        fd_ = ::open(temporary_.constData(),
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
        while (keep > 1 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) {
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
    // Nothing is buffered here; start writing out the rest, so that a later
    // Sync() of many small outputs finds most of their bytes on the disk.
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
    if (exists && S_ISREG(old.st_mode)) {
      KeepMetadataOf(old);
    } else {
      // A new file: the source's permission bits less the umask, as cp
      // gives them (a 0600 mailbox must not become readable by all).
      ::fchmod(fd_, new_mode_ & 0777 & ~ProcessUmask());
    }
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
    if (result != 0 && ::rename(temporary_.constData(), path_.constData()) != 0) {
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

  // A replaced output keeps who may read it: mode, owner and group (where
  // the process may give them), and the access-control list.
  void KeepMetadataOf(const struct stat& old) {
    if (::fchown(fd_, old.st_uid, old.st_gid) != 0) {
      ::fchown(fd_, static_cast<uid_t>(-1), old.st_gid);  // the group alone
    }
    ::fchmod(fd_, old.st_mode & 07777);
#ifdef Q_OS_LINUX
    char acl[4096];
    const ssize_t size = ::lgetxattr(path_.constData(),
                                     "system.posix_acl_access", acl, sizeof acl);
    if (size > 0) {
      ::fsetxattr(fd_, "system.posix_acl_access", acl,
                  static_cast<std::size_t>(size), 0);
    }
#endif
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
    if (written_ == started_ || (!rest && written_ - started_ < kStep)) return;
    // Advisory: a failure here changes nothing, Sync() still waits.
    ::sync_file_range(fd_, started_, written_ - started_, SYNC_FILE_RANGE_WRITE);
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

// --- what the check learns of a folder ----------------------------------------

constexpr long kMsdosMagic = 0x4d44;         // FAT, vfat
constexpr long kExfatMagic = 0x2011BAB0;     // exFAT, kernel
constexpr long kFuseblkMagic = 0x65735546;   // FUSE on a block device:
                                             // exFAT, NTFS sticks
constexpr long kNtfsMagic = 0x5346544e;
constexpr long kNtfs3Magic = 0x7366746e;
constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kHfsPlusMagic = 0x482b;

QByteArray SwapCase(const QByteArray& name, bool* changed) {
  QByteArray swapped = name;
  *changed = false;
  for (char& c : swapped) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
      *changed = true;
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
      *changed = true;
    }
  }
  return swapped;
}

// Whether `folder` ignores letter case, found by looking only: a name of the
// folder, case-swapped, that leads to the same file (or, on file systems
// whose inode numbers are made up per name, to a file the folder does not
// list under that name), or the folder's own name in its parent.
bool ProbeFoldsCase(const QByteArray& folder, const struct stat& folder_st) {
  DIR* dir = ::opendir(folder.constData());
  if (dir == nullptr) return false;
  QByteArray probe;
  QByteArray swapped;
  while (const dirent* entry = ::readdir(dir)) {
    bool changed = false;
    const QByteArray name(entry->d_name);
    if (name == "." || name == "..") continue;
    swapped = SwapCase(name, &changed);
    if (changed) {
      probe = name;
      break;
    }
  }
  bool folds = false;
  if (!probe.isEmpty()) {
    struct stat a {};
    struct stat b {};
    if (::fstatat(dirfd(dir), probe.constData(), &a, AT_SYMLINK_NOFOLLOW) == 0 &&
        ::fstatat(dirfd(dir), swapped.constData(), &b, AT_SYMLINK_NOFOLLOW) == 0) {
      folds = a.st_dev == b.st_dev && a.st_ino == b.st_ino;
      if (!folds) {
        // Two files, or one with made-up inode numbers: only the listing
        // tells.
        folds = true;
        ::rewinddir(dir);
        while (const dirent* entry = ::readdir(dir)) {
          if (swapped == entry->d_name) {
            folds = false;
            break;
          }
        }
      }
    }
    ::closedir(dir);
    return folds;
  }
  ::closedir(dir);
  // An empty folder: its own name, if its parent is on the same file system.
  QByteArray path = folder;
  while (path.size() > 1 && path.endsWith('/')) path.chop(1);
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return false;
  const QByteArray parent = slash == 0 ? QByteArray("/") : path.left(slash);
  bool changed = false;
  const QByteArray own_swapped = parent + '/' + SwapCase(path.mid(slash + 1), &changed);
  struct stat parent_st {};
  struct stat other {};
  if (!changed || ::stat(parent.constData(), &parent_st) != 0 ||
      parent_st.st_dev != folder_st.st_dev) {
    return false;
  }
  return ::stat(own_swapped.constData(), &other) == 0 &&
         other.st_dev == folder_st.st_dev && other.st_ino == folder_st.st_ino;
}

void InspectFolder(const QByteArray& path, const struct stat& st,
                   PathFacts* facts) {
  if (::faccessat(AT_FDCWD, path.constData(), W_OK | X_OK, AT_EACCESS) != 0) {
    facts->writable = false;
    facts->not_writable = errno == EROFS ? FailureReason::kTargetReadOnly
                                         : FailureReason::kTargetNotWritable;
  }
  struct statfs fs {};
  if (::statfs(path.constData(), &fs) == 0) {
    facts->name_max = fs.f_namelen;
    const long type = static_cast<long>(fs.f_type);
    facts->fat_names =
        type == kMsdosMagic || type == kExfatMagic || type == kFuseblkMagic;
    facts->folds_case = facts->fat_names || type == kNtfsMagic ||
                        type == kNtfs3Magic || type == kCifsMagic ||
                        type == kSmb2Magic || type == kHfsPlusMagic;
  }
#if defined(Q_OS_LINUX) && defined(FS_CASEFOLD_FL)
  if (!facts->folds_case) {
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      int flags = 0;
      if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
          (flags & FS_CASEFOLD_FL) != 0) {
        facts->folds_case = true;
      }
      ::close(fd);
    }
  }
#endif
  if (!facts->folds_case) facts->folds_case = ProbeFoldsCase(path, st);
}

class SystemFileLayerImpl final : public FileLayer {
 public:
  PathFacts Inspect(const QString& path) override {
    PathFacts facts;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) return facts;
    facts.exists = true;
    facts.is_symlink = S_ISLNK(st.st_mode);
    if (facts.is_symlink && ::stat(name.constData(), &st) != 0) {
      return facts;  // dangling: a name, but no file behind it
    }
    facts.is_regular_file = S_ISREG(st.st_mode);
    facts.is_directory = S_ISDIR(st.st_mode);
    facts.device = static_cast<quint64>(st.st_dev);
    facts.inode = static_cast<quint64>(st.st_ino);
    facts.permissions = static_cast<quint32>(st.st_mode & 07777);
    if (facts.is_regular_file) {
      facts.readable =
          ::faccessat(AT_FDCWD, name.constData(), R_OK, AT_EACCESS) == 0;
    }
    if (facts.is_directory) InspectFolder(name, st, &facts);
    return facts;
  }

  std::optional<qint64> Size(const QString& path, QString* error) override {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
      *error = SystemError(errno);
      return std::nullopt;
    }
    return static_cast<qint64>(st.st_size);
  }

  std::unique_ptr<InputFile> OpenInput(const QString& path,
                                       QString* error) override {
    auto file = std::make_unique<SystemInputFile>(QFile::encodeName(path));
    FailureReason code = FailureReason::kSystem;
    if (!file->Open(&code)) {
      *error = file->ErrorString();
      return nullptr;
    }
    return file;
  }

  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         QString* error) override {
    auto file = std::make_unique<SystemOutputFile>(QFile::encodeName(path));
    if (!file->Open()) {
      *error = file->ErrorString();
      return nullptr;
    }
    return file;
  }

  bool SyncFolder(const QString& folder, QString* error) override {
    const int fd = ::open(QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      *error = SystemError(errno);
      return false;
    }
    int result = 0;
    while ((result = ::fsync(fd)) != 0 && errno == EINTR) {
    }
    const int sync_error = errno;
    ::close(fd);
    // EINVAL: a file system that keeps folders in no way it could sync
    // (nothing there to make durable).
    if (result != 0 && sync_error != EINVAL) {
      *error = SystemError(sync_error);
      return false;
    }
    return true;
  }

  bool ListsExactly(const QString& path) override {
    const QByteArray bytes = QFile::encodeName(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : bytes.left(slash + 1);
    const QByteArray name = bytes.mid(slash + 1);
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr) return true;  // no evidence of folding
    bool listed = false;
    while (const dirent* entry = ::readdir(dir)) {
      if (name == entry->d_name) {
        listed = true;
        break;
      }
    }
    ::closedir(dir);
    return listed;
  }

  void StartWriteBack(const QString& folder) override {
#ifdef Q_OS_LINUX
    const int fd = ::open(QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::syncfs(fd);  // advisory: each output's own Sync() checks its bytes
    ::close(fd);
#else
    (void)folder;
#endif
  }
};

}  // namespace

const char* SignalNameOf(int signal_number) { return SignalName(signal_number); }

void InstallInterruptCleanup(const char* program, bool ignore_sigpipe,
                             int idle_fd) {
  g_program.store(program);
  g_idle_fd.store(idle_fd);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&action.sa_mask, signal_number);
  }
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(signal_number, &action, nullptr);
  }
  ::signal(SIGXFSZ, SIG_IGN);
  if (ignore_sigpipe) ::signal(SIGPIPE, SIG_IGN);
}

#else  // !Q_OS_UNIX: Qt's files, without the guarantees above.

namespace {

class QtInputFile final : public InputFile {
 public:
  explicit QtInputFile(const QString& path) : file_(path) {}
  bool Open() { return file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
  qint64 Read(char* data, qint64 max) override { return file_.read(data, max); }
  qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
    const qint64 pos = file_.pos();
    if (!file_.seek(offset)) return -1;
    const qint64 n = file_.read(data, max);
    return file_.seek(pos) ? n : -1;
  }
  bool Close() override {
    file_.close();
    return file_.error() == QFileDevice::NoError;
  }
  QString ErrorString() const override { return file_.errorString(); }

 private:
  QFile file_;
};

class QtOutputFile final : public OutputFile {
 public:
  explicit QtOutputFile(const QString& path) : file_(path) {}
  bool Open() { return file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
  bool Write(const char* data, qint64 size) override {
    return file_.write(data, size) == size;
  }
  bool Flush() override { return file_.flush(); }
  bool Commit() override { return file_.commit(); }
  QString ErrorString() const override { return file_.errorString(); }

 private:
  QSaveFile file_;
};

class SystemFileLayerImpl final : public FileLayer {
 public:
  PathFacts Inspect(const QString& path) override {
    PathFacts facts;
    const QFileInfo info(path);
    if (!info.exists()) return facts;
    facts.exists = true;
    facts.is_symlink = info.isSymLink();
    facts.is_regular_file = info.isFile();
    facts.is_directory = info.isDir();
    // Without inode numbers, the canonical path stands for the file.
    facts.inode = qHash(info.canonicalFilePath().toCaseFolded());
    facts.folds_case = true;
    return facts;
  }
  std::optional<qint64> Size(const QString& path, QString* error) override {
    const QFileInfo info(path);
    if (!info.exists()) {
      *error = QStringLiteral("No such file or directory");
      return std::nullopt;
    }
    return info.size();
  }
  std::unique_ptr<InputFile> OpenInput(const QString& path,
                                       QString* error) override {
    auto file = std::make_unique<QtInputFile>(path);
    if (!file->Open()) {
      *error = file->ErrorString();
      return nullptr;
    }
    return file;
  }
  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         QString* error) override {
    auto file = std::make_unique<QtOutputFile>(path);
    if (!file->Open()) {
      *error = file->ErrorString();
      return nullptr;
    }
    return file;
  }
};

}  // namespace

void InstallInterruptCleanup(const char* /*program*/, bool /*ignore_sigpipe*/,
                             int /*idle_fd*/) {}
const char* SignalNameOf(int /*signal_number*/) { return "a signal"; }

#endif

FileLayer& SystemFileLayer() {
  static SystemFileLayerImpl layer;
  return layer;
}

}  // namespace quillet
