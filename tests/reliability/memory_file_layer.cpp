// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/reliability/memory_file_layer.h"

#include <QDate>
#include <QTime>
#include <QTimeZone>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tests/reliability/reference_model.h"
#include "tests/support/random.h"
#include "tests/support/recording_reporter.h"
#include "ui/text/ui_text.h"

namespace quillet::reliability {

class MemoryInputFile final : public InputFile {
 public:
  MemoryInputFile(std::string bytes, std::optional<std::uint64_t> seed)
      : bytes_(std::move(bytes)), random_(seed.value_or(0)), short_(seed) {}

  qint64 Read(char* data, qint64 max) override {
    if (closed_ || max < 0) return -1;
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(max),
                                          bytes_.size() - pos_);
    if (short_ && n > 1) n = 1 + static_cast<std::size_t>(random_.Below(n));
    std::memcpy(data, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<qint64>(n);
  }
  qint64 ReadAt(qint64 offset, char* data, qint64 max) override {
    if (closed_ || max < 0 || offset < 0) return -1;
    const std::size_t from =
        std::min<std::size_t>(static_cast<std::size_t>(offset), bytes_.size());
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(max),
                                          bytes_.size() - from);
    if (short_ && n > 1) n = 1 + static_cast<std::size_t>(random_.Below(n));
    std::memcpy(data, bytes_.data() + from, n);
    return static_cast<qint64>(n);
  }
  bool Close() override {
    closed_ = true;
    return true;
  }
  FileError Error() const override { return FileError::System(EBADF); }

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
  testing::Random random_;
  bool short_;
  bool closed_ = false;
};

class MemoryOutputFile final : public OutputFile {
 public:
  MemoryOutputFile(MemoryFileLayer& layer, QString path)
      : layer_(layer), path_(std::move(path)) {}
  bool Write(const char* data, qint64 size) override {
    if (committed_ || size < 0) return false;
    bytes_.append(data, static_cast<std::size_t>(size));
    return true;
  }
  bool Flush() override { return !committed_; }
  bool Commit() override {
    if (committed_) return false;
    committed_ = true;
    layer_.Store(path_, std::move(bytes_));
    return true;
  }
  FileError Error() const override { return FileError::System(EBADF); }

 private:
  MemoryFileLayer& layer_;
  QString path_;
  std::string bytes_;
  bool committed_ = false;
};

QString MemoryFileLayer::WithoutSlash(const QString& path) {
  QString p = path;
  while (p.size() > 1 && p.endsWith(u'/')) p.chop(1);
  return p;
}

void MemoryFileLayer::AddFolder(const QString& folder) {
  folders_.insert(WithoutSlash(folder));
}

void MemoryFileLayer::AddFile(const QString& path, std::string bytes) {
  Store(path, std::move(bytes));
}

void MemoryFileLayer::Store(const QString& path, std::string bytes) {
  Entry& entry = files_[path];
  if (entry.inode == 0) entry.inode = next_inode_++;
  entry.bytes = std::move(bytes);
}

const std::string* MemoryFileLayer::File(const QString& path) const {
  const auto it = files_.find(path);
  return it == files_.end() ? nullptr : &it->second.bytes;
}

PathFacts MemoryFileLayer::Inspect(const QString& path) {
  PathFacts facts;
  if (const auto it = files_.find(path); it != files_.end()) {
    facts.exists = true;
    facts.is_regular_file = true;
    facts.inode = it->second.inode;
  } else if (folders_.count(WithoutSlash(path)) > 0) {
    facts.exists = true;
    facts.is_directory = true;
    facts.inode = qHash(WithoutSlash(path)) | (quint64{1} << 63);
  }
  return facts;
}

std::optional<qint64> MemoryFileLayer::Size(const QString& path,
                                            FileError* error) {
  const std::string* bytes = File(path);
  if (!bytes) {
    *error = FileError::System(ENOENT);
    return std::nullopt;
  }
  return static_cast<qint64>(bytes->size());
}

std::unique_ptr<InputFile> MemoryFileLayer::OpenInput(const QString& path,
                                                      FileError* error) {
  const std::string* bytes = File(path);
  if (!bytes) {
    *error = FileError::System(ENOENT);
    return nullptr;
  }
  std::optional<std::uint64_t> seed;
  if (short_read_seed_) seed = (*short_read_seed_)++;
  return std::make_unique<MemoryInputFile>(*bytes, seed);
}

