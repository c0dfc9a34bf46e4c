// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_RELIABILITY_MEMORY_FILE_LAYER_H_
#define QUILLET_TESTS_RELIABILITY_MEMORY_FILE_LAYER_H_

// A file system in memory behind the engine's FileLayer seam, so that the
// differential test and the fuzzer can run thousands of conversions without
// touching the disk.

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"

namespace quillet::reliability {

class MemoryFileLayer : public FileLayer {
 public:
  // `folder` without or with its trailing "/".
  void AddFolder(const QString& folder);
  void AddFile(const QString& path, std::string bytes);
  // The committed contents of `path`, or nothing.
  const std::string* File(const QString& path) const;

  // From now on every read returns a pseudo-random number of bytes between
  // 1 and what was asked (a short read is the file's right), drawn from
  // `seed`.
  void UseShortReads(std::uint64_t seed) { short_read_seed_ = seed; }

  PathFacts Inspect(const QString& path) override;
  std::optional<qint64> Size(const QString& path, FileError* error) override;
  std::unique_ptr<InputFile> OpenInput(const QString& path,
                                       FileError* error) override;
  std::unique_ptr<OutputFile> OpenOutput(const QString& path,
                                         FileError* error) override;

 private:
  struct Entry {
    std::string bytes;
    quint64 inode = 0;
  };
  static QString WithoutSlash(const QString& path);
  void Store(const QString& path, std::string bytes);

  std::map<QString, Entry> files_;
  std::set<QString> folders_;
  quint64 next_inode_ = 1;
  std::optional<std::uint64_t> short_read_seed_;
  friend class MemoryOutputFile;
};

// Adds the folders /in/ and /out/ to `files` and `mailboxes` as sources in
// /in/ (named m1, m2, ..., with ".box" when converting towards mbox), and
// returns the job that converts them all into /out/.
ConversionJob AddMemoryJob(MemoryFileLayer& files,
                           const std::vector<std::string>& mailboxes,
                           bool mbox_to_box);

// One run of several mailboxes, checked against the reference model.
struct DifferentialCase {
  std::vector<std::string> mailboxes;
  bool mbox_to_box = true;
  std::size_t read_chunk = std::size_t{1} << 20;
  std::optional<std::uint64_t> short_read_seed;
};

// Runs the engine and the model on `c`. Returns an empty string when they
// agree in every output byte, message count and reporter call, else a
// description of the first difference.
std::string CompareEngineWithModel(const DifferentialCase& c);

// `bytes` with control and high bytes escaped, cut to about `limit` bytes.
std::string Printable(std::string_view bytes, std::size_t limit = 160);

}  // namespace quillet::reliability

#endif  // QUILLET_TESTS_RELIABILITY_MEMORY_FILE_LAYER_H_
