// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/system_files_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

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

// Removes the leftovers of earlier runs in the folder held by `dir_fd`:
// temporary outputs named ".<name>.quillet-tmp-XXXXXX" that this user owns,
// that nobody has modified for kLeftoverAge, and whose lock can be taken. A
// live run holds an exclusive flock on its temporary file from a moment
// after creating it until it is renamed or removed, so a file whose lock
// is free and which has not been written to since is no live run's.
// Other users' files and anything else are never touched.
void RemoveDeadLeftovers(int dir_fd) {
  static constexpr time_t kLeftoverAge = 10 * 60;
  const int list_fd = ::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (list_fd < 0) return;
  DIR* dir = ::fdopendir(list_fd);
  if (dir == nullptr) {
    ::close(list_fd);
    return;
  }
  const uid_t self = ::geteuid();
  const time_t now = ::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    const char* marker = std::strstr(name, kTemporaryMarker);
    if (name[0] != '.' || marker == nullptr ||
        std::strlen(marker) != sizeof kTemporaryMarker - 1 + 6) {
      continue;
    }
    const int fd =
        ::openat(dir_fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == self &&
        now - st.st_mtime > kLeftoverAge &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // Still the same file under that name: removed while locked.
      struct stat named {};
      if (::fstatat(dir_fd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
          named.st_dev == st.st_dev && named.st_ino == st.st_ino) {
        ::unlinkat(dir_fd, name, 0);
      }
    }
    ::close(fd);
  }
  ::closedir(dir);
}

// Folders whose dead leftovers this process has looked for: once each.
bool FirstVisit(dev_t device, ino_t inode) {
  static std::mutex mutex;
  static std::set<std::pair<dev_t, ino_t>> visited;
  const std::lock_guard<std::mutex> lock(mutex);
  return visited.insert({device, inode}).second;
}

// An output written into the folder it was opened in, reached through that
// folder's descriptor, taken once at the open: the temporary file, the
// rename and the clean-up all happen in that folder, even when its path
// later leads elsewhere. Before the output is named, the path must still
// lead to the held folder; otherwise nothing is put in either.
//
// Where the system offers it (Linux, O_TMPFILE), the temporary output has
// no name while it is written: a killed run leaves nothing behind. It is
// linked into place only when complete and synced. Elsewhere it is a named
// file ".<name>.quillet-tmp-XXXXXX", locked for its life (see
// RemoveDeadLeftovers).
class SystemOutputFile final : public OutputFile {
 public:
  explicit SystemOutputFile(QByteArray path) : path_(std::move(path)) {}
  ~SystemOutputFile() override {
    if (fd_ >= 0) ::close(fd_);
    // A committed output left the registry at its rename: nothing to hold
    // signals back for (two system calls per output less).
    if (!committed_) {
      const InterruptsHeld held;
      if (!temporary_name_.isEmpty()) {
        ::unlinkat(dir_fd_, temporary_name_.constData(), 0);
      }
      UnregisterTemporary(slot_);
    }
    if (dir_fd_ >= 0) ::close(dir_fd_);
  }

