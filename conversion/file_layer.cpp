#include "conversion/file_layer.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace quillet {
namespace {

class SystemInputFile final : public InputFile {
 public:
  explicit SystemInputFile(const QString& path) : file_(path) {}

  bool Open() {
    // Unbuffered: the reader keeps its own buffer, so one copy is enough.
    const QIODevice::OpenMode mode = QIODevice::ReadOnly | QIODevice::Unbuffered;
#ifdef Q_OS_UNIX
    // The job check saw a regular file, but by now the path may lead to a
    // FIFO, which would block the open until a writer comes, or to a device
    // that never ends. So open without waiting and look at what was opened.
    const int fd = ::open(QFile::encodeName(file_.fileName()).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      error_ = QString::fromLocal8Bit(std::strerror(errno));
      return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      error_ = QStringLiteral("not a regular file");
      return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return file_.open(fd, mode, QFileDevice::AutoCloseHandle);
#else
    return file_.open(mode);
#endif
  }
  qint64 Read(char* data, qint64 max) override {
    return file_.read(data, max);
  }
  qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
#ifdef Q_OS_UNIX
    for (;;) {
      const ssize_t n = ::pread(file_.handle(), data,
                                static_cast<std::size_t>(max), offset);
      if (n >= 0) return n;
      if (errno != EINTR) break;
    }
    error_ = QString::fromLocal8Bit(std::strerror(errno));
    return -1;
#else
    const qint64 pos = file_.pos();
    if (!file_.seek(offset)) return -1;
    const qint64 n = file_.read(data, max);
    return file_.seek(pos) ? n : -1;
#endif
  }
  bool Close() override {
    file_.close();
    return file_.error() == QFileDevice::NoError;
  }
  QString ErrorString() const override {
    return error_.isEmpty() ? file_.errorString() : error_;
  }

 private:
  QFile file_;
  QString error_;  // why Open() refused, when QFile has no say
};

class SystemOutputFile final : public OutputFile {
 public:
  explicit SystemOutputFile(const QString& path) : file_(path) {}

  bool Open() {
    return file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  }
  bool Write(const char* data, qint64 size) override {
    while (size > 0) {
      const qint64 written = file_.write(data, size);
      if (written <= 0) return false;
      data += written;
      size -= written;
      written_ += written;
    }
    StartWriteBack();
    return true;
  }
  bool Flush() override { return file_.flush(); }
  bool Commit() override { return file_.commit(); }
  QString ErrorString() const override { return file_.errorString(); }

 private:
  // Commit() waits until the whole output is on the disk. Asking the system
  // to start writing each few MiB as soon as they are complete lets the disk
  // work while the conversion goes on, so that wait is short, and keeps a
  // large output from piling up in memory as unwritten pages.
  void StartWriteBack() {
#ifdef Q_OS_LINUX
    static constexpr qint64 kStep = qint64{8} << 20;
    if (written_ - started_ < kStep) return;
    // Advisory: a failure here changes nothing, Commit() still syncs.
    ::sync_file_range(file_.handle(), started_, written_ - started_,
                      SYNC_FILE_RANGE_WRITE);
    started_ = written_;
#endif
  }

  // Discards its temporary file when destroyed uncommitted.
  QSaveFile file_;
  qint64 written_ = 0;
  qint64 started_ = 0;  // bytes already handed to the disk's write-back
};

class SystemFileLayerImpl final : public FileLayer {
 public:
  PathFacts Inspect(const QString& path) override {
    PathFacts facts;
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return facts;
    facts.exists = true;
    facts.is_regular_file = S_ISREG(st.st_mode);
    facts.is_directory = S_ISDIR(st.st_mode);
    facts.device = static_cast<quint64>(st.st_dev);
    facts.inode = static_cast<quint64>(st.st_ino);
#else
    const QFileInfo info(path);
    if (!info.exists()) return facts;
    facts.exists = true;
    facts.is_regular_file = info.isFile();
    facts.is_directory = info.isDir();
    // Without inode numbers, the canonical path stands for the file.
    facts.inode = qHash(info.canonicalFilePath().toCaseFolded());
#endif
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
    auto file = std::make_unique<SystemInputFile>(path);
    if (!file->Open()) {
      *error = file->ErrorString();
      return nullptr;
    }
    return file;
  }

  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         QString* error) override {
    auto file = std::make_unique<SystemOutputFile>(path);
    if (!file->Open()) {
      *error = file->ErrorString();
      return nullptr;
    }
    return file;
  }
};

}  // namespace

FileLayer& SystemFileLayer() {
  static SystemFileLayerImpl layer;
  return layer;
}

}  // namespace quillet
