// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/job_check.h"

#include <QFile>
#include <QHash>
#include <QMultiHash>
#include <QPair>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "conversion/line_reader.h"
#include "conversion/mailbox_format.h"
#include "conversion/mbox_rules.h"

namespace quillet {
namespace {

RunFailure CheckFailure(qsizetype number, const QString& mailbox,
                        const QString& path, FailureReason code) {
  return RunFailure{RunStep::kCheck, static_cast<int>(number), mailbox, path,
                    FileError::Own(code)};
}

// Whether FAT and exFAT can hold `name` as it is: they refuse some
// characters and drop trailing dots and spaces, which would give another
// name than the one reported.
bool FatAllows(const QString& name) {
  if (name.endsWith(u'.') || name.endsWith(u' ')) return false;
  for (const QChar c : name) {
    if (c.unicode() < 0x20 || QStringView(u"\"*/:<>?\\|").contains(c)) {
      return false;
    }
  }
  return true;
}

// Whether `name` is one the system takes for a device: CON, PRN, AUX, NUL,
// COM1-COM9 or LPT1-LPT9, in any letter case, with any extension and with
// blanks before it ("nul.box", "COM1.txt.box", "aux .mbox").
bool IsDeviceName(const QString& name) {
  QStringView stem(name);
  const qsizetype dot = stem.indexOf(u'.');
  if (dot >= 0) stem = stem.left(dot);
  while (stem.endsWith(u' ')) stem.chop(1);
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
    if (stem.compare(QLatin1String(device), Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return stem.size() == 4 &&
         (stem.left(3).compare(u"COM", Qt::CaseInsensitive) == 0 ||
          stem.left(3).compare(u"LPT", Qt::CaseInsensitive) == 0) &&
         stem[3] >= u'1' && stem[3] <= u'9';
}

std::optional<RunFailure> CheckFolder(const QString& folder,
                                      const PathFacts& facts) {
  if (folder.isEmpty() || !facts.exists ||
      (facts.is_symlink && !facts.is_directory && !facts.is_regular_file)) {
    return CheckFailure(0, {}, folder, FailureReason::kTargetMissing);
  }
  if (!facts.is_directory) {
    return CheckFailure(0, {}, folder, FailureReason::kTargetNotFolder);
  }
  if (facts.immutable) {
    return CheckFailure(0, {}, folder, FailureReason::kTargetImmutable);
  }
  if (!facts.writable) return CheckFailure(0, {}, folder, facts.not_writable);
  return std::nullopt;
}

// Reads up to `size` bytes from the start of `file` into `head`, keeping
// what it holds already; fewer only at the end of the file. False on a
// failed read.
bool ReadHead(InputFile& file, std::string& head, std::size_t size,
              FileError* error) {
  std::size_t got = head.size();
  head.resize(size);
  while (got < size) {
    const qint64 n = file.ReadAt(static_cast<qint64>(got), head.data() + got,
                                 static_cast<qint64>(size - got));
    if (n < 0) {
      *error = file.Error();
      head.resize(got);
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  head.resize(got);
  return true;
}

// The kind the first line alone shows, when it shows one.
std::optional<SourceKind> KindOfFirstLine(std::string_view head) {
  if (head.substr(0, BoxSeparator.size()) == BoxSeparator) {
    return SourceKind::kBox;
  }
  if (head.substr(0, MboxSeparatorStart.size()) == MboxSeparatorStart) {
    return SourceKind::kMbox;  // a first "From " line always starts one
  }
  if (head.substr(0, kMmdfDelimiter.size()) == kMmdfDelimiter) {
    const std::string_view rest = head.substr(kMmdfDelimiter.size());
    if (rest.empty() || rest[0] == '\r' || rest[0] == '\n') {
      return SourceKind::kMbox;
    }
  }
  return std::nullopt;
}

// Scans the lines of `head` that begin before `limit` for the first that
// starts a message. From each such line on, `head` holds the separator
// judge's look-ahead unless it ends the file.
std::optional<SourceKind> FirstMessageIn(std::string_view head,
                                         bool head_ends_file,
                                         std::size_t limit) {
  if (auto kind = KindOfFirstLine(head)) return kind;
  CrRule rule = CrRule::kUndecided;
  std::size_t at = 0;
  while (at < head.size() && at < limit) {
    const std::string_view rest = head.substr(at);
    if (at > 0 && rest.substr(0, BoxSeparator.size()) == BoxSeparator) {
      return SourceKind::kBox;
    }
    // A "From " line too long to judge from the look-ahead is body text.
    if (at > 0 &&
        rest.substr(0, MboxSeparatorStart.size()) == MboxSeparatorStart &&
        FromLineStartsMessage(rest, head_ends_file, rule).value_or(false)) {
      return SourceKind::kMbox;
    }
    const LineScan line =
        ScanLine(rest.data(), rest.data() + rest.size(), head_ends_file, &rule);
    if (!line.found) break;
    at += line.content + line.end_size;
  }
  return std::nullopt;
}

}  // namespace

std::optional<SourceKind> KindOfSource(InputFile& file, FileError* error) {
  // Most mailboxes show their kind in their first line: one small read.
  constexpr std::size_t kFirstRead = 4096;
  std::string head;
  if (!ReadHead(file, head, kFirstRead, error)) return std::nullopt;
  if (head.empty()) return SourceKind::kEmpty;
  if (auto kind = KindOfFirstLine(head)) return *kind;
  // Then in two steps, so that a mailbox with a few lines of text before
  // its first message is not read for a whole MiB.
  for (const std::size_t stage :
       {std::size_t{64} << 10, static_cast<std::size_t>(kFormatHead)}) {
    const std::size_t want = stage + kFromLineLookAhead;
    if (!ReadHead(file, head, want, error)) return std::nullopt;
    const bool ends_file = head.size() < want;
    // Lines that begin within the bound count, and where the whole file is
    // in view a later stage would see no more.
    const std::size_t limit =
        ends_file ? std::min(head.size(), static_cast<std::size_t>(kFormatHead))
                  : stage;
    if (auto kind = FirstMessageIn(head, ends_file, limit)) {
      return *kind;
    }
    if (ends_file) break;
  }
  const std::size_t looked_at =
      std::min(head.size(), static_cast<std::size_t>(kFormatHead));
  return std::string_view(head).substr(0, looked_at).find('\0') !=
                 std::string_view::npos
             ? SourceKind::kBinary
             : SourceKind::kText;
}

namespace {

// Why a source of `kind` cannot be converted in the given direction;
// nothing when it can.
std::optional<FailureReason> FormatRefusal(SourceKind kind, bool mbox_to_box) {
  switch (kind) {
    case SourceKind::kEmpty:
      return std::nullopt;
    case SourceKind::kMbox:
      if (mbox_to_box) return std::nullopt;
      return FailureReason::kSourceIsMbox;
    case SourceKind::kBox:
      if (!mbox_to_box) return std::nullopt;
      return FailureReason::kSourceIsBox;
    case SourceKind::kBinary:
      return FailureReason::kSourceIsBinary;
    case SourceKind::kText:
      return mbox_to_box ? FailureReason::kNoMboxMessage
                         : FailureReason::kNoBoxMessage;
  }
  return std::nullopt;
}

// The format check of one source, opened for it alone.
std::optional<RunFailure> CheckFormat(qsizetype number,
                                      const RunMailbox& mailbox,
                                      bool mbox_to_box, FileLayer& files) {
  FileError error;
  std::unique_ptr<InputFile> input = files.OpenInput(mailbox.source, &error);
  if (!input) {
    return RunFailure{RunStep::kOpenSource, static_cast<int>(number),
                      mailbox.name, mailbox.source, error};
  }
  const std::optional<SourceKind> kind = KindOfSource(*input, &error);
  // Released without Close(): its comparison of the file's state with that
  // at the open is the run's to make, and this head read needs none (one
  // system call per source less).
  input.reset();
  if (!kind) {
    return RunFailure{RunStep::kRead, static_cast<int>(number), mailbox.name,
                      mailbox.source, error};
  }
  if (const auto refusal = FormatRefusal(*kind, mbox_to_box)) {
    return CheckFailure(number, mailbox.name, mailbox.source, *refusal);
  }
  return std::nullopt;
}

// Whether the files at `a` and `b` hold the same bytes, read through
// `files`. A file that cannot be read is taken as different: the source
// can be read, so an unreadable file is not it.
bool SameContents(FileLayer& files, const QString& a, const QString& b) {
  FileError error;
  std::unique_ptr<InputFile> first = files.OpenInput(a, &error);
  if (!first) return false;
  std::unique_ptr<InputFile> second = files.OpenInput(b, &error);
  if (!second) {
    first->Close();
    return false;
  }
  constexpr qint64 kChunk = 64 << 10;
  std::string one(kChunk, '\0');
  std::string two(kChunk, '\0');
  bool same = true;
  for (qint64 at = 0; same;) {
    const qint64 n = first->ReadAt(at, one.data(), kChunk);
    const qint64 m = n < 0 ? -1 : second->ReadAt(at, two.data(), n > 0 ? n : 1);
    if (n < 0 || m != n) {
      same = n == 0 && m == 0;
      break;
    }
    if (n == 0) break;
    same =
        std::memcmp(one.data(), two.data(), static_cast<std::size_t>(n)) == 0;
    at += n;
  }
  first->Close();  // only read: a failed close harms nothing here
  second->Close();
  return same;
}

}  // namespace

std::optional<RunFailure> CheckPlan(ConversionPlan& plan, FileLayer& files,
                                    const CheckOptions& options) {
  plan.checked = false;
  std::vector<RunMailbox>& mailboxes = plan.mailboxes;
  // Hash sets and maps throughout: 100,000 mailboxes take no longer per
  // mailbox than ten.
  QHash<QString, PathFacts> folders;  // target folder as written -> facts
  for (const RunMailbox& mailbox : mailboxes) {
    const QString& folder = mailbox.target_folder;
    if (folders.contains(folder)) continue;
    const PathFacts facts = files.Inspect(folder);
    if (auto failure = CheckFolder(folder, facts)) return failure;
    folders.insert(folder, facts);
  }

  QSet<FileKey> sources;
  sources.reserve(static_cast<qsizetype>(mailboxes.size()));
  // Sources by size and modification time, for outputs whose identity the
  // file system may hide: all of them, and those on such file systems
  // (an output elsewhere is compared with these alone, so that where no
  // file system hides identities nothing is compared at all).
  QMultiHash<QPair<qint64, qint64>, std::size_t> by_size_and_time;
  QMultiHash<QPair<qint64, qint64>, std::size_t> hidden_by_size_and_time;
  for (std::size_t i = 0; i < mailboxes.size(); ++i) {
    const QString& name = mailboxes[i].name;
    const QString& path = mailboxes[i].source;
    const qsizetype number = static_cast<qsizetype>(i) + 1;
    const PathFacts facts = files.Inspect(path);
    if (!facts.exists) {
      return CheckFailure(number, name, path, FailureReason::kSourceMissing);
    }
    if (!facts.is_regular_file) {
      return CheckFailure(number, name, path, FailureReason::kSourceNotRegular);
    }
    if (!facts.readable) {
      return CheckFailure(number, name, path, FailureReason::kSourceUnreadable);
    }
    sources.insert(KeyOf(facts));
    mailboxes[i].source_permissions = facts.permissions;
    by_size_and_time.insert({facts.size, facts.modified_ns}, i);
    if (facts.hides_identity) {
      hidden_by_size_and_time.insert({facts.size, facts.modified_ns}, i);
    }
  }

  // Outputs by (identity of their folder, name): two spellings of one
  // folder, or a link to it, cannot hide a clash. The name case-folded in
  // the second set, for folders that ignore case.
  QSet<QPair<FileKey, QString>> outputs;
  QSet<QPair<FileKey, QString>> folded_outputs;
  QSet<FileKey> existing_outputs;  // also catches hard links between names
  std::optional<std::size_t> first_replacing;
  outputs.reserve(static_cast<qsizetype>(mailboxes.size()));
  for (std::size_t i = 0; i < mailboxes.size(); ++i) {
    const QString& mailbox = mailboxes[i].name;
    const QString name = mailboxes[i].output_name();
    const QString& path = mailboxes[i].output;
    const qsizetype number = static_cast<qsizetype>(i) + 1;
    const PathFacts& folder = *folders.constFind(mailboxes[i].target_folder);
    const qsizetype name_length =
        folder.name_max_in_utf16 ? name.size() : QFile::encodeName(name).size();
    if (folder.name_max > 0 && name_length > folder.name_max) {
      return CheckFailure(number, mailbox, path, FailureReason::kNameTooLong);
    }
    if ((folder.fat_names && !FatAllows(name)) ||
        (folder.device_names && IsDeviceName(name))) {
      return CheckFailure(number, mailbox, path,
                          FailureReason::kNameNotAllowed);
    }
    const PathFacts facts = files.Inspect(path);
    // Not followed: in a shared folder another user may have planted it,
    // to have the run write wherever it leads.
    if (facts.is_symlink) {
      return CheckFailure(number, mailbox, path, FailureReason::kOutputIsLink);
    }
    if (facts.exists && !facts.is_regular_file) {
      return CheckFailure(number, mailbox, path,
                          FailureReason::kOutputNotRegular);
    }
    if (facts.exists && sources.contains(KeyOf(facts))) {
      return CheckFailure(number, mailbox, path,
                          FailureReason::kOutputIsSource);
    }
    // A source seen through another mount (bindfs, NFS) has other
    // identities than its output name shows: the same bytes, size and
    // time there stand for the same file.
    if (facts.exists && facts.is_regular_file) {
      const QPair<qint64, qint64> size_and_time(facts.size, facts.modified_ns);
      const auto& candidates =
          facts.hides_identity ? by_size_and_time : hidden_by_size_and_time;
      for (auto it = candidates.constFind(size_and_time);
           it != candidates.cend() && it.key() == size_and_time; ++it) {
        if (SameContents(files, mailboxes[it.value()].source, path)) {
          return CheckFailure(number, mailbox, path,
                              FailureReason::kOutputLooksLikeSource);
        }
      }
    }
    // The rename over an old file is refused for these: found now, before
    // an earlier output is written.
    if (facts.exists && facts.immutable) {
      return CheckFailure(number, mailbox, path,
                          FailureReason::kOutputImmutable);
    }
    if (facts.exists && facts.foreign_owner && folder.foreign_owner &&
        (folder.permissions & 01000) != 0) {
      return CheckFailure(number, mailbox, path,
                          FailureReason::kOutputOtherOwner);
    }
    const QPair<FileKey, QString> key(KeyOf(folder), name);
    if (outputs.contains(key) ||
        (facts.exists && existing_outputs.contains(KeyOf(facts)))) {
      return CheckFailure(number, mailbox, path, FailureReason::kOutputClash);
    }
    if (folder.folds_case) {
      const QPair<FileKey, QString> folded(key.first, name.toCaseFolded());
      if (folded_outputs.contains(folded)) {
        return CheckFailure(number, mailbox, path,
                            FailureReason::kOutputCaseClash);
      }
      folded_outputs.insert(folded);
    }
    outputs.insert(key);
    mailboxes[i].replaces = facts.exists;
    if (facts.exists) {
      mailboxes[i].replaced = KeyOf(facts);
      existing_outputs.insert(KeyOf(facts));
      if (!first_replacing) first_replacing = i;
    }
  }

  for (std::size_t i = 0; options.check_formats && i < mailboxes.size(); ++i) {
    const qsizetype number = static_cast<qsizetype>(i) + 1;
    if (auto failure =
            CheckFormat(number, mailboxes[i], plan.mbox_to_box, files)) {
      return failure;
    }
  }

  if (!options.replace_existing && first_replacing) {
    const RunMailbox& first = mailboxes[*first_replacing];
    return CheckFailure(static_cast<qsizetype>(*first_replacing) + 1,
                        first.name, first.output, FailureReason::kOutputExists);
  }
  plan.checked = true;
  return std::nullopt;
}

QStringList ReplacedOutputs(const ConversionPlan& plan) {
  QStringList replaced;
  for (const RunMailbox& mailbox : plan.mailboxes) {
    if (mailbox.replaces) replaced.append(mailbox.output);
  }
  return replaced;
}

std::optional<RunFailure> CheckOutputsStillFree(const ConversionPlan& plan,
                                                FileLayer& files) {
  for (std::size_t i = 0; i < plan.mailboxes.size(); ++i) {
    const RunMailbox& mailbox = plan.mailboxes[i];
    if (!mailbox.replaces && files.Inspect(mailbox.output).exists) {
      return CheckFailure(static_cast<qsizetype>(i) + 1, mailbox.name,
                          mailbox.output, FailureReason::kOutputExists);
    }
  }
  return std::nullopt;
}

}  // namespace quillet