  bool Open() {
    const qsizetype slash = path_.lastIndexOf('/');
    slash_ = slash >= 0;
    folder_ = slash < 0 ? QByteArray(".") : path_.left(slash + 1);
    name_ = path_.mid(slash + 1);
    dir_fd_ = ::open(folder_.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0) return Fail(errno);
    if (::fstat(dir_fd_, &folder_st_) != 0) return Fail(errno);
    if (FirstVisit(folder_st_.st_dev, folder_st_.st_ino)) {
      RemoveDeadLeftovers(dir_fd_);
    }
#if defined(Q_OS_LINUX) && defined(O_TMPFILE)
    fd_ = ::openat(dir_fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      // Discarded by the system when the process ends: registered with an
      // empty name, the handler removes nothing (no file of any name is
      // touched) but names the output it was writing.
      temporary_.clear();
      slot_ = RegisterTemporary("", path_.constData());
      return true;
    }
    // Not offered by this file system (FAT, many network and FUSE file
    // systems): a named temporary file; its own open says what is wrong.
#endif
    return OpenNamed();
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
    const bool exists =
        ::fstatat(dir_fd_, name_.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    // The output is this process's file (created by it, never given away)
    // and grants nobody more than the source does: the source's permission
    // bits less the umask, as cp gives them, and where it replaces a file
    // no more than that file gave either. The old file's owner, group and
    // access-control list are not copied: another user's empty 0666 file in
    // a shared folder must not receive a private mailbox.
    mode_t mode = new_mode_ & 0777 & ~ProcessUmask();
    if (exists && S_ISREG(old.st_mode)) mode &= old.st_mode & 0777;
    ::fchmod(fd_, mode);
    // The folder moved, or its path now leads elsewhere (a link put in its
    // place): the output goes into neither, and its temporary file is
    // removed from the held folder. (A move after this test and before the
    // rename still puts the output into the moved folder.)
    struct stat now {};
    if (::stat(folder_.constData(), &now) != 0 ||
        now.st_dev != folder_st_.st_dev || now.st_ino != folder_st_.st_ino) {
      return FailOwn(FailureReason::kTargetMoved);
    }
    const InterruptsHeld held;  // named and unregistered as one step
    if (temporary_name_.isEmpty() ? !CommitUnnamed(exists)
                                  : !CommitNamed(exists)) {
      return false;
    }
    committed_ = true;
    UnregisterTemporary(slot_);
    slot_ = -1;
    RecordCompleted(path_.constData(), exists, note_.constData(),
                    static_cast<std::size_t>(note_.size()));
    ::close(fd_);  // synced already: a late error here would change nothing
    fd_ = -1;
    return true;
  }
  FileError Error() const override { return error_; }
  void SetNewFileMode(quint32 mode) override { new_mode_ = mode; }
  void SetCompletionNote(const QByteArray& line) override { note_ = line; }

  // For SyncSystemOutputsTogether: the held folder, opened before any byte
  // of this output was written, and the file system it is on.
  int folder_descriptor() const { return dir_fd_; }
  dev_t folder_device() const { return folder_st_.st_dev; }
  bool synced() const { return synced_; }
  // The system confirmed every byte of this output by other means.
  void MarkSynced() { synced_ = true; }

 private:
  bool OpenNamed() {
    // The name says what a leftover is (after a power cut or SIGKILL) and
    // begins with a dot, so that mail programs reading the folder skip it.
    // Created exclusively and without following links: a name planted in a
    // shared folder cannot redirect the write.
    return UnderFreshTemporaryName([this] {
      const InterruptsHeld held;  // created and registered as one step
      fd_ =
          ::openat(dir_fd_, temporary_name_.constData(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd_ < 0) return false;
      ::flock(fd_, LOCK_EX | LOCK_NB);  // new: nobody else holds it
      slot_ = RegisterTemporary(temporary_.constData(), path_.constData());
      return true;
    });
  }

  // Takes a fresh temporary name with `take` (true when it took the name,
  // errno set when not) until one is free: a name found taken is passed
  // over, one too long for the folder is shortened; any other failure ends
  // the attempt. The registry points at the name's string, so its slot is
  // freed before the name changes; `take` registers the name it took.
  template <typename Take>
  bool UnderFreshTemporaryName(Take take) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      UnregisterTemporary(slot_);
      slot_ = -1;
      PickTemporaryName();
      if (take()) return true;
      const int error = errno;
      temporary_name_.clear();
      if (error == EEXIST) continue;
      if (error == ENAMETOOLONG && Shorten()) continue;
      return OpenFailed(error);
    }
    return Fail(EEXIST);
  }

