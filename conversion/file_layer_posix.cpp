// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/file_layer.h"

// The file layer on POSIX systems: what the job check learns of paths and
// folders, and the system's sources and outputs (system_files_posix.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <map>
#include <mutex>
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

#include "conversion/system_files_posix.h"

namespace quillet {
namespace {

// --- what the check learns of a folder
// ----------------------------------------

constexpr long kMsdosMagic = 0x4d44;        // FAT, vfat
constexpr long kExfatMagic = 0x2011BAB0;    // exFAT, kernel
constexpr long kFuseblkMagic = 0x65735546;  // FUSE on a block device:
                                            // exFAT, NTFS sticks
constexpr long kNtfsMagic = 0x5346544e;
constexpr long kNtfs3Magic = 0x7366746e;
constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kHfsPlusMagic = 0x482b;
constexpr long kNfsMagic = 0x6969;
constexpr long kSmbMagic = 0x517B;
constexpr long k9pMagic = 0x01021997;
constexpr long kCephMagic = 0x00C36400;
constexpr long kAfsMagic = 0x5346414F;

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
    if (::fstatat(dirfd(dir), probe.constData(), &a, AT_SYMLINK_NOFOLLOW) ==
            0 &&
        ::fstatat(dirfd(dir), swapped.constData(), &b, AT_SYMLINK_NOFOLLOW) ==
            0) {
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
  const QByteArray own_swapped =
      parent + '/' + SwapCase(path.mid(slash + 1), &changed);
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

// What stat says of `path` (the link itself unless `follow`), and on Linux
// whether the file is immutable or append-only, in the same one call.
bool StatPath(const QByteArray& path, bool follow, struct stat* st,
              bool* immutable) {
#if defined(Q_OS_LINUX) && defined(STATX_BASIC_STATS)
  struct statx sx {};
  if (::statx(AT_FDCWD, path.constData(), follow ? 0 : AT_SYMLINK_NOFOLLOW,
              STATX_BASIC_STATS, &sx) != 0) {
    return false;
  }
  *st = {};
  st->st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  st->st_ino = sx.stx_ino;
  st->st_mode = sx.stx_mode;
  st->st_uid = sx.stx_uid;
  st->st_gid = sx.stx_gid;
  st->st_size = static_cast<off_t>(sx.stx_size);
  st->st_mtim.tv_sec = sx.stx_mtime.tv_sec;
  st->st_mtim.tv_nsec = sx.stx_mtime.tv_nsec;
  *immutable =
      (sx.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) != 0;
  return true;
#else
  *immutable = false;
  return (follow ? ::stat(path.constData(), st)
                 : ::lstat(path.constData(), st)) == 0;
#endif
}

// Whether the file system of device `device` (reached at `path`) may show
// a file with other identities than another view of it does: FUSE (bindfs,
// sshfs, ...), NFS, SMB, 9P, Ceph, AFS. Asked once per device.
bool HidesIdentity(dev_t device, const QByteArray& path) {
  static std::mutex mutex;
  static std::map<dev_t, bool> known;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = known.find(device);
    if (found != known.end()) return found->second;
  }
  struct statfs fs {};
  if (::statfs(path.constData(), &fs) != 0) return false;
  const long type = static_cast<long>(fs.f_type);
  const bool hides = type == kFuseblkMagic || type == kCifsMagic ||
                     type == kSmb2Magic || type == kNfsMagic ||
                     type == kSmbMagic || type == k9pMagic ||
                     type == kCephMagic || type == kAfsMagic;
  const std::lock_guard<std::mutex> lock(mutex);
  known[device] = hides;
  return hides;
}

class SystemFileLayerImpl final : public FileLayer {
 public:
  PathFacts Inspect(const QString& path) override {
    PathFacts facts;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (!StatPath(name, false, &st, &facts.immutable)) return facts;
    facts.exists = true;
    facts.is_symlink = S_ISLNK(st.st_mode);
    if (facts.is_symlink && !StatPath(name, true, &st, &facts.immutable)) {
      return facts;  // dangling: a name, but no file behind it
    }
    static const uid_t self = ::geteuid();  // fixed for the process's life
    facts.foreign_owner = self != 0 && st.st_uid != self;
    facts.size = static_cast<qint64>(st.st_size);
    facts.modified_ns = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 +
                        st.st_mtim.tv_nsec;
    facts.hides_identity = HidesIdentity(st.st_dev, name);
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

  std::optional<qint64> Size(const QString& path, FileError* error) override {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
      *error = FileError::System(errno);
      return std::nullopt;
    }
    return static_cast<qint64>(st.st_size);
  }

  std::unique_ptr<InputFile> OpenInput(const QString& path,
                                       FileError* error) override {
    return OpenSystemInput(QFile::encodeName(path), error);
  }

  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         FileError* error) override {
    return OpenSystemOutput(QFile::encodeName(path), error);
  }

  bool SyncFolder(const QString& folder, FileError* error) override {
    const int fd = ::open(QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      *error = FileError::System(errno);
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
      *error = FileError::System(sync_error);
      return false;
    }
    return true;
  }

  bool ListsExactly(const QString& path) override {
    const QByteArray bytes = QFile::encodeName(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : bytes.left(slash + 1);
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

  bool SyncTogether(const std::vector<OutputFile*>& outputs) override {
    return SyncSystemOutputsTogether(outputs);
  }
};

}  // namespace

FileLayer& SystemFileLayer() {
  static SystemFileLayerImpl layer;
  return layer;
}

}  // namespace quillet