std::unique_ptr<OutputFile> MemoryFileLayer::OpenOutput(const QString& path,
                                                        FileError* error) {
  if (folders_.count(WithoutSlash(path)) > 0) {
    *error = FileError::System(EISDIR);
    return nullptr;
  }
  return std::make_unique<MemoryOutputFile>(*this, path);
}

std::string Printable(std::string_view bytes, std::size_t limit) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size() && text.size() < limit; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    }
  }
  if (text.size() >= limit) text += "...";
  return text;
}

namespace {

// Where two byte strings first differ, with a little of each around it.
std::string FirstDifference(std::string_view engine, std::string_view model) {
  std::size_t at = 0;
  while (at < engine.size() && at < model.size() && engine[at] == model[at]) {
    ++at;
  }
  const std::size_t from = at > 40 ? at - 40 : 0;
  return "sizes " + std::to_string(engine.size()) + " (engine) and " +
         std::to_string(model.size()) + " (model), first difference at byte " +
         std::to_string(at) + "\n  engine: " +
         Printable(engine.substr(std::min(from, engine.size()))) +
         "\n  model:  " + Printable(model.substr(std::min(from, model.size())));
}

}  // namespace

ConversionJob AddMemoryJob(MemoryFileLayer& files,
                           const std::vector<std::string>& mailboxes,
                           bool mbox_to_box) {
  files.AddFolder(QStringLiteral("/in/"));
  files.AddFolder(QStringLiteral("/out/"));
  ConversionJob job;
  job.SourceFolder = QStringLiteral("/in/");
  job.TargetFolder = QStringLiteral("/out/");
  job.MboxToBox = mbox_to_box;
  for (std::size_t i = 0; i < mailboxes.size(); ++i) {
    const QString name = QStringLiteral("m%1%2").arg(i + 1).arg(
        mbox_to_box ? QString() : QStringLiteral(".box"));
    files.AddFile(job.SourceFolder + name, mailboxes[i]);
    job.MailboxFiles.append(name);
  }
  return job;
}

std::string CompareEngineWithModel(const DifferentialCase& c) {
  static const QDateTime kStarted(QDate(2001, 2, 3), QTime(4, 5, 6),
                                  QTimeZone::utc());
  UiText text;
  FillUiText(text, Language::kFrench);  // non-ASCII: "n°"

  MemoryFileLayer files;
  const ConversionJob job = AddMemoryJob(files, c.mailboxes, c.mbox_to_box);
  if (c.short_read_seed) files.UseShortReads(*c.short_read_seed);

  RunOptions options;
  options.read_chunk = c.read_chunk;
  // The line rules over any shape, mailbox or fragment.
  options.check_formats = false;
  options.started = kStarted;
  testing::RecordingReporter recorder;
  const RunResult result =
      RunConversion(job, ProgressTextOf(text), files, recorder, options);
  if (!result.ok()) {
    return "the engine failed: " + result.failure->Describe().toStdString();
  }
  if (result.converted.size() != c.mailboxes.size()) {
    return "the engine converted " + std::to_string(result.converted.size()) +
           " of " + std::to_string(c.mailboxes.size()) + " mailboxes";
  }

  std::vector<std::string> model_calls;
  for (std::size_t i = 0; i < c.mailboxes.size(); ++i) {
    const ModelResult model =
        ModelConvert(c.mailboxes[i], c.mbox_to_box, text,
                     static_cast<qint64>(i + 1), kStarted);
    model_calls.insert(model_calls.end(), model.calls.begin(),
                       model.calls.end());
    const QString output_path = result.converted[i].output;
    const std::string* output = files.File(output_path);
    const std::string where = "mailbox " + std::to_string(i + 1) + ": ";
    if (!output) return where + "no output " + output_path.toStdString();
    if (*output != model.output) {
      return where +
             "outputs differ: " + FirstDifference(*output, model.output);
    }
    if (result.converted[i].messages != model.messages) {
      return where + "message counts differ: " +
             std::to_string(result.converted[i].messages) + " (engine) and " +
             std::to_string(model.messages) + " (model)";
    }
  }
  if (recorder.calls != model_calls) {
    std::size_t at = 0;
    while (at < recorder.calls.size() && at < model_calls.size() &&
           recorder.calls[at] == model_calls[at]) {
      ++at;
    }
    const auto call = [at](const std::vector<std::string>& calls) {
      return at < calls.size() ? Printable(calls[at]) : std::string("(none)");
    };
    return "reporter calls differ at call " + std::to_string(at) + ": engine " +
           call(recorder.calls) + ", model " + call(model_calls);
  }
  return {};
}

}  // namespace quillet::reliability
