// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_FILE_LAYER_H_
#define QUILLET_CONVERSION_FILE_LAYER_H_

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "conversion/run_failure.h"

namespace quillet {

// A source mailbox open for reading. Never writes, truncates or moves it.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `max` bytes into `data`. Returns the number read, 0 at the
  // end of the file, or -1 on failure (Error() then says why).
  virtual qint64 Read(char* data, qint64 max) = 0;
  // Reads up to `max` bytes from `offset` without moving the position that
  // Read() goes on from: a look far ahead (a Content-Length body's end)
  // without holding what lies between. Returns as Read() does.
  virtual qint64 ReadAt(qint64 offset, char* data, qint64 max) = 0;
  // Releases the file. Returns false on failure, also when the file's size
  // or modification time at the close differ from those at the open
  // (Error() is then kSourceChanged).
  virtual bool Close() = 0;
  // The last failure: the program's own reason when it has one (the file
  // changed while it was read, a writer's lock, not a regular file), else
  // the system's code.
  virtual FileError Error() const = 0;
};

// An output mailbox being written. Nothing appears under the output name
// until Commit() succeeds; until then an existing file of that name is left
// as it was. Destroying an uncommitted OutputFile discards what was written.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all `size` bytes or fails.
  virtual bool Write(const char* data, qint64 size) = 0;
  // Hands everything written so far to the system.
  virtual bool Flush() = 0;
  // Waits until everything written is on the disk, and fails when the disk
  // refused any of it (a full thin volume reports that only now). Commit()
  // syncs first when this was not called.
  virtual bool Sync() { return true; }
  // Makes the complete output visible under its name, replacing any file
  // there (a symbolic link of that name is itself replaced, never the file
  // it leads to). After a failed Commit nothing of the output remains.
  virtual bool Commit() = 0;
  // The last failure: the program's own reason when it has one, else the
  // system's code.
  virtual FileError Error() const = 0;
  // The source's permission bits. The output takes them less the umask
  // (as cp does), narrowed to the replaced file's bits where it replaces
  // one; it belongs to the user running the conversion and never takes a
  // replaced file's owner, group or access-control list. Call before
  // Commit().
  virtual void SetNewFileMode(quint32 /*mode*/) {}
  // The output's line of the result list. Once Commit() has renamed the
  // output into place, an interrupt writes this line to standard output
  // (unless ListCompleted() has written it), and says on standard error
  // whether the output replaced an older file. Call before Commit().
  virtual void SetCompletionNote(const QByteArray& /*line*/) {}
};

// What the job check needs to know of a path.
struct PathFacts {
  // Something has this name (a dangling symbolic link too).
  bool exists = false;
  bool is_symlink = false;  // the name itself is a symbolic link
  // What the path leads to, links followed; both false for a dangling link.
  bool is_regular_file = false;
  bool is_directory = false;
  // Identity of the file the path leads to (links followed); equal ids mean
  // the same file. Meaningful only when `exists`.
  quint64 device = 0;
  quint64 inode = 0;
  quint32 permissions = 0;  // the mode's permission bits (07777)
  // The system refuses to change, replace or remove it (Linux: chattr +i),
  // or allows only appending to it (chattr +a; a folder: new names only,
  // none renamed or removed). Either way no output can replace it or, for
  // a folder, be renamed into it.
  bool immutable = false;
  // Another user owns it, and the process may not act as its owner (not
  // root): in a sticky folder (permissions & 01000) that the process does
  // not own either, the system refuses to replace it.
  bool foreign_owner = false;
  // Regular files: size in bytes and modification time (nanoseconds since
  // the epoch), for the sameness test where identities cannot be trusted.
  qint64 size = 0;
  qint64 modified_ns = 0;
  // On a file system that may show one file under other device and inode
  // numbers than another view of it does (FUSE, NFS, SMB, 9P): equal keys
  // still mean one file, unequal ones no longer mean two.
  bool hides_identity = false;
  // Regular files: the process may read it.
  bool readable = true;
  // Folders: the process may create files in it, and why not.
  bool writable = true;
  FailureReason not_writable = FailureReason::kTargetNotWritable;
  // Folders: the longest name in bytes the file system takes (0: unknown);
  // whether it tells upper from lower case; whether it refuses the names
  // that FAT refuses (`:`, `*`, `?`, ...).
  qint64 name_max = 0;
  bool folds_case = false;
  bool fat_names = false;
  // Folders: `name_max` counts UTF-16 code units (Windows), not bytes.
  bool name_max_in_utf16 = false;
  // Folders: the system takes CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9,
  // with any extension, for devices (Windows): no output may have such a
  // name.
  bool device_names = false;
};