  // Renames the named temporary file onto the output name. A new output
  // never replaces what appeared under the name meanwhile, nor (where the
  // file system ignores letter case) another output of this run; rename
  // replaces the directory entry, a symbolic link included, never the file
  // a link leads to.
  bool CommitNamed(bool exists) {
    int result = -1;
    if (!exists) {
#ifdef Q_OS_LINUX
      result = ::renameat2(dir_fd_, temporary_name_.constData(), dir_fd_,
                           name_.constData(), RENAME_NOREPLACE);
      if (result != 0 && errno == EEXIST) {
        return FailOwn(FailureReason::kOutputTaken);
      }
      if (result != 0 && errno != EINVAL && errno != ENOSYS &&
          errno != ENOTSUP) {
        return Fail(errno);
      }
#endif
    }
    if (result != 0 && ::renameat(dir_fd_, temporary_name_.constData(), dir_fd_,
                                  name_.constData()) != 0) {
      return Fail(errno);
    }
    return true;
  }

  // Gives the unnamed temporary file the output's name: linked directly
  // where the name is free (a link never replaces, so what appeared
  // meanwhile stays), else linked under a temporary name and renamed over
  // the old file.
  bool CommitUnnamed(bool exists) {
    if (!exists) {
      if (LinkAs(name_)) return true;
      if (errno == EEXIST) return FailOwn(FailureReason::kOutputTaken);
      return OpenFailed(errno);
    }
    // Locked like a named temporary file: the name it takes for a moment
    // is then no dead leftover to another run.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    const bool linked = UnderFreshTemporaryName([this] {
      slot_ = RegisterTemporary(temporary_.constData(), path_.constData());
      return LinkAs(temporary_name_);
    });
    if (!linked) return false;
    if (::renameat(dir_fd_, temporary_name_.constData(), dir_fd_,
                   name_.constData()) != 0) {
      return Fail(errno);  // the destructor removes the linked name
    }
    return true;
  }

  // Links the open unnamed file as `name` in the held folder: through
  // /proc (any user), or where /proc is not mounted through the
  // descriptor itself (needs CAP_DAC_READ_SEARCH).
  bool LinkAs(const QByteArray& name) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd_);
    if (::linkat(AT_FDCWD, proc, dir_fd_, name.constData(),
                 AT_SYMLINK_FOLLOW) == 0) {
      return true;
    }
#ifdef AT_EMPTY_PATH
    if (errno == ENOENT &&
        ::linkat(fd_, "", dir_fd_, name.constData(), AT_EMPTY_PATH) == 0) {
      return true;
    }
#endif
    return false;
  }

  // A fresh name ".<name>.quillet-tmp-XXXXXX" in the held folder (the
  // copy of the output's name cut short where the whole would pass the
  // file system's limit), also as a full path for the interrupt handler.
  void PickTemporaryName() {
    if (base_.isEmpty()) base_ = name_;
    temporary_name_ = '.' + base_ + kTemporaryMarker + RandomPart(kRandom);
    temporary_ = (slash_ ? folder_ : QByteArray()) + temporary_name_;
  }
  // Shortens the temporary name's copy of the output name, at a character
  // boundary, for an output name near the limit. False when it cannot.
  bool Shorten() {
    static constexpr qsizetype kExtra =
        1 + qsizetype(sizeof kTemporaryMarker) - 1 + kRandom;
    if (base_.size() <= 1 || base_.size() + kExtra <= 255) return false;
    qsizetype keep = std::max<qsizetype>(1, 255 - kExtra);
    while (keep > 1 &&
           (static_cast<unsigned char>(base_[keep]) & 0xC0) == 0x80) {
      --keep;
    }
    base_ = base_.left(keep);
    return true;
  }

  static QByteArray RandomPart(int length) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray part(length, 'x');
    for (char& c : part) {
      c = kChars[QRandomGenerator::global()->bounded(int(sizeof kChars) - 1)];
    }
    return part;
  }

  bool OpenFailed(int error) {
    // The system's words where they name the cause; where they do not (a
    // FAT or exFAT volume refusing a character says "Invalid argument" or
    // even "No such file or directory" in a folder that is there), the
    // program's own.
    struct stat st {};
    if (error == EINVAL ||
        (error == ENOENT && ::fstat(dir_fd_, &st) == 0 && st.st_nlink > 0)) {
      return FailOwn(FailureReason::kNameNotAllowed);
    }
    if (error == ENAMETOOLONG) return FailOwn(FailureReason::kNameTooLong);
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
    error_ = FileError::System(error);
    return false;
  }
  bool FailOwn(FailureReason code) {
    error_ = FileError::Own(code);
    return false;
  }

  static constexpr int kRandom = 6;

  QByteArray path_;
  QByteArray folder_;   // as given, or "." for a bare name
  bool slash_ = false;  // the path names a folder
  QByteArray name_;
  QByteArray base_;  // the output name as the temporary name repeats it
  int dir_fd_ = -1;  // the output's folder, held from the open on
  struct stat folder_st_ {};
  // The temporary file's name in the held folder while it has one, and as
  // a full path for the interrupt handler.
  QByteArray temporary_name_;
  QByteArray temporary_;
  int fd_ = -1;
  int slot_ = -1;
  bool synced_ = false;
  bool committed_ = false;
  quint32 new_mode_ = 0666;
  QByteArray note_;  // the result list's line, for an interrupt
  qint64 written_ = 0;
  qint64 started_ = 0;  // bytes already handed to the disk's write-back
  FileError error_;
};

