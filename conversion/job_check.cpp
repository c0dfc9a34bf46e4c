#include "conversion/job_check.h"

#include <QFile>
#include <QHash>
#include <QPair>
#include <QSet>

#include "conversion/mailbox_format.h"

namespace quillet {
namespace {

// Identity of a file as the system sees it; equal keys mean the same file.

RunFailure CheckFailure(qsizetype number, const QString& mailbox,
                        const QString& path, FailureReason code) {
  return RunFailure{RunStep::kCheck,  static_cast<int>(number),
                    mailbox,          path,
                    ReasonText(code), code};
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
  if (!facts.writable) return CheckFailure(0, {}, folder, facts.not_writable);
  return std::nullopt;
}

}  // namespace

ConversionPlan PlanOf(std::span<const ConversionJob> jobs) {
  ConversionPlan plan;
  for (const ConversionJob& job : jobs) {
    for (const QString& name : job.MailboxFiles) {
      plan.push_back({name, job.SourceFolder + name, job.TargetFolder,
                      OutputName(name, job.MboxToBox)});
    }
  }
  return plan;
}

std::optional<RunFailure> CheckPlan(const ConversionPlan& plan,
                                    FileLayer& files,
                                    std::vector<PathFacts>* source_facts) {
  // Hash sets and maps throughout: 100,000 mailboxes take no longer per
  // mailbox than ten.
  QHash<QString, PathFacts> folders;  // target folder as written -> facts
  for (const PlannedMailbox& mailbox : plan) {
    const QString& folder = mailbox.target_folder;
    if (folders.contains(folder)) continue;
    const PathFacts facts = files.Inspect(folder);
    if (auto failure = CheckFolder(folder, facts)) return failure;
    folders.insert(folder, facts);
  }

  QSet<FileKey> sources;
  sources.reserve(static_cast<qsizetype>(plan.size()));
  std::vector<PathFacts> facts_of_sources;
  facts_of_sources.reserve(plan.size());
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const QString& name = plan[i].name;
    const QString& path = plan[i].source;
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
    facts_of_sources.push_back(facts);
  }

  // Outputs by (identity of their folder, name): two spellings of one
  // folder, or a link to it, cannot hide a clash. The name case-folded in
  // the second set, for folders that ignore case.
  QSet<QPair<FileKey, QString>> outputs;
  QSet<QPair<FileKey, QString>> folded_outputs;
  QSet<FileKey> existing_outputs;  // also catches hard links between names
  outputs.reserve(static_cast<qsizetype>(plan.size()));
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const QString& mailbox = plan[i].name;
    const QString& name = plan[i].output_name;
    const QString path = plan[i].output();
    const qsizetype number = static_cast<qsizetype>(i) + 1;
    const PathFacts& folder = *folders.constFind(plan[i].target_folder);
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
    if (facts.exists) existing_outputs.insert(KeyOf(facts));
  }
  if (source_facts) *source_facts = std::move(facts_of_sources);
  return std::nullopt;
}

std::optional<RunFailure> CheckJob(const ConversionJob& job, FileLayer& files,
                                   std::vector<PathFacts>* source_facts) {
  return CheckPlan(PlanOf(std::span<const ConversionJob>(&job, 1)), files,
                   source_facts);
}

}  // namespace quillet