// A file's identity (device, inode): equal keys mean the same file.
using FileKey = QPair<quint64, quint64>;
inline FileKey KeyOf(const PathFacts& facts) {
  return {facts.device, facts.inode};
}

// Every file operation a conversion run performs goes through this seam, so
// that tests can make any one of them fail.
class FileLayer {
 public:
  virtual ~FileLayer() = default;
  virtual PathFacts Inspect(const QString& path) = 0;
  // The size of the file at `path` in bytes, or nothing (and `error` set).
  virtual std::optional<qint64> Size(const QString& path, FileError* error) = 0;
  // Nothing, and `error` set, when the file cannot be opened.
  virtual std::unique_ptr<InputFile> OpenInput(const QString& path,
                                               FileError* error) = 0;
  virtual std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                                 FileError* error) = 0;
  // Makes the renames done in `folder` survive a power cut. Returns false
  // (and `error` set) when the system says it could not.
  virtual bool SyncFolder(const QString& /*folder*/, FileError* /*error*/) {
    return true;
  }
  // Syncs all of `outputs`, written into one folder and none committed,
  // with one request for their whole file system where the system can
  // confirm it for each of them: one disk flush for a group of small
  // outputs instead of one per output. True: every one of them is synced.
  // False: nothing is confirmed, and each output's own Sync() must answer
  // for its bytes (the request may have written them already, so those
  // syncs have little left to wait for).
  virtual bool SyncTogether(const std::vector<OutputFile*>& /*outputs*/) {
    return false;
  }
  // Whether the folder of `path` lists an entry of exactly its name (a
  // name that the file system finds only by ignoring case is not listed).
  // Reads the whole folder: only for the rare doubtful case.
  virtual bool ListsExactly(const QString& /*path*/) { return true; }
};

// The real file system, one implementation per platform
// (file_layer_posix.cpp, file_layer_windows.cpp). Sources are opened so that
// a writer holding them makes them "locked" (a shared fcntl lock on POSIX
// systems, FILE_SHARE_READ on Windows). Outputs are written into a new file
// of the target folder (on Linux one without a name, O_TMPFILE, where the
// file system offers it; else named ".<output name>.quillet-tmp-XXXXXX"),
// synced (checked) and given the output name; the temporary file is
// removed on every failure and, through InstallInterruptCleanup(), when the
// user interrupts the run. On POSIX systems an output reaches its folder
// only through the descriptor taken when it was opened, and fails with
// kTargetMoved when the folder's path no longer leads there.
FileLayer& SystemFileLayer();

// The marker in the name of every temporary output.
inline constexpr char kTemporaryMarker[] = ".quillet-tmp-";

// Installs handlers for SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C,
// Ctrl+Break and closing the console) that remove the
// temporary outputs being written, write "<program>: interrupted by
// <signal> while writing <output>; its temporary file was removed" to
// standard error and end the process by the same signal. Ignores SIGXFSZ,
// so that a write past the file size limit fails like any other, and (when
// `ignore_sigpipe`) SIGPIPE, so that a closed pipe is a write error.
// `program` must live as long as the process. With `idle_fd` >= 0 (the
// write end of a pipe), a signal that comes while no output is being
// written is not fatal: its number is written there as one byte, for an
// event loop to close the program in its own time.
void InstallInterruptCleanup(const char* program, bool ignore_sigpipe,
                             int idle_fd = -1);
// Writes the next line of the result list by `write`, as one step for the
// interrupt handler: once `write` has returned true, an interrupt no longer
// writes that line itself. Lines are listed in the order the outputs were
// completed, which is the order of their notes (SetCompletionNote).
bool ListCompleted(const std::function<bool()>& write);
// "SIGINT", "SIGTERM", "SIGHUP" or "a signal".
const char* SignalNameOf(int signal_number);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_FILE_LAYER_H_
