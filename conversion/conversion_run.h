// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_CONVERSION_RUN_H_
#define QUILLET_CONVERSION_CONVERSION_RUN_H_

#include <QDateTime>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cstddef>
#include <optional>
#include <vector>

#include "conversion/file_layer.h"
#include "conversion/progress_text.h"
#include "conversion/run_failure.h"

namespace quillet {

// What one run converts. Full paths are plain concatenations of a folder
// and a name, so both folders end in the directory separator once set.
struct ConversionJob {
  QStringList MailboxFiles;  // names without folder, in run order
  QString SourceFolder;      // empty until sources are chosen
  QString TargetFolder;      // empty until chosen or defaulted
  bool MboxToBox = true;     // true: mbox to .box; false: .box to mbox
};

// How a run shows its progress. Called only on the thread running the run.
class ConversionReporter {
 public:
  virtual ~ConversionReporter() = default;
  // Once per mailbox, before its files are opened: the source's size.
  virtual void SetProgressMax(qint64 size) = 0;
  // At each separator line: the bytes reckoned through the end of that line
  // (every line counts its length plus 2). May exceed the maximum for
  // sources whose lines do not all end in CR LF.
  virtual void SetProgressValue(qint64 reckoned) = 0;
  // Right after SetProgressValue, when WantsStatusText() said yes:
  // "<prefix><mailbox><middle><message><suffix>".
  virtual void SetStatusText(const QString& text) = 0;
  // Asked right after SetProgressValue: whether the status text would be
  // shown now. Building it costs more than converting a short message, so
  // a reporter that shows no text (or not at this moment) says no and gets
  // no SetStatusText for this message.
  virtual bool WantsStatusText() { return true; }
  // Right after SetStatusText (or WantsStatusText, when it said no).
  virtual void Repaint() = 0;
};

struct ConvertedMailbox {
  QString source;       // full path
  QString output;       // full path
  qint64 messages = 0;  // separator lines found
};

struct RunResult {
  std::vector<ConvertedMailbox> converted;  // complete outputs, in run order
  std::optional<RunFailure> failure;        // set when the run stopped early
  bool ok() const { return !failure.has_value(); }
};

struct RunOptions {
  // Bytes asked of the source per read. Tests make it tiny so that every
  // line end, separator and look-ahead straddles a buffer boundary.
  std::size_t read_chunk = 1 << 20;
  // When the run started; messages without a usable Date header get this
  // time on their mbox separator line. Invalid: the current time.
  QDateTime started;
  // Identities (device, inode) of the outputs written so far, for runs that
  // belong together (the jobs of one command): no output may replace one
  // of them, as happens where the file system ignores letter case. Null:
  // the run keeps its own.
  QSet<FileKey>* written = nullptr;
  // Outputs may replace existing files: the user has agreed. Otherwise the
  // check refuses a job whose output name is taken (kOutputExists).
  bool replace_existing = false;
  // Whether the check reads each source's head for its format. Only the
  // tests of the line rules turn it off, to convert fragments that are no
  // mailbox of either format; the programs never do.
  bool check_formats = true;
};

// Converts every mailbox of the job, in list order, each into one output in
// the target folder. Checks the job first (CheckJob: formats, and existing
// outputs unless `options.replace_existing`). An output is renamed into place
// only once the disk has confirmed all of its bytes; small outputs are
// confirmed and renamed in groups, in list order. After the last rename the
// target folder is synced, so that the renames survive a power cut. Stops
// at the first failure: outputs finished before it stay complete, the
// failing one leaves nothing behind (an existing file of its name stays as
// it was), later mailboxes are not touched, and no source is ever written.
// A failing folder sync is reported with every output in `converted`.
RunResult RunConversion(const ConversionJob& job, const ProgressText& text,
                        FileLayer& files, ConversionReporter& reporter,
                        const RunOptions& options = {});

}  // namespace quillet

#endif  // QUILLET_CONVERSION_CONVERSION_RUN_H_