#ifdef Q_OS_LINUX
// Whether syncfs() reports the write-back errors of the file system
// (Linux 5.8 on; before, it always returned 0).
bool SyncfsReportsErrors() {
  static const bool reports = [] {
    utsname name{};
    int major = 0;
    int minor = 0;
    return ::uname(&name) == 0 &&
           std::sscanf(name.release, "%d.%d", &major, &minor) == 2 &&
           (major > 5 || (major == 5 && minor >= 8));
  }();
  return reports;
}

// Local file systems whose syncfs() writes every dirty file, commits their
// metadata and flushes the disk's cache, as fdatasync() does per file.
// Network and FUSE file systems may answer syncfs() without asking the
// server or the daemon.
bool TrustsSyncfs(int dir_fd) {
  constexpr long kExt4Magic = 0xEF53;  // ext2, ext3 and ext4
  constexpr long kXfsMagic = 0x58465342;
  constexpr long kBtrfsMagic = 0x9123683E;
  constexpr long kF2fsMagic = static_cast<long>(0xF2F52010);
  constexpr long kTmpfsMagic = 0x01021994;
  struct statfs fs {};
  if (::fstatfs(dir_fd, &fs) != 0) return false;
  const long type = static_cast<long>(fs.f_type);
  return type == kExt4Magic || type == kXfsMagic || type == kBtrfsMagic ||
         type == kF2fsMagic || type == kTmpfsMagic;
}
#endif

}  // namespace

bool SyncSystemOutputsTogether(const std::vector<OutputFile*>& outputs) {
#ifdef Q_OS_LINUX
  std::vector<SystemOutputFile*> files;
  files.reserve(outputs.size());
  for (OutputFile* output : outputs) {
    auto* file = dynamic_cast<SystemOutputFile*>(output);
    if (file == nullptr || file->synced() ||
        (!files.empty() &&
         file->folder_device() != files.front()->folder_device())) {
      return false;
    }
    files.push_back(file);
  }
  if (files.empty()) return false;
  // The first output's folder descriptor was opened before any byte of the
  // group was written: its syncfs() reports every write-back error of the
  // file system since then (once per descriptor), whichever file it hit.
  const int dir_fd = files.front()->folder_descriptor();
  if (!SyncfsReportsErrors() || !TrustsSyncfs(dir_fd)) {
    // Unconfirmed, but one flush for all: each output's own sync then has
    // little left to wait for.
    ::syncfs(dir_fd);
    return false;
  }
  int result = 0;
  while ((result = ::syncfs(dir_fd)) != 0 && errno == EINTR) {
  }
  // A failure may be another program's file: each output's own sync says
  // whether it was one of these.
  if (result != 0) return false;
  for (SystemOutputFile* file : files) file->MarkSynced();
  return true;
#else
  (void)outputs;
  return false;
#endif
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
