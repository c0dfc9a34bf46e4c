#ifndef QUILLET_CONVERSION_FILE_LAYER_H_
#define QUILLET_CONVERSION_FILE_LAYER_H_

#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

namespace quillet {

// A source mailbox open for reading. Never writes, truncates or moves it.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `max` bytes into `data`. Returns the number read, 0 at the
  // end of the file, or -1 on failure (ErrorString() then says why).
  virtual qint64 Read(char* data, qint64 max) = 0;
  // Reads up to `max` bytes from `offset` without moving the position that
  // Read() goes on from: a look far ahead (a Content-Length body's end)
  // without holding what lies between. Returns as Read() does.
  virtual qint64 ReadAt(qint64 offset, char* data, qint64 max) = 0;
  // Releases the file. Returns false on failure.
  virtual bool Close() = 0;
  virtual QString ErrorString() const = 0;
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
  // Makes the complete output visible under its name, replacing any file
  // there. After a failed Commit nothing of the output remains.
  virtual bool Commit() = 0;
  virtual QString ErrorString() const = 0;
};

// What the job check needs to know of a path.
struct PathFacts {
  bool exists = false;
  bool is_regular_file = false;
  bool is_directory = false;
  // Identity of the file the path leads to (links followed); equal ids mean
  // the same file. Meaningful only when `exists`.
  quint64 device = 0;
  quint64 inode = 0;
};

// Every file operation a conversion run performs goes through this seam, so
// that tests can make any one of them fail.
class FileLayer {
 public:
  virtual ~FileLayer() = default;
  virtual PathFacts Inspect(const QString& path) = 0;
  // The size of the file at `path` in bytes, or nothing (and `error` set).
  virtual std::optional<qint64> Size(const QString& path, QString* error) = 0;
  virtual std::unique_ptr<InputFile> OpenInput(const QString& path,
                                               QString* error) = 0;
  virtual std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                                 QString* error) = 0;
};

// The real file system: QFile for sources, QSaveFile for outputs (written
// under a temporary name in the target folder, renamed over the output name
// on Commit).
FileLayer& SystemFileLayer();

// Hands every operation to another layer: the base of layers that change
// one operation, such as those that make it fail on purpose.
class ForwardingFileLayer : public FileLayer {
 public:
  // `inner` must outlive this layer.
  explicit ForwardingFileLayer(FileLayer& inner = SystemFileLayer())
      : inner_(inner) {}

  PathFacts Inspect(const QString& path) override {
    return inner_.Inspect(path);
  }
  std::optional<qint64> Size(const QString& path, QString* error) override {
    return inner_.Size(path, error);
  }
  std::unique_ptr<InputFile> OpenInput(const QString& path,
                                       QString* error) override {
    return inner_.OpenInput(path, error);
  }
  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         QString* error) override {
    return inner_.OpenOutput(path, error);
  }

 private:
  FileLayer& inner_;
};

}  // namespace quillet

#endif  // QUILLET_CONVERSION_FILE_LAYER_H_
