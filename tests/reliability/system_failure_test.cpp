// SPDX-License-Identifier: GPL-3.0-or-later
// The real system's failures, on real files: a full disk, a read-only
// target, targets and sources that are not what they should be, sources
// that change between the check and the read, hostile names on the command
// line, the source folder as target, and 10,000 mailboxes in one run.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>
#include <QTimeZone>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"
#include "conversion/mailbox_format.h"
#include "tests/reliability/fault_file_layer.h"
#include "tests/reliability/reference_model.h"
#include "tests/reliability/sanitizer_build.h"
#include "tests/support/conversion_support.h"
#include "ui/text/ui_text.h"

namespace quillet::reliability {
namespace {

using quillet::testing::ReadBytes;
using quillet::testing::RecordingReporter;
using quillet::testing::Workspace;
using quillet::testing::WriteBytes;

const QDateTime kStarted(QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
const std::string kMbox =
    "From a@example.org Mon Jan  1 09:00:00 2024\nSubject: one\n\nbody\n"
    "From b@example.org Mon Jan  1 09:00:00 2024\nSubject: two\n\nbody 2\n";

std::string Expected(std::string_view input, bool mbox_to_box) {
  UiText text;
  FillUiText(text, Language::kEnglish);
  return ModelConvert(input, mbox_to_box, text, 1, kStarted).output;
}

RunResult RunJob(const ConversionJob& job, FileLayer& files = SystemFileLayer(),
                 std::size_t read_chunk = std::size_t{1} << 20,
                 RecordingReporter* reporter = nullptr) {
  UiText text;
  FillUiText(text, Language::kEnglish);
  RecordingReporter own;
  RunOptions options;
  options.read_chunk = read_chunk;
  options.started = kStarted;
  // Older files of the outputs' names may be replaced, as after the user's
  // yes: these tests are about what a failure leaves of them.
  options.replace_existing = true;
  return RunConversion(job, ProgressTextOf(text), files,
                       reporter ? *reporter : own, options);
}

QStringList Entries(const QString& folder) {
  QStringList names = QDir(folder).entryList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  names.sort();
  return names;
}

std::string Describe(const RunResult& result) {
  return result.ok() ? "ok" : result.failure->Describe().toStdString();
}

// A tmpfs mounted over `folder` for the life of the object.
class Tmpfs {
 public:
  Tmpfs(const QString& folder, const std::string& options)
      : folder_(QFile::encodeName(folder).toStdString()), options_(options) {
    mounted_ =
        ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, options_.c_str()) == 0;
    if (!mounted_) error_ = std::strerror(errno);
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  bool RemountReadOnly() {
    return ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                   options_.c_str()) == 0;
  }

 private:
  std::string folder_;
  std::string options_;
  bool mounted_ = false;
  std::string error_;
};

// --- the target -----------------------------------------------------------

TEST(SystemFailures, FullDiskLeavesEarlierOutputsAndTheOldFile) {
  Workspace space;
  const QString target = space.root() + "/small-disk/";
  ASSERT_TRUE(QDir().mkdir(target));
  Tmpfs disk(target, "size=256k");
  if (!disk.mounted()) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << disk.error()
                 << "); conversion_test's RLIMIT_FSIZE test covers a write "
                    "that the system refuses";
  }
  const std::string small = kMbox;
  std::string big;
  while (big.size() < 2 * 1024 * 1024) big += kMbox;
  space.AddSource("small", small);
  space.AddSource("big", big);
  space.job.TargetFolder = target;
  WriteBytes(target + "big.box", "previous");

  const RunResult result = RunJob(space.job);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->mailbox_number, 2);
  EXPECT_EQ(result.failure->path, target + "big.box");
  EXPECT_TRUE(result.failure->step == RunStep::kWrite ||
              result.failure->step == RunStep::kFlush ||
              result.failure->step == RunStep::kCommit)
      << Describe(result);
  EXPECT_EQ(result.failure->error, FileError::System(ENOSPC))
      << Describe(result);
  EXPECT_EQ(Entries(target), (QStringList{"big.box", "small.box"}));
  EXPECT_EQ(ReadBytes(target + "big.box"), "previous");
  EXPECT_EQ(ReadBytes(target + "small.box"), Expected(small, true));
  EXPECT_EQ(ReadBytes(space.source_folder() + "big"), big);
  EXPECT_EQ(ReadBytes(space.source_folder() + "small"), small);
}

TEST(SystemFailures, ReadOnlyTargetFolderIsNotWritten) {
  Workspace space;
  const QString target = space.root() + "/read-only/";
  ASSERT_TRUE(QDir().mkdir(target));
  Tmpfs disk(target, "size=64k");
  if (!disk.mounted()) {
    if (::geteuid() == 0) {
      GTEST_SKIP() << "cannot mount here (" << disk.error()
                   << "), and file modes do not stop root";
    }
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0555), 0);
  }
  WriteBytes(target + "a.box", "old");
  if (disk.mounted()) {
    ASSERT_TRUE(disk.RemountReadOnly());
  }
  space.AddSource("a", kMbox);
  space.job.TargetFolder = target;

  // Foreseen by the check now, before any output of the run is written.
  const RunResult result = RunJob(space.job);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->step, RunStep::kCheck) << Describe(result);
  EXPECT_EQ(result.failure->path, target);
  EXPECT_EQ(result.failure->error.code,
            disk.mounted() ? FailureReason::kTargetReadOnly
                           : FailureReason::kTargetNotWritable);
  EXPECT_FALSE(ErrorText(result.failure->error).isEmpty());
  EXPECT_EQ(Entries(target), QStringList{"a.box"});
  EXPECT_EQ(ReadBytes(target + "a.box"), "old");
  EXPECT_EQ(ReadBytes(space.source_folder() + "a"), kMbox);
}

TEST(SystemFailures, TargetThatIsAFileOrALoopIsRefusedByTheCheck) {
  Workspace space;
  space.AddSource("a", kMbox);
  WriteBytes(space.root() + "/file", "not a folder");
  ASSERT_EQ(::symlink("loop", QFile::encodeName(space.root() + "/loop")), 0);
  for (const QString& target : {space.root() + "/file/", space.root() + "/file",
                                space.root() + "/loop/"}) {
    space.job.TargetFolder = target;
    const RunResult result = RunJob(space.job);
    ASSERT_FALSE(result.ok()) << target.toStdString();
    EXPECT_EQ(result.failure->step, RunStep::kCheck);
    EXPECT_EQ(result.failure->path, target);
  }
  EXPECT_EQ(ReadBytes(space.root() + "/file"), "not a folder");
  EXPECT_EQ(ReadBytes(space.source_folder() + "a"), kMbox);
}

// --- the sources ------------------------------------------------------------

TEST(SystemFailures, SourcesThatAreNotRegularFilesAreRefusedAtOnce) {
  Workspace space;
  QDir(space.source_folder()).mkdir("folder");
  ASSERT_EQ(::mkfifo(QFile::encodeName(space.source_folder() + "fifo"), 0600),
            0);
  ASSERT_EQ(
      ::symlink("loop", QFile::encodeName(space.source_folder() + "loop")), 0);
  ASSERT_EQ(
      ::symlink("/dev/zero", QFile::encodeName(space.source_folder() + "zero")),
      0);
  space.AddSource("good", kMbox);
  for (const char* name : {"folder", "fifo", "loop", "zero"}) {
    space.job.MailboxFiles = {"good", name};
    const RunResult result = RunJob(space.job);  // would block on the FIFO
    ASSERT_FALSE(result.ok()) << name;
    EXPECT_EQ(result.failure->step, RunStep::kCheck);
    EXPECT_EQ(result.failure->mailbox_number, 2);
    EXPECT_EQ(result.failure->path, space.source_folder() + name);
  }
  space.job.SourceFolder = "/dev/";
  space.job.MailboxFiles = {"zero", "null", "full", "stdin"};
  EXPECT_FALSE(RunJob(space.job).ok());
  EXPECT_TRUE(Entries(space.target_folder()).isEmpty());
}

TEST(SystemFailures, SourceWithoutReadPermission) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "running as root, which reads a file whatever its mode";
  }
  Workspace space;
  space.AddSource("secret", kMbox);
  ASSERT_EQ(::chmod(QFile::encodeName(space.source_folder() + "secret"), 0), 0);
  const RunResult result = RunJob(space.job);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->step, RunStep::kOpenSource);
  EXPECT_TRUE(Entries(space.target_folder()).isEmpty());
}

// A source that changes after the check: `change` runs just before the
// first call of `op` on the source after the check (whose format check
// opens and reads it too); the run's first call is the size query.
struct Change {
  FileOp op;
  std::function<void(const QString& path)> change;
};

RunResult RunWithChange(Workspace& space, const Change& change,
                        std::size_t read_chunk,
                        RecordingReporter* reporter = nullptr) {
  FaultFileLayer files(SystemFileLayer());
  bool done = false;
  const QString source = space.source_folder() + space.job.MailboxFiles[0];
  bool checked = false;
  files.before = [&](FileOp op, const QString& path) {
    checked = checked || op == FileOp::kSize;
    if (!done && checked && op == change.op && path == source) {
      done = true;
      change.change(path);
    }
  };
  const RunResult result = RunJob(space.job, files, read_chunk, reporter);
  EXPECT_TRUE(done);
  return result;
}

TEST(SystemFailures, SourceDeletedBetweenCheckAndRead) {
  const auto remove = [](const QString& path) { QFile::remove(path); };
  for (const auto& [op, step] :
       {std::pair{FileOp::kSize, RunStep::kSizeQuery},
        std::pair{FileOp::kOpenInput, RunStep::kOpenSource}}) {
    Workspace space;
    space.AddSource("a", kMbox);
    const RunResult result = RunWithChange(space, {op, remove}, 64);
    ASSERT_FALSE(result.ok()) << FileOpName(op);
    EXPECT_EQ(result.failure->step, step);
    EXPECT_EQ(result.failure->path, space.source_folder() + "a");
    EXPECT_TRUE(Entries(space.target_folder()).isEmpty());
  }
  // Deleted once open: the open file still reads whole.
  Workspace space;
  space.AddSource("a", kMbox);
  const RunResult result = RunWithChange(space, {FileOp::kRead, remove}, 16);
  ASSERT_TRUE(result.ok()) << Describe(result);
  EXPECT_EQ(space.Output("a.box"), Expected(kMbox, true));
}

TEST(SystemFailures, SourceTruncatedOrGrownAfterTheSizeWasTaken) {
  const auto truncate_to = [](qint64 size) {
    return
        [size](const QString& path) { ASSERT_TRUE(QFile::resize(path, size)); };
  };
  {  // before the open: what is there is converted, up to the file's end
    Workspace space;
    space.AddSource("a", kMbox);
    RecordingReporter reporter;
    const RunResult result = RunWithChange(
        space, {FileOp::kOpenInput, truncate_to(50)}, 64, &reporter);
    ASSERT_TRUE(result.ok()) << Describe(result);
    EXPECT_EQ(space.Output("a.box"), Expected(kMbox.substr(0, 50), true));
    EXPECT_EQ(reporter.calls.front(), "max " + std::to_string(kMbox.size()));
  }
  {  // while it is read: the output would match neither version, so the
     // mailbox fails and nothing is written for it
    Workspace space;
    space.AddSource("a", kMbox);
    WriteBytes(space.target_folder() + "a.box", "old");
    FaultFileLayer files(SystemFileLayer());
    bool resized = false;  // at the run's first read, after the check's
    files.before = [&](FileOp op, const QString& path) {
      if (op == FileOp::kRead && files.calls(FileOp::kSize) > 0 && !resized) {
        resized = true;
        ASSERT_TRUE(QFile::resize(path, 0));
      }
    };
    const RunResult result = RunJob(space.job, files, 16);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure->error.code, FailureReason::kSourceChanged)
        << Describe(result);
    EXPECT_EQ(result.failure->path, space.source_folder() + "a");
    EXPECT_EQ(Entries(space.target_folder()), QStringList{"a.box"});
    EXPECT_EQ(space.Output("a.box"), "old");
  }
  {  // grown before the open: the new messages are converted too
    Workspace space;
    space.AddSource("a", kMbox);
    const std::string more = "From late\nSubject: three\n\nlate body";
    const RunResult result = RunWithChange(
        space,
        {FileOp::kOpenInput,
         [&](const QString& path) {
           QFile file(path);
           ASSERT_TRUE(file.open(QIODevice::Append));
           file.write(more.data(), static_cast<qint64>(more.size()));
         }},
        64);
    ASSERT_TRUE(result.ok()) << Describe(result);
    EXPECT_EQ(space.Output("a.box"), Expected(kMbox + more, true));
    EXPECT_EQ(result.converted[0].messages, 3);
  }
}

// A source swapped for a FIFO or a device after the check must not block
// the run or feed it endlessly.
TEST(SystemFailures, SourceSwappedForAFifoAfterTheCheckDoesNotBlock) {
  Workspace space;
  space.AddSource("a", kMbox);
  const QString source = space.source_folder() + "a";
  const QByteArray fifo = QFile::encodeName(source);
  auto run = std::async(std::launch::async, [&] {
    return RunWithChange(space,
                         {FileOp::kOpenInput,
                          [&](const QString&) {
                            QFile::remove(source);
                            ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
                          }},
                         64);
  });
  const bool blocked =
      run.wait_for(std::chrono::seconds(5)) == std::future_status::timeout;
  if (blocked) {
    // Release the reader: a writer that opens and closes gives it the end
    // of the file.
    const int writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  }
  const RunResult result = run.get();
  EXPECT_FALSE(blocked) << "the run waited for a writer on a FIFO";
  EXPECT_FALSE(result.ok()) << "a FIFO was converted as a mailbox";
  if (!result.ok()) {
    EXPECT_EQ(result.failure->path, source);
  }
  EXPECT_TRUE(Entries(space.target_folder()).isEmpty());
}

TEST(SystemFailures, SourceSwappedForADeviceAfterTheCheckIsNotReadForever) {
  Workspace space;
  space.AddSource("a", kMbox);
  const QString source = space.source_folder() + "a";
  FaultFileLayer files(SystemFileLayer());
  constexpr int kReadLimit = 256;  // 1 MiB in 4 KiB reads
  bool swapped = false;
  files.before = [&](FileOp op, const QString& path) {
    if (op == FileOp::kOpenInput && !swapped) {
      swapped = true;
      QFile::remove(path);
      ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(path)), 0);
    }
    // The guard: end a read that would go on for ever.
    if (op == FileOp::kRead && files.calls(FileOp::kRead) == kReadLimit) {
      files.FailAt(FileOp::kRead, kReadLimit + 1);
    }
  };
  const RunResult result = RunJob(space.job, files, 4096);
  EXPECT_TRUE(swapped);
  EXPECT_LT(files.calls(FileOp::kRead), kReadLimit)
      << "the run went on reading /dev/zero";
  EXPECT_FALSE(result.ok());
  if (!result.ok()) {
    EXPECT_EQ(result.failure->path, source);
  }
  EXPECT_TRUE(Entries(space.target_folder()).isEmpty());
}

// --- folders and many mailboxes ---------------------------------------------

TEST(SystemFailures, SourceFolderAsTarget) {
  Workspace space;
  space.AddSource("inbox", kMbox);
  space.job.TargetFolder = space.job.SourceFolder;
  ASSERT_TRUE(RunJob(space.job).ok());
  EXPECT_EQ(ReadBytes(space.source_folder() + "inbox"), kMbox);
  const std::string box = ReadBytes(space.source_folder() + "inbox.box");
  EXPECT_EQ(box, Expected(kMbox, true));

  // Back again in the same folder: "inbox.box" gives "inbox", which is a
  // source of this run when both are converted together.
  space.job.MboxToBox = false;
  space.job.MailboxFiles = {"inbox.box", "inbox"};
  const RunResult clash = RunJob(space.job);
  ASSERT_FALSE(clash.ok());
  EXPECT_EQ(clash.failure->step, RunStep::kCheck);
  space.job.MailboxFiles = {"inbox.box"};
  WriteBytes(space.source_folder() + "inbox", "replaced on purpose");
  ASSERT_TRUE(RunJob(space.job).ok());
  EXPECT_EQ(ReadBytes(space.source_folder() + "inbox"), Expected(box, false));
  EXPECT_EQ(ReadBytes(space.source_folder() + "inbox.box"), box);
  EXPECT_EQ(Entries(space.source_folder()),
            (QStringList{"inbox", "inbox.box"}));
}

TEST(SystemFailures, TenThousandMailboxesInOneRun) {
  Workspace space;
  // Each output is synced to the disk as it is committed, which on a busy
  // disk alone takes seconds per thousand mailboxes. On a tmpfs, where the
  // machine allows mounting one, the run takes what the engine takes.
  const QString folder = space.root() + "/many/";
  ASSERT_TRUE(QDir().mkdir(folder));
  Tmpfs memory(folder, "size=256m");
  ASSERT_TRUE(QDir(folder).mkdir("in"));
  ASSERT_TRUE(QDir(folder).mkdir("out"));
  space.job.SourceFolder = folder + "in/";
  space.job.TargetFolder = folder + "out/";
  const int kCount = kSanitizerBuild ? 1000 : 10000;
  std::printf("%d mailboxes on %s\n", kCount,
              memory.mounted() ? "a tmpfs" : "the disk");
  for (int i = 0; i < kCount; ++i) {
    const QString name = QStringLiteral("m%1").arg(i, 5, 10, QLatin1Char('0'));
    WriteBytes(space.job.SourceFolder + name,
               "From x\nSubject: " + std::to_string(i) + "\n\nbody\n");
    space.job.MailboxFiles.append(name);
  }
  QElapsedTimer timer;
  timer.start();
  RecordingReporter reporter;
  const RunResult result =
      RunJob(space.job, SystemFileLayer(), 1 << 20, &reporter);
  std::printf("%d mailboxes converted in %lld ms\n", kCount,
              static_cast<long long>(timer.elapsed()));
  ASSERT_TRUE(result.ok()) << Describe(result);
  ASSERT_EQ(result.converted.size(), static_cast<std::size_t>(kCount));
  EXPECT_EQ(Entries(space.job.TargetFolder).size(), qsizetype{kCount});
  for (int i = 0; i < kCount; i += 997) {
    const std::string source =
        "From x\nSubject: " + std::to_string(i) + "\n\nbody\n";
    EXPECT_EQ(ReadBytes(result.converted[static_cast<std::size_t>(i)].output),
              Expected(source, true));
  }
  // The last status names the last mailbox.
  EXPECT_EQ(reporter.calls[reporter.calls.size() - 2],
            "status converting mailbox " + std::to_string(kCount) +
                " message 1, pleasse wait...");
}

// --- names on the command line ----------------------------------------------

struct Process {
  int code = -1;   // exit code; -1 when ended by a signal
  int signal = 0;  // the signal that ended it, if one did
  std::string out;
  std::string err;
};

// Runs `argv` (argv[0] a path) in `folder` with its arguments passed byte
// for byte, without any decoding on the way. `started`, when given, runs in
// the parent once the child is started, with its process id.
Process RunProgram(std::vector<std::string> all, const QString& folder,
                   const std::function<void(pid_t)>& started = nullptr) {
  Process process;
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return process;
  }
  std::vector<char*> argv;
  for (std::string& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const QByteArray where = QFile::encodeName(folder);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    if (::chdir(where.constData()) == 0) ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  if (started) started(pid);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&process.out, &process.err};
  int open_pipes = 2;
  while (open_pipes > 0) {
    if (::poll(fds, 2, 30000) <= 0) {
      ::kill(pid, SIGKILL);  // hung: end it, and fail below
      ADD_FAILURE() << all[0] << " did not finish within 30 s";
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) ::close(fd.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  process.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  process.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return process;
}

Process RunConvert(const std::vector<std::string>& arguments,
                   const QString& folder) {
  std::vector<std::string> all = {QUILLET_CONVERT_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return RunProgram(all, folder);
}

// Runs a shell script in `folder`, with $Q naming quillet-convert.
Process RunShell(const std::string& script, const QString& folder) {
  return RunProgram(
      {"/bin/sh", "-c",
       std::string("Q='") + QUILLET_CONVERT_PATH + "'; " + script},
      folder);
}

QString NameOf(const std::string& bytes) {
  return QFile::decodeName(bytes.c_str());
}

TEST(HostileNames, SpacesNewlinesAndLeadingDashesConvert) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::vector<std::string> names = {"my inbox",
                                          " lead and trail ",
                                          "new\nline",
                                          "tab\tname",
                                          "-rf",
                                          "--to-mbox",
                                          "-",
                                          "-o",
                                          "\xC3\xBC"
                                          "n\xC3\xAF",
                                          "a\\b",
                                          "*?[x]",
                                          "'quoted\"",
                                          "$(echo no)"};
  std::vector<std::string> arguments = {"--to-box", "--quiet", "--"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    WriteBytes(folder.filePath(NameOf(names[i])),
               kMbox + "Subject: " + std::to_string(i) + "\n");
    arguments.push_back(names[i]);
  }
  const Process process = RunConvert(arguments, folder.path());
  ASSERT_EQ(process.code, 0) << process.err;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string source = kMbox + "Subject: " + std::to_string(i) + "\n";
    EXPECT_EQ(ReadBytes(folder.filePath(NameOf(names[i]))), source);
    EXPECT_EQ(ReadBytes(folder.filePath(NameOf(names[i] + ".box"))),
              Expected(source, true))
        << names[i];
  }
  EXPECT_EQ(Entries(folder.path()).size(),
            static_cast<qsizetype>(2 * names.size()));
}

// Qt holds file names as Unicode text and cannot name a file whose name is
// not valid in the system's encoding. Such a mailbox must at least be
// refused whole, with a message, and nothing written.
TEST(HostileNames, NamesThatAreNotUtf8AreConvertedOrRefusedWhole) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::vector<std::string> names = {"plain", "caf\xE9", "\xFF\xFE"};
  for (const std::string& name : names) {
    const std::string path =
        QFile::encodeName(folder.path()).toStdString() + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    ASSERT_EQ(::write(fd, kMbox.data(), kMbox.size()),
              static_cast<ssize_t>(kMbox.size()));
    ::close(fd);
  }
  const Process process = RunConvert(
      {"--to-box", "--", names[0], names[1], names[2]}, folder.path());
  std::vector<std::string> present;
  DIR* dir = ::opendir(QFile::encodeName(folder.path()).constData());
  ASSERT_NE(dir, nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') present.push_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(present.begin(), present.end());
  std::vector<std::string> expected = names;
  if (process.code == 0) {
    for (const std::string& name : names) expected.push_back(name + ".box");
  } else {
    EXPECT_EQ(process.code, 1);
    EXPECT_NE(process.err.find("mailbox 2"), std::string::npos) << process.err;
    std::printf("not converted, refused whole: %s", process.err.c_str());
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(present, expected);
  for (const std::string& name : names) {
    const std::string path =
        QFile::encodeName(folder.path()).toStdString() + "/" + name;
    std::string bytes(kMbox.size() + 1, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const ssize_t got = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    EXPECT_EQ(
        bytes.substr(0, static_cast<std::size_t>(std::max<ssize_t>(got, 0))),
        kMbox);
  }
  // QTemporaryDir cannot name these files either.
  for (const std::string& name : present) {
    ::unlink(
        (QFile::encodeName(folder.path()).toStdString() + "/" + name).c_str());
  }
}

// --- trust under real faults: real file systems, a second user -------------

std::string Quoted(const QString& text) {
  std::string quoted = "'";
  for (const char c : QFile::encodeName(text).toStdString()) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

bool Shell(const std::string& command) {
  return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0;
}

bool HaveSecondUser() {
  return ::geteuid() == 0 && Shell("runuser -u nobody -- true");
}

// A file system of its own kind, mounted under `root` for the life of the
// object: ext4 on a loop device whose 256 MiB backing file is sparse on a
// 24 MiB tmpfs (a thin volume: the file system believes in space that the
// disk below does not have), or exFAT (the kernel's driver, else FUSE).
class Volume {
 public:
  enum Kind { kThinExt4, kExfat };

  Volume(Kind kind, const QString& root) : root_(root) {
    if (::geteuid() != 0) {
      error_ = "mounting needs root";
      return;
    }
    dir_ = root + "/vol";
    QDir().mkdir(dir_);
    const std::string dir = Quoted(dir_);
    if (kind == kThinExt4) {
      backing_ = root + "/backing";
      QDir().mkdir(backing_);
      image_ = backing_ + "/thin.img";
      const std::string image = Quoted(image_);
      if (!Shell("mount -t tmpfs -o size=24m tmpfs " + Quoted(backing_))) {
        backing_.clear();
        error_ = "cannot mount a tmpfs for the backing store";
        return;
      }
      if (!Shell("truncate -s 256M " + image) ||
          !Shell("mkfs.ext4 -q -E nodiscard,lazy_itable_init=1,"
                 "lazy_journal_init=1 " +
                 image) ||
          !Shell("mount -o loop " + image + " " + dir)) {
        error_ = "cannot make or loop-mount ext4 (mkfs.ext4, loop devices)";
        return;
      }
    } else {
      const std::string image = Quoted(root + "/exfat.img");
      if (!Shell("truncate -s 160M " + image) ||
          !Shell("mkfs.exfat " + image)) {
        error_ = "cannot make an exFAT image (mkfs.exfat from exfatprogs)";
        return;
      }
      if (!Shell("mount -t exfat -o loop " + image + " " + dir)) {
        const std::string device_file = Quoted(root + "/loop-device");
        if (!Shell("losetup -f --show " + image + " >" + device_file +
                   " 2>&1 && "
                   "mount.exfat-fuse \"$(cat " +
                   device_file + ")\" " + dir)) {
          error_ = "neither the kernel nor FUSE (exfat-fuse) mounts exFAT here";
          QFile device(root + "/loop-device");
          if (device.open(QIODevice::ReadOnly))
            loop_ = device.readAll().trimmed();
          return;
        }
        QFile device(root + "/loop-device");
        if (device.open(QIODevice::ReadOnly))
          loop_ = device.readAll().trimmed();
      }
    }
    mounted_ = true;
  }
  ~Volume() {
    if (mounted_)
      Shell("umount " + Quoted(dir_) + " || umount -l " + Quoted(dir_));
    if (!loop_.isEmpty()) Shell("losetup -d " + loop_.toStdString());
    if (!backing_.isEmpty()) Shell("umount -l " + Quoted(backing_));
  }
  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  QString path() const { return dir_ + "/"; }
  // The thin volume's disk image, as the disk holds it.
  QString image() const { return image_; }

 private:
  QString root_;
  QString image_;
  QString dir_;
  QString backing_;
  QByteArray loop_;
  bool mounted_ = false;
  std::string error_;
};

std::string ManyMessages(std::size_t bytes) {
  std::string mailbox;
  mailbox.reserve(bytes + 200);
  const std::string message =
      "From a@example.org Mon Jan  1 09:00:00 2024\nSubject: many\n\n" +
      std::string(200, 'x') + "\n";
  while (mailbox.size() < bytes) mailbox += message;
  return mailbox;
}

QStringList WithoutLostAndFound(QStringList names) {
  names.removeAll(QStringLiteral("lost+found"));
  return names;
}

// A disk that refuses the data at write-back: fdatasync fails, and then the
// output must not be renamed over the old file. Where the refusal shows
// depends on timing: the write-back started during the writing may have
// made ext4 turn the volume read-only before the last write.
TEST(RealFaults, SyncRefusedAtWriteBackRenamesNothing) {
  Workspace space;
  Volume thin(Volume::kThinExt4, space.root());
  if (!thin.mounted()) GTEST_SKIP() << "no thin ext4 volume: " << thin.error();
  space.AddSource("small", kMbox);
  space.job.TargetFolder = thin.path();
  space.job.MailboxFiles = {"small"};
  ASSERT_TRUE(RunJob(space.job).ok());

  const std::string big = ManyMessages(std::size_t{40} << 20);
  space.AddSource("big", big);
  WriteBytes(thin.path() + "big.box", "previous");
  space.job.MailboxFiles = {"big"};
  const RunResult result = RunJob(space.job);
  ASSERT_FALSE(result.ok()) << "the disk refused the data, yet success";
  std::printf("%s\n", Describe(result).c_str());
  const RunStep step = result.failure->step;
  EXPECT_TRUE(step == RunStep::kSync || step == RunStep::kWrite ||
              step == RunStep::kFlush)
      << Describe(result);
  EXPECT_EQ(result.failure->path, thin.path() + "big.box");
  const FileError error = result.failure->error;
  EXPECT_TRUE(error == FileError::System(ENOSPC) ||
              error == FileError::System(EIO) ||
              (step != RunStep::kSync && error == FileError::System(EROFS)))
      << Describe(result);
  EXPECT_EQ(WithoutLostAndFound(Entries(thin.path())),
            (QStringList{"big.box", "small.box"}));
  EXPECT_EQ(ReadBytes(thin.path() + "big.box"), "previous");
  EXPECT_EQ(ReadBytes(thin.path() + "small.box"), Expected(kMbox, true));
}

// Many outputs synced as one group on a disk that refuses part of their
// data at write-back, until ext4 gives up and turns read-only. The outputs
// named are whole and come before the failing mailbox, and after a power
// cut (the disk image as it is, its journal replayed) every output the run
// reported as converted is there, whole. Only when the run says that the
// folder's entries could not be stored may some of them be missing.
TEST(RealFaults, GroupSyncRefusedAtWriteBackNamesOnlyWholeOutputs) {
  Workspace space;
  Volume thin(Volume::kThinExt4, space.root());
  if (!thin.mounted()) GTEST_SKIP() << "no thin ext4 volume: " << thin.error();
  const std::string mailbox = ManyMessages(std::size_t{100} << 10);
  QStringList names;
  for (int i = 0; i < 300; ++i) {
    names.append(QString::asprintf("m%03d", i));
    space.AddSource(names.back(), mailbox);
  }
  space.job.TargetFolder = thin.path();
  space.job.MailboxFiles = names;
  const RunResult result = RunJob(space.job);
  ASSERT_FALSE(result.ok()) << "the disk refused the data, yet success";
  std::printf("%s\n", Describe(result).c_str());
  const qsizetype reported = result.converted.size();
  const bool folder_failed = result.failure->step == RunStep::kSyncFolder;
  if (!folder_failed) {
    EXPECT_EQ(result.failure->mailbox_number, reported + 1);
  }
  QStringList expected;
  for (qsizetype i = 0; i < reported; ++i) expected.append(names[i] + ".box");
  EXPECT_EQ(WithoutLostAndFound(Entries(thin.path())), expected);

  const QString copy = space.root() + "/after-power-cut/";
  ASSERT_TRUE(QDir().mkdir(copy));
  ASSERT_TRUE(Shell("cp --sparse=always " + Quoted(thin.image()) + " " +
                    Quoted(space.root() + "/copy.img") + " && mount -o loop " +
                    Quoted(space.root() + "/copy.img") + " " + Quoted(copy)));
  const QStringList kept = WithoutLostAndFound(Entries(copy));
  std::printf("%lld of %lld reported outputs kept\n",
              static_cast<long long>(kept.size()),
              static_cast<long long>(reported));
  if (!folder_failed) EXPECT_EQ(kept, expected);
  for (const QString& output : kept) {
    EXPECT_TRUE(expected.contains(output)) << output.toStdString();
    EXPECT_EQ(ReadBytes(copy + output), Expected(mailbox, true))
        << output.toStdString();
  }
  Shell("umount " + Quoted(copy));
}

// Links planted in a shared sticky folder by another user.
TEST(RealFaults, OutputNamesThatAreLinksAreRefusedOrReplacedNeverFollowed) {
  Workspace space;
  const QString shared = space.root() + "/shared/";
  ASSERT_TRUE(QDir().mkdir(shared));
  ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(space.root()).constData(), 0755), 0);
  const QString victim = space.root() + "/victim";
  WriteBytes(victim, "Host *\n  secret\n");
  const bool other_user = HaveSecondUser();
  std::printf("links planted %s\n",
              other_user ? "by the user nobody" : "by this user (no runuser)");
  const auto plant = [&](const QString& target, const QString& name) {
    const std::string command =
        "ln -s " + Quoted(target) + " " + Quoted(shared + name);
    ASSERT_TRUE(
        Shell(other_user ? "runuser -u nobody -- " + command : command));
  };
  plant(victim, "inbox.box");
  plant(space.root() + "/nowhere", "new.box");
  plant("y.box", "x.box");
  for (const char* name : {"inbox", "new", "x", "y"})
    space.AddSource(name, kMbox);
  space.job.TargetFolder = shared;

  struct Case {
    QStringList mailboxes;
    int failing;
  };
  for (const Case& c :
       {Case{{"inbox"}, 1}, Case{{"new"}, 1}, Case{{"y", "x"}, 2}}) {
    space.job.MailboxFiles = c.mailboxes;
    const RunResult result = RunJob(space.job);
    ASSERT_FALSE(result.ok()) << c.mailboxes.join(' ').toStdString();
    EXPECT_EQ(result.failure->step, RunStep::kCheck);
    EXPECT_EQ(result.failure->error.code, FailureReason::kOutputIsLink);
    EXPECT_EQ(result.failure->mailbox_number, c.failing);
  }
  EXPECT_EQ(ReadBytes(victim), "Host *\n  secret\n");
  EXPECT_FALSE(QFileInfo::exists(space.root() + "/nowhere"));
  EXPECT_EQ(Entries(shared), (QStringList{"inbox.box", "new.box", "x.box"}));

  // Planted after the check, just before the rename: the link itself is
  // replaced, the file it leads to is not touched.
  ASSERT_TRUE(QFile::remove(shared + "inbox.box"));
  FaultFileLayer files(SystemFileLayer());
  files.before = [&](FileOp op, const QString& path) {
    if (op == FileOp::kCommit) plant(victim, QFileInfo(path).fileName());
  };
  space.job.MailboxFiles = {"inbox"};
  const RunResult late = RunJob(space.job, files);
  ASSERT_TRUE(late.ok()) << Describe(late);
  EXPECT_EQ(ReadBytes(victim), "Host *\n  secret\n");
  EXPECT_FALSE(QFileInfo(shared + "inbox.box").isSymLink());
  EXPECT_EQ(ReadBytes(shared + "inbox.box"), Expected(kMbox, true));
}

// The check sees the names the target file system cannot hold apart or at
// all; the rename never replaces an output of the same run.
TEST(RealFaults, ExfatStickNeverLosesAnOutputAndNamesTheCause) {
  Workspace space;
  Volume stick(Volume::kExfat, space.root());
  if (!stick.mounted()) GTEST_SKIP() << "no exFAT volume: " << stick.error();
  space.AddSource("Sent", kMbox);
  space.AddSource("SENT", kMbox + "From c\n\nthird\n");
  space.AddSource("a:b", kMbox);
  space.job.TargetFolder = stick.path();

  space.job.MailboxFiles = {"Sent", "SENT"};
  RunResult result = RunJob(space.job);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->step, RunStep::kCheck);
  EXPECT_EQ(result.failure->error.code, FailureReason::kOutputCaseClash);
  EXPECT_EQ(result.failure->mailbox_number, 2);

  space.job.MailboxFiles = {"a:b"};
  result = RunJob(space.job);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->error.code, FailureReason::kNameNotAllowed)
      << Describe(result);
  // Where the check is passed by, the open names the cause too.
  FileError error;
  EXPECT_EQ(SystemFileLayer().OpenOutput(stick.path() + "a:b.box", &error),
            nullptr);
  EXPECT_EQ(error.code, FailureReason::kNameNotAllowed);
  EXPECT_EQ(ErrorText(error), ReasonText(FailureReason::kNameNotAllowed));
  EXPECT_TRUE(Entries(stick.path()).isEmpty());

  // Two folders on the command line, one output name but for case.
  const QString a = space.root() + "/a/";
  const QString b = space.root() + "/b/";
  ASSERT_TRUE(QDir().mkdir(a) && QDir().mkdir(b));
  WriteBytes(a + "Inbox", kMbox);
  WriteBytes(b + "INBOX", kMbox);
  const Process cli = RunConvert(
      {"--to-box", "-o", QFile::encodeName(stick.path()).toStdString(),
       QFile::encodeName(a + "Inbox").toStdString(),
       QFile::encodeName(b + "INBOX").toStdString()},
      space.root());
  EXPECT_EQ(cli.code, 1) << cli.err;
  EXPECT_NE(cli.err.find("mailbox 2"), std::string::npos) << cli.err;
  EXPECT_TRUE(Entries(stick.path()).isEmpty());

  // The check blinded to the folding: the rename must still not replace
  // the first output.
  class Blind : public ForwardingFileLayer {
   public:
    PathFacts Inspect(const QString& path) override {
      PathFacts facts = ForwardingFileLayer::Inspect(path);
      facts.folds_case = false;
      return facts;
    }
  } blind;
  space.job.MailboxFiles = {"Sent", "SENT"};
  result = RunJob(space.job, blind);
  ASSERT_FALSE(result.ok()) << "the second output replaced the first";
  EXPECT_EQ(result.failure->step, RunStep::kCommit);
  EXPECT_EQ(result.failure->error.code, FailureReason::kReplacesOwnOutput);
  EXPECT_EQ(result.failure->mailbox_number, 2);
  EXPECT_EQ(Entries(stick.path()), QStringList{"Sent.box"});
  EXPECT_EQ(ReadBytes(stick.path() + "Sent.box"), Expected(kMbox, true));
}

// "link/.." is the parent of the folder the link leads to, as `cat` reads.
TEST(RealFaults, DotDotAfterALinkIsResolvedByTheSystem) {
  Workspace space;
  const QString root = space.root() + "/";
  ASSERT_TRUE(QDir().mkpath(root + "real/sub") &&
              QDir().mkpath(root + "outreal/deep"));
  ASSERT_EQ(::symlink("real/sub", QFile::encodeName(root + "link")), 0);
  ASSERT_EQ(::symlink("outreal/deep", QFile::encodeName(root + "outlink")), 0);
  const std::string through_link = kMbox + "From x\n\nthe file cat reads\n";
  WriteBytes(root + "real/inbox", through_link);
  WriteBytes(root + "inbox", kMbox);

  Process process = RunConvert({"--to-box", "--quiet", "link/../inbox"}, root);
  ASSERT_EQ(process.code, 0) << process.err;
  EXPECT_EQ(ReadBytes(root + "real/inbox.box"), Expected(through_link, true));
  EXPECT_FALSE(QFileInfo::exists(root + "inbox.box"));

  process = RunConvert({"--to-box", "-o", "outlink/..", "inbox"}, root);
  ASSERT_EQ(process.code, 0) << process.err;
  EXPECT_EQ(ReadBytes(root + "outreal/inbox.box"), Expected(kMbox, true));
  EXPECT_FALSE(QFileInfo::exists(root + "inbox.box"));
}

// Whether process `pid` holds a file in `folder` other than a finished
// output (a name ending in ".box"): a temporary file, named or unnamed.
bool HoldsTemporaryFileIn(pid_t pid, const QString& folder) {
  const QString fds = QStringLiteral("/proc/%1/fd/").arg(pid);
  const QByteArray prefix =
      QFile::encodeName(QDir(folder).canonicalPath()) + '/';
  for (const QString& fd :
       QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::Hidden)) {
    char target[4096];
    const ssize_t n = ::readlink(QFile::encodeName(fds + fd).constData(),
                                 target, sizeof target - 1);
    if (n <= 0) continue;
    const QByteArray link(target, n);
    if (!link.startsWith(prefix) || link.endsWith(".box")) continue;
    // An unnamed file keeps its "#inode (deleted)" link after it was given
    // its name, until it is closed: only one without a name yet counts.
    struct stat st {};
    if (link.contains(kTemporaryMarker) ||
        (::stat(QFile::encodeName(fds + fd).constData(), &st) == 0 &&
         st.st_nlink == 0)) {
      return true;
    }
  }
  return false;
}

// Whether process `pid` has a file open in `folder` that has no name
// there (O_TMPFILE: "<folder>/#<inode> (deleted)").
bool HoldsUnnamedFileIn(pid_t pid, const QString& folder) {
  const QString fds = QStringLiteral("/proc/%1/fd/").arg(pid);
  const QByteArray prefix = QFile::encodeName(QDir(folder).absolutePath());
  for (const QString& fd : QDir(fds).entryList(QDir::System)) {
    char target[4096];
    const ssize_t n = ::readlink(QFile::encodeName(fds + fd).constData(),
                                 target, sizeof target - 1);
    if (n <= 0) continue;
    const QByteArray link(target, n);
    if (link.startsWith(prefix + "/#") && link.endsWith(" (deleted)")) {
      return true;
    }
  }
  return false;
}

// SIGINT, SIGTERM and SIGHUP while an output is written, on a volume
// without unnamed temporary files where one can be mounted, else on the
// disk with them.
TEST(RealFaults, SignalsRemoveTheTemporaryFileAndSayWhichMailbox) {
  Workspace space;
  Volume stick(Volume::kExfat, space.root());
  const QString target = stick.mounted() ? stick.path() : space.target_folder();
  std::printf("target: %s\n",
              stick.mounted() ? "an exFAT volume"
                              : ("the disk (" + stick.error() + ")").c_str());
  const std::string big = ManyMessages(std::size_t{96} << 20);
  space.AddSource("big", big);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    WriteBytes(target + "big.box", "previous");
    bool seen = false;
    const Process process = RunProgram(
        {QUILLET_CONVERT_PATH, "--to-box", "--quiet", "--force", "-o",
         QFile::encodeName(target).toStdString(), "big"},
        space.source_folder(), [&](pid_t pid) {
          for (int i = 0; i < 20000 && !seen; ++i) {
            for (const QString& name : Entries(target)) {
              if (name.contains(kTemporaryMarker)) seen = true;
            }
            // An unnamed temporary file: only the process's descriptors
            // show it.
            if (!seen) seen = HoldsUnnamedFileIn(pid, target);
            if (!seen)
              std::this_thread::sleep_for(std::chrono::microseconds(500));
          }
          ::kill(pid, signal_number);
        });
    ASSERT_TRUE(seen) << "no temporary file was seen to signal the run";
    EXPECT_EQ(process.signal, signal_number) << process.err;
    EXPECT_NE(process.err.find("interrupted by"), std::string::npos)
        << process.err;
    EXPECT_NE(process.err.find("big.box"), std::string::npos) << process.err;
    EXPECT_EQ(Entries(target), QStringList{"big.box"});
    EXPECT_EQ(ReadBytes(target + "big.box"), "previous");
  }
}

// A signal after outputs were completed: standard output lists each of
// them as the end of the run would have, standard error says which one
// replaced an older file and which temporary file was removed. Each output
// over 32 MiB is renamed into place before the next mailbox is read.
TEST(RealFaults, SignalsListTheOutputsCompletedBeforeThem) {
  Workspace space;
  const QString target = space.target_folder();
  const std::string large = ManyMessages(std::size_t{33} << 20);
  const std::string large_box = Expected(large, true);
  qint64 messages = 0;
  for (std::size_t at = large.find("From "); at != std::string::npos;
       at = large.find("\nFrom ", at + 1)) {
    ++messages;
  }
  space.AddSource("a", large);
  space.AddSource("b", large);
  space.AddSource("big", ManyMessages(std::size_t{96} << 20));
  const std::string listed_a =
      QFile::encodeName(space.source_folder() + "a\t" + target + "a.box\t")
          .toStdString() +
      std::to_string(messages) + "\n";
  const std::string listed_b =
      QFile::encodeName(space.source_folder() + "b\t" + target + "b.box\t")
          .toStdString() +
      std::to_string(messages) + "\n";
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    WriteBytes(target + "a.box", "old a");
    QFile::remove(target + "b.box");
    WriteBytes(target + "big.box", "previous");
    bool seen = false;
    const Process process = RunProgram(
        {QUILLET_CONVERT_PATH, "--to-box", "--quiet", "--force", "-o",
         QFile::encodeName(target).toStdString(), "a", "b", "big"},
        space.source_folder(), [&](pid_t pid) {
          for (int i = 0; i < 120000 && !seen; ++i) {
            // Once the second output is in place, a temporary file in the
            // target is the third mailbox's: named, or unnamed and held.
            if (QFile::exists(target + "b.box")) {
              for (const QString& name : Entries(target)) {
                if (name.startsWith(".big.box" + QString(kTemporaryMarker)))
                  seen = true;
              }
              if (!seen) seen = HoldsTemporaryFileIn(pid, target);
            }
            if (!seen)
              std::this_thread::sleep_for(std::chrono::microseconds(500));
          }
          ::kill(pid, signal_number);
        });
    ASSERT_TRUE(seen) << "the third mailbox was never seen being written: "
                      << process.err << process.out;
    EXPECT_EQ(process.signal, signal_number) << process.err;
    EXPECT_EQ(process.out, listed_a + listed_b) << process.err;
    const std::string output = QFile::encodeName(target).toStdString();
    EXPECT_NE(process.err.find(output + "a.box was completed before the "
                                        "interrupt and replaced an older file"),
              std::string::npos)
        << process.err;
    EXPECT_EQ(process.err.find(output + "b.box was completed"),
              std::string::npos)
        << "a new output listed on standard output is no news: " << process.err;
    EXPECT_NE(process.err.find("while writing " + output + "big.box"),
              std::string::npos)
        << process.err;
    EXPECT_TRUE(process.err.find("its temporary file " + output + ".big.box" +
                                 kTemporaryMarker) != std::string::npos ||
                process.err.find("its unnamed temporary file is discarded") !=
                    std::string::npos)
        << process.err;
    EXPECT_EQ(process.err.find("no output was being written"),
              std::string::npos)
        << process.err;
    EXPECT_EQ(Entries(target), (QStringList{"a.box", "b.box", "big.box"}));
    EXPECT_TRUE(ReadBytes(target + "a.box") == large_box);
    EXPECT_TRUE(ReadBytes(target + "b.box") == large_box);
    EXPECT_EQ(ReadBytes(target + "big.box"), "previous");
  }
}

// Memory that runs out, under `ulimit -v` at each step from just above
// what start-up needs: never an abort, a failure names the lack of memory,
// no temporary file stays, and the older output is whole.
TEST(RealFaults, OutOfMemoryIsAFailureToReport) {
  if (kSanitizerBuild) {
    GTEST_SKIP() << "the sanitizers reserve more address space than any "
                    "limit that lets a conversion fail";
  }
  Workspace space;
  const QString target = space.target_folder();
  const std::string mailbox = ManyMessages(std::size_t{4} << 20);
  space.AddSource("inbox", mailbox);
  const std::string converted = Expected(mailbox, true);
  const auto under = [&](int kib, const std::string& arguments) {
    return RunShell(
        "ulimit -v " + std::to_string(kib) + " && exec \"$Q\" " + arguments,
        space.source_folder());
  };
  int start = 16 * 1024;
  while (start < 1024 * 1024 && under(start, "--version").code != 0) {
    start += 1024;
  }
  ASSERT_LT(start, 1024 * 1024) << "quillet-convert never started";
  int reported = 0;
  for (int kib = start; kib < start + 24 * 1024; kib += 256) {
    SCOPED_TRACE(kib);
    WriteBytes(target + "inbox.box", "previous");
    const Process process =
        under(kib, "--to-box --quiet --force -o " + Quoted(target) + " inbox");
    ASSERT_EQ(process.signal, 0) << process.err;
    ASSERT_TRUE(process.code == 0 || process.code == 1) << process.err;
    EXPECT_EQ(Entries(target), QStringList{"inbox.box"});
    if (process.code == 0) {
      EXPECT_TRUE(ReadBytes(target + "inbox.box") == converted);
      continue;
    }
    EXPECT_NE(process.err.find("there was not enough memory"),
              std::string::npos)
        << process.err;
    EXPECT_EQ(ReadBytes(target + "inbox.box"), "previous");
    ++reported;
  }
  std::printf("start-up needs %d KiB; %d limits ran out of memory\n", start,
              reported);
  if (reported == 0) {
    GTEST_SKIP() << "no limit above start-up ran out of memory here";
  }
}

// Relative names from a working folder whose path cannot be read: one that
// was removed refuses them with its reason (they were taken from "/"), one
// deeper than PATH_MAX converts them where they are.
TEST(RealFaults, RelativeNamesNeverLeadFromTheRootFolder) {
  Workspace space;
  space.AddSource("inbox", kMbox);
  const std::string from_root =
      QFile::encodeName(space.source_folder().mid(1) + "inbox").toStdString();
  Process process = RunShell(
      "mkdir gone && cd gone && rmdir ../gone && exec \"$Q\" --to-box "
      "--quiet " +
          Quoted(QFile::decodeName(from_root.c_str())),
      space.root());
  EXPECT_EQ(process.code, 1) << process.err;
  EXPECT_NE(process.err.find(
                "mailbox 1 (inbox): cannot convert " + from_root +
                ": the working folder has been removed, so a relative name "
                "leads nowhere"),
            std::string::npos)
      << process.err;
  EXPECT_TRUE(process.out.empty()) << process.out;
  EXPECT_EQ(Entries(space.source_folder()), QStringList{"inbox"});

  // 24 folders of 200 bytes: a working folder 4800 bytes deep.
  process = RunShell(
      "d=$(printf 'd%.0s' $(seq 1 200)); mkdir deep && cd deep || exit 9; "
      "for i in $(seq 1 24); do mkdir $d && cd -P ./$d || exit 9; done; "
      "cp " +
          Quoted(space.source_folder() + "inbox") +
          " inbox && \"$Q\" --to-box --quiet inbox && cat inbox.box",
      space.root());
  Shell("rm -rf " + Quoted(space.root() + "/deep"));
  EXPECT_EQ(process.code, 0) << process.err;
  EXPECT_EQ(process.out, "./inbox\t./inbox.box\t2\n" + Expected(kMbox, true));
  EXPECT_EQ(Entries(space.source_folder()), QStringList{"inbox"});
}

// The window, idle, closes through its event loop on SIGTERM and says why.
TEST(RealFaults, WindowClosesOnSigtermAndSaysSo) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const Process process =
      RunProgram({QUILLET_WINDOW_PATH}, QDir::tempPath(), [](pid_t pid) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        ::kill(pid, SIGTERM);
      });
  EXPECT_EQ(process.signal, 0) << "ended by the signal, not by the window";
  EXPECT_EQ(process.code, 128 + SIGTERM) << process.err;
  EXPECT_NE(process.err.find("closing on SIGTERM"), std::string::npos)
      << process.err;
}

// Who may read an output: never more than its source allows (less the
// umask), never more than a file it replaces allowed, and never anyone but
// the user who ran the conversion as owner, nor an old file's ACL.
TEST(RealFaults, OutputsNeverGrantMoreThanTheSourceNorTakeAnotherOwner) {
  const mode_t umask_now = ::umask(022);
  ::umask(umask_now);
  struct Case {
    mode_t source;
    int old;  // the replaced file's mode, or -1 for a new output
    mode_t expected;
  };
  const Case cases[] = {
      {0600, -1, 0600},   {0644, -1, 0644 & ~umask_now},   {0600, 0666, 0600},
      {0644, 0600, 0600}, {0666, 0640, 0640 & ~umask_now},
  };
  for (const Case& c : cases) {
    Workspace space;
    space.AddSource("m", kMbox);
    space.job.MailboxFiles = {"m"};
    const QByteArray source = QFile::encodeName(space.source_folder() + "m");
    const QByteArray output =
        QFile::encodeName(space.target_folder() + "m.box");
    ASSERT_EQ(::chmod(source.constData(), c.source), 0);
    if (c.old >= 0) {
      WriteBytes(space.target_folder() + "m.box", "old");
      ASSERT_EQ(::chmod(output.constData(), static_cast<mode_t>(c.old)), 0);
    }
    ASSERT_TRUE(RunJob(space.job).ok());
    struct stat st {};
    ASSERT_EQ(::stat(output.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.expected)
        << std::oct << "source " << c.source << ", old " << c.old;
  }

  if (!HaveSecondUser()) GTEST_SKIP() << "the rest needs root and runuser";
  // Another user's empty 0666 file, with an ACL for a third, in a shared
  // sticky folder: root's private mailbox must not reach either of them.
  Workspace space;
  space.AddSource("private", kMbox);
  space.job.MailboxFiles = {"private"};
  ASSERT_EQ(::chmod(QFile::encodeName(space.source_folder() + "private"), 0600),
            0);
  const QString target = space.target_folder();
  ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 01777), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(space.root()).constData(), 0755), 0);
  const std::string old = Quoted(target + "private.box");
  ASSERT_TRUE(Shell("runuser -u nobody -- sh -c 'umask 0; : > " +
                    QFile::encodeName(target).toStdString() + "private.box'"));
  const bool acl = Shell("setfacl -m u:daemon:rw " + old);
  if (!acl) std::printf("no ACL on this file system: mode and owner only\n");
  struct stat before {};
  ASSERT_EQ(::stat(QFile::encodeName(target + "private.box"), &before), 0);
  ASSERT_NE(before.st_uid, ::geteuid());

  ASSERT_TRUE(RunJob(space.job).ok());
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(target + "private.box"), &st), 0);
  EXPECT_EQ(ReadBytes(target + "private.box"), Expected(kMbox, true));
  EXPECT_EQ(st.st_uid, ::geteuid());
  EXPECT_EQ(st.st_gid, ::getegid());
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (acl) {
    const std::string listing = space.root().toStdString() + "/acl-after";
    ASSERT_TRUE(Shell("getfacl -c " + old + " >" + listing));
    EXPECT_EQ(ReadBytes(space.root() + "/acl-after").find("daemon"),
              std::string::npos)
        << ReadBytes(space.root() + "/acl-after");
  }
}

TEST(RealFaults, FileSizeLimitIsAFailureToReport) {
  Workspace space;
  space.AddSource("small", kMbox);
  space.AddSource("big", ManyMessages(std::size_t{1} << 20));
  const Process process =
      RunShell("ulimit -f 64; exec \"$Q\" --to-box --quiet -o " +
                   Quoted(space.target_folder()) + " small big",
               space.source_folder());
  EXPECT_EQ(process.signal, 0) << "killed by signal " << process.signal;
  EXPECT_EQ(process.code, 1) << process.err;
  EXPECT_NE(process.err.find("File too large"), std::string::npos)
      << process.err;
  EXPECT_NE(process.out.find("small.box\t2\n"), std::string::npos)
      << process.out;
  EXPECT_EQ(Entries(space.target_folder()), QStringList{"small.box"});
}

// What would fail after the first output is written is found before.
TEST(RealFaults, CheckForeseesUnreadableSourcesUnwritableFoldersLongNames) {
  Workspace space;
  const QString folder = space.source_folder();
  WriteBytes(folder + "first", kMbox);
  const std::string n251(251, 'n');
  const std::string n252(252, 'm');
  WriteBytes(folder + QString::fromStdString(n251), kMbox);
  WriteBytes(folder + QString::fromStdString(n252), kMbox);

  // An output name of 256 bytes: refused, with the reason, nothing written.
  Process process = RunConvert({"--to-box", "first", n252}, folder);
  EXPECT_EQ(process.code, 1);
  EXPECT_NE(process.err.find("mailbox 2"), std::string::npos) << process.err;
  EXPECT_NE(process.err.find("longer than"), std::string::npos) << process.err;
  EXPECT_FALSE(QFileInfo::exists(folder + "first.box"));
  // 255 bytes fit, although the temporary name would not.
  process = RunConvert({"--to-box", "--quiet", n251}, folder);
  EXPECT_EQ(process.code, 0) << process.err;
  EXPECT_EQ(ReadBytes(folder + QString::fromStdString(n251 + ".box")),
            Expected(kMbox, true));

  if (!HaveSecondUser()) GTEST_SKIP() << "the rest needs root and runuser";
  ASSERT_EQ(::chmod(QFile::encodeName(space.root()).constData(), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
  WriteBytes(folder + "secret", kMbox);
  ASSERT_EQ(::chmod(QFile::encodeName(folder + "secret").constData(), 0600), 0);
  // The build may lie in a folder closed to other users (a clone in a
  // private temporary folder): the second user runs a copy of the program.
  const QString program = space.root() + "/quillet-convert";
  ASSERT_TRUE(QFile::copy(QUILLET_CONVERT_PATH, program));
  ASSERT_EQ(::chmod(QFile::encodeName(program).constData(), 0755), 0);
  const std::string as_nobody =
      "exec runuser -u nobody -- " + Quoted(program) + " --to-box ";
  process = RunShell(as_nobody + "first secret", folder);
  EXPECT_EQ(process.code, 1);
  EXPECT_NE(process.err.find("mailbox 2"), std::string::npos) << process.err;
  EXPECT_NE(process.err.find("no permission to read"), std::string::npos)
      << process.err;
  EXPECT_FALSE(QFileInfo::exists(folder + "first.box"));

  const QString closed = space.root() + "/closed/";
  ASSERT_TRUE(QDir().mkdir(closed));
  process = RunShell(as_nobody + "-o " + Quoted(closed) + " first", folder);
  EXPECT_EQ(process.code, 1);
  EXPECT_NE(process.err.find("no permission to create"), std::string::npos)
      << process.err;
  EXPECT_TRUE(Entries(closed).isEmpty());
}

// Renames the system would refuse after earlier outputs were written:
// an immutable or append-only old output, an append-only or immutable
// folder, another user's old output in a sticky folder. Each is refused by
// the check, with its reason, and nothing is written.
TEST(RealFaults, CheckForeseesRenamesTheSystemWouldRefuse) {
  if (::geteuid() != 0) GTEST_SKIP() << "chattr +i and +a need root";
  struct Case {
    const char* attribute;
    bool on_folder;
    const char* words;
  };
  const Case cases[] = {
      {"+i", false, "immutable or append-only, so it cannot be replaced"},
      {"+a", false, "immutable or append-only, so it cannot be replaced"},
      {"+a", true, "folder is immutable or append-only"},
      {"+i", true, "folder is immutable or append-only"},
  };
  for (const Case& c : cases) {
    Workspace space;
    WriteBytes(space.source_folder() + "a", kMbox);
    WriteBytes(space.source_folder() + "b", kMbox);
    WriteBytes(space.target_folder() + "b.box", "old");
    const std::string marked = Quoted(
        c.on_folder ? space.target_folder() : space.target_folder() + "b.box");
    if (!Shell("chattr " + std::string(c.attribute) + " " + marked)) {
      GTEST_SKIP() << "chattr " << c.attribute
                   << " is refused on this file system";
    }
    const Process process =
        RunConvert({"--to-box", "--force", "-o",
                    space.target_folder().toStdString(), "a", "b"},
                   space.source_folder());
    Shell("chattr -i -a " + marked);
    EXPECT_EQ(process.code, 1) << c.attribute << process.err;
    EXPECT_NE(process.err.find(c.words), std::string::npos)
        << c.attribute << " " << process.err;
    EXPECT_EQ(Entries(space.target_folder()), QStringList{"b.box"})
        << c.attribute << (c.on_folder ? " folder" : " file");
    EXPECT_EQ(ReadBytes(space.target_folder() + "b.box"), "old");
  }

  if (!HaveSecondUser() || !Shell("runuser -u daemon -- true")) {
    GTEST_SKIP() << "the sticky-folder case needs root, runuser and the users "
                    "nobody and daemon";
  }
  Workspace space;
  const QString folder = space.source_folder();
  ASSERT_EQ(::chmod(QFile::encodeName(space.root()).constData(), 0755), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
  WriteBytes(folder + "a", kMbox);
  WriteBytes(folder + "b", kMbox);
  ASSERT_EQ(::chmod(QFile::encodeName(folder + "a").constData(), 0644), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(folder + "b").constData(), 0644), 0);
  ASSERT_TRUE(Shell("runuser -u daemon -- sh -c 'umask 0; echo old > " +
                    QFile::encodeName(folder).toStdString() + "b.box'"));
  const QString program = space.root() + "/quillet-convert";
  ASSERT_TRUE(QFile::copy(QUILLET_CONVERT_PATH, program));
  ASSERT_EQ(::chmod(QFile::encodeName(program).constData(), 0755), 0);
  const Process process = RunShell(
      "exec runuser -u nobody -- " + Quoted(program) + " --to-box --force a b",
      folder);
  EXPECT_EQ(process.code, 1) << process.err;
  EXPECT_NE(process.err.find("belongs to another user"), std::string::npos)
      << process.err;
  EXPECT_FALSE(QFileInfo::exists(folder + "a.box"));
  EXPECT_EQ(ReadBytes(folder + "b.box"), "old\n");
}

// The target folder moved away and its path made a link to another
// folder while an output is written: neither folder receives the output
// or keeps a temporary copy, an old output stays as it was, and the
// failure says the folder moved. On the disk (an unnamed temporary file
// where the system offers one) and on exFAT (a named one) where it mounts.
TEST(RealFaults, TargetFolderMovedWhileWritingReceivesNothing) {
  Workspace space;
  Volume stick(Volume::kExfat, space.root());
  std::vector<QString> roots = {space.root() + "/disk/"};
  if (stick.mounted()) {
    roots.push_back(stick.path());
  } else {
    std::printf("named temporary files untested here: %s\n",
                stick.error().c_str());
  }
  for (const QString& root : roots) {
    SCOPED_TRACE(root.toStdString());
    ASSERT_TRUE(QDir().mkpath(root + "T"));
    ASSERT_TRUE(QDir().mkpath(root + "elsewhere"));
    for (const bool replacing : {false, true}) {
      if (replacing) WriteBytes(root + "T/x.box", "old");
      FileError error;
      std::unique_ptr<OutputFile> output =
          SystemFileLayer().OpenOutput(root + "T/x.box", &error);
      ASSERT_TRUE(output) << ErrorText(error).toStdString();
      const std::string data(std::size_t{1} << 20, 'x');
      ASSERT_TRUE(output->Write(data.data(), qint64(data.size())));
      ASSERT_EQ(::rename(QFile::encodeName(root + "T").constData(),
                         QFile::encodeName(root + "T.moved").constData()),
                0);
      // A link where the volume has them (exFAT has not): a new folder.
      const bool linked =
          ::symlink(QFile::encodeName(root + "elsewhere").constData(),
                    QFile::encodeName(root + "T").constData()) == 0;
      if (!linked) {
        ASSERT_TRUE(QDir().mkdir(root + "T"));
      }
      EXPECT_FALSE(output->Commit());
      EXPECT_EQ(output->Error().code, FailureReason::kTargetMoved);
      output.reset();
      EXPECT_EQ(Entries(root + "T.moved"),
                replacing ? QStringList{"x.box"} : QStringList{});
      if (replacing) {
        EXPECT_EQ(ReadBytes(root + "T.moved/x.box"), "old");
      }
      EXPECT_EQ(Entries(root + "elsewhere"), QStringList{});
      EXPECT_EQ(Entries(root + "T"), QStringList{});
      if (linked) {
        ASSERT_EQ(::unlink(QFile::encodeName(root + "T").constData()), 0);
      } else {
        ASSERT_TRUE(QDir().rmdir(root + "T"));
      }
      ASSERT_EQ(::rename(QFile::encodeName(root + "T.moved").constData(),
                         QFile::encodeName(root + "T").constData()),
                0);
    }
  }
}

// A run killed while writing leaves no temporary file where the system
// offers unnamed ones; named leftovers of dead runs are removed by a later
// run into the folder only when provably dead (this user's, not written to
// for ten minutes, lock free), every other file stays.
TEST(RealFaults, KilledRunsLeaveNoTemporaryFileAndDeadLeftoversGo) {
  Workspace space;
  const QString target = space.target_folder();
  const pid_t child = ::fork();
  if (child == 0) {
    FileError error;
    std::unique_ptr<OutputFile> output =
        SystemFileLayer().OpenOutput(target + "big.box", &error);
    if (!output) ::_exit(2);
    const std::string data(std::size_t{4} << 20, 'x');
    if (!output->Write(data.data(), qint64(data.size())) || !output->Sync()) {
      ::_exit(3);
    }
    ::raise(SIGKILL);
    ::_exit(4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "child exit " << WEXITSTATUS(status);
  EXPECT_EQ(Entries(target), QStringList{}) << "a killed run's leftover";

  const QString dead = ".a.box.quillet-tmp-AbCdEf";
  const QString young = ".b.box.quillet-tmp-AbCdEf";
  const QString locked = ".c.box.quillet-tmp-AbCdEf";
  const QString other = ".d.box.quillet-tmp-AbCdEf";
  const QString unlike = ".e.box.quillet-tmp-AbC";
  const bool second_user = HaveSecondUser();
  for (const QString& name : {dead, young, locked, other, unlike}) {
    if (name == other && !second_user) continue;
    WriteBytes(target + name, "leftover");
    if (name == young) continue;
    const timespec old_times[2] = {{::time(nullptr) - 3600, 0},
                                   {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(
        ::utimensat(AT_FDCWD, QFile::encodeName(target + name), old_times, 0),
        0);
  }
  if (second_user) {
    ASSERT_TRUE(Shell("chown nobody " + Quoted(target + other)));
  }
  const int held =
      ::open(QFile::encodeName(target + locked), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  WriteBytes(space.source_folder() + "m", kMbox);
  const Process process =
      RunConvert({"--to-box", "--quiet", "-o", target.toStdString(), "m"},
                 space.source_folder());
  ::close(held);
  EXPECT_EQ(process.code, 0) << process.err;
  QStringList expected = {young, locked, unlike, "m.box"};
  if (second_user) expected.append(other);
  expected.sort();
  QStringList entries = Entries(target);
  entries.sort();
  EXPECT_EQ(entries, expected);
}

// A folder seen a second time through bindfs (FUSE: other device
// numbers): mailbox 1's output there would replace mailbox 2's source
// before it is read. The check refuses it by size, time and bytes, in
// either direction of the views; nothing is written.
TEST(RealFaults, OutputThatIsASourceThroughASecondMountIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting bindfs needs root here";
  Workspace space;
  const QString real = space.root() + "/real/";
  const QString view = space.root() + "/view/";
  ASSERT_TRUE(QDir().mkpath(real));
  ASSERT_TRUE(QDir().mkpath(view));
  if (!Shell("bindfs " + Quoted(real) + " " + Quoted(view))) {
    GTEST_SKIP() << "no bindfs mount here (bindfs, /dev/fuse)";
  }
  struct Unmount {
    QString at;
    ~Unmount() {
      Shell("umount " + Quoted(at) + " || umount -l " + Quoted(at));
    }
  } unmount{view};
  WriteBytes(real + "a", kMbox);
  WriteBytes(real + "a.box", kMbox);  // a mailbox of mbox text, by its name
  for (const bool sources_in_view : {false, true}) {
    SCOPED_TRACE(sources_in_view ? "sources through bindfs" : "output there");
    const QString sources = sources_in_view ? view : real;
    const QString target = sources_in_view ? real : view;
    const Process process = RunConvert(
        {"--to-box", "--force", "-o", target.toStdString(), "a", "a.box"},
        sources);
    EXPECT_EQ(process.code, 1) << process.err;
    EXPECT_NE(process.err.find("same contents, size and time"),
              std::string::npos)
        << process.err;
    EXPECT_EQ(ReadBytes(real + "a.box"), kMbox);
    EXPECT_EQ(Entries(real), (QStringList{"a", "a.box"}));
  }
}

// A folder path so long that the output's path just fits PATH_MAX but a
// temporary file's full path would not: temporary names are relative to
// the held folder, so the output is written.
TEST(RealFaults, TemporaryNameBeyondPathMaxWhereTheOutputFits) {
  Workspace space;
  WriteBytes(space.source_folder() + "m", kMbox);
  QString folder = space.root() + "/";
  const QString output = "m.box";
  // Components of up to 200 bytes until the output path is PATH_MAX - 1.
  while (true) {
    const qsizetype room = PATH_MAX - 1 - folder.size() - output.size();
    if (room <= 1) break;
    const qsizetype part = std::min<qsizetype>(200, room - 1);
    folder += QString(part, u'd') + "/";
    ASSERT_TRUE(QDir().mkdir(folder)) << folder.size();
  }
  ASSERT_LT(QFile::encodeName(folder + output).size(), PATH_MAX);
  ASSERT_GE(
      QFile::encodeName(folder + "." + output + kTemporaryMarker + "XXXXXX")
          .size(),
      PATH_MAX);
  const Process process =
      RunConvert({"--to-box", "--quiet", "-o", folder.toStdString(), "m"},
                 space.source_folder());
  EXPECT_EQ(process.code, 0) << process.err;
  EXPECT_EQ(ReadBytes(folder + output), Expected(kMbox, true));
  EXPECT_EQ(Entries(folder), QStringList{output});
}

// The output's own system calls failing inside quillet-convert (a
// preloaded library makes the first such call fail): the unnamed temporary
// file refused (the named one is used instead), its link, the renames, the
// sync, the named file's creation. A failure leaves the folder as it was,
// an old output intact and no temporary file; the system's words are said.
TEST(SystemCallFaults, OutputCallsFailingLeaveTheFolderAsItWas) {
  if (kSanitizerBuild) {
    GTEST_SKIP() << "AddressSanitizer must come first: no preloaded library";
  }
  struct Case {
    const char* faults;
    int error;
    bool replacing;
    bool converts;  // the run still succeeds (another way was taken)
  };
  const Case cases[] = {
      {"tmpfile", EOPNOTSUPP, false, true},
      {"tmpfile", EOPNOTSUPP, true, true},
      {"linkat", ENOSPC, false, false},
      {"linkat", ENOSPC, true, false},
      {"renameat", EIO, true, false},
      {"fdatasync", EIO, true, false},
      {"tmpfile,renameat2", EIO, false, false},
      {"tmpfile,renameat", EIO, true, false},
      {"tmpfile,create", EACCES, false, false},
      {"unlinkat,renameat", EIO, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.faults) + (c.replacing ? " replacing" : ""));
    Workspace space;
    WriteBytes(space.source_folder() + "m", kMbox);
    const QString target = space.target_folder();
    if (c.replacing) WriteBytes(target + "m.box", "old");
    const Process process = RunShell(
        std::string("LD_PRELOAD='") + QUILLET_SYSCALL_FAULTS_PATH +
            "' QUILLET_FAULT='" + c.faults +
            "' QUILLET_FAULT_ERRNO=" + std::to_string(c.error) +
            " exec \"$Q\" --to-box --quiet --force -o " + Quoted(target) + " m",
        space.source_folder());
    if (c.converts) {
      EXPECT_EQ(process.code, 0) << process.err;
      EXPECT_EQ(Entries(target), QStringList{"m.box"});
      EXPECT_EQ(ReadBytes(target + "m.box"), Expected(kMbox, true));
      continue;
    }
    EXPECT_EQ(process.code, 1) << process.err;
    EXPECT_NE(process.err.find(std::strerror(c.error)), std::string::npos)
        << process.err;
    // A failed unlinkat of the linked name is the one case where a
    // temporary file may stay: it is named and, unlocked, a dead leftover.
    QStringList entries = Entries(target);
    if (std::strstr(c.faults, "unlinkat") != nullptr) {
      entries.erase(std::remove_if(entries.begin(), entries.end(),
                                   [](const QString& name) {
                                     return name.contains(kTemporaryMarker);
                                   }),
                    entries.end());
    }
    EXPECT_EQ(entries, c.replacing ? QStringList{"m.box"} : QStringList{});
    if (c.replacing) {
      EXPECT_EQ(ReadBytes(target + "m.box"), "old");
    }
  }
}

// Outputs synced together with one request for their file system: when
// that request fails, each output's own sync decides. The outputs before
// the one whose sync fails are named; it and those after it are not.
TEST(SystemCallFaults, FailedGroupSyncLeavesEachOutputToItsOwnSync) {
  if (kSanitizerBuild) {
    GTEST_SKIP() << "AddressSanitizer must come first: no preloaded library";
  }
  struct Case {
    const char* faults;
    QStringList named;
  };
  const Case cases[] = {
      {"syncfs", {"a.box", "b.box", "c.box"}},
      {"syncfs,fdatasync@2", {"a.box"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    Workspace space;
    for (const char* name : {"a", "b", "c"}) {
      WriteBytes(space.source_folder() + name, kMbox);
    }
    const Process process = RunShell(
        std::string("LD_PRELOAD='") + QUILLET_SYSCALL_FAULTS_PATH +
            "' QUILLET_FAULT='" + c.faults + "' exec \"$Q\" --to-box -o " +
            Quoted(space.target_folder()) + " a b c",
        space.source_folder());
    EXPECT_EQ(Entries(space.target_folder()), c.named);
    if (c.named.size() == 3) {
      EXPECT_EQ(process.code, 0) << process.err;
      continue;
    }
    EXPECT_EQ(process.code, 1) << process.err;
    EXPECT_NE(process.err.find("b.box"), std::string::npos) << process.err;
    EXPECT_NE(process.err.find(std::strerror(EIO)), std::string::npos)
        << process.err;
  }
}

// "caf\xE9" decodes to "caf\uFFFD", which is another file's name.
TEST(RealFaults, NameThatIsNotUtf8NeverConvertsAnotherFile) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString replacement = folder.path() + "/caf\uFFFD";
  WriteBytes(replacement, kMbox);
  WriteBytes(replacement + ".box", "old");
  const std::string latin1 =
      QFile::encodeName(folder.path()).toStdString() + "/caf\xE9";
  const int fd = ::open(latin1.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, kMbox.data(), kMbox.size()), ssize_t(kMbox.size()));
  ::close(fd);
  const Process process =
      RunConvert({"--to-box", "--", "caf\xE9"}, folder.path());
  EXPECT_EQ(process.code, 1);
  EXPECT_NE(process.err.find("not valid UTF-8"), std::string::npos)
      << process.err;
  EXPECT_EQ(ReadBytes(replacement + ".box"), "old");
  EXPECT_NE(::access((latin1 + ".box").c_str(), F_OK), 0);
  ::unlink(latin1.c_str());
}

TEST(RealFaults, StandardOutputErrorsAreReported) {
  Workspace space;
  space.AddSource("a", kMbox);
  const std::string convert =
      "\"$Q\" --to-box --force -o " + Quoted(space.target_folder()) + " a";
  Process process = RunShell(convert + " >/dev/full", space.source_folder());
  EXPECT_EQ(process.code, 1);
  EXPECT_NE(process.err.find("No space left"), std::string::npos)
      << process.err;
  // A reader that is gone before the list is written.
  process =
      RunShell("{ sleep 0.3; " + convert + "; echo \"code=$?\" >&2; } | true",
               space.source_folder());
  EXPECT_NE(process.err.find("code=1"), std::string::npos) << process.err;
  EXPECT_NE(process.err.find("Broken pipe"), std::string::npos) << process.err;
}

// A mail client that holds the fcntl write lock while it appends: the run
// waits for it and converts the mailbox as the client left it.
TEST(RealFaults, WriterHoldingTheLockIsWaitedFor) {
  Workspace space;
  space.AddSource("a", kMbox);
  const std::string more =
      "From c@example.org Mon Jan  1 09:00:00 2024\n\nthree\n";
  const QByteArray path = QFile::encodeName(space.source_folder() + "a");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t client = ::fork();
  if (client == 0) {
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fd < 0 || ::fcntl(fd, F_SETLKW, &lock) != 0) ::_exit(1);
    (void)!::write(ready[1], "x", 1);
    ::usleep(400 * 1000);
    (void)!::write(fd, more.data(), more.size());
    ::_exit(0);  // the lock goes with the process
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  const RunResult result = RunJob(space.job);
  int status = 0;
  ::waitpid(client, &status, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  ASSERT_TRUE(result.ok()) << Describe(result);
  EXPECT_EQ(space.Output("a.box"), Expected(kMbox + more, true));
}

// The renames reach the disk: the folder is synced after the last of them,
// once, before the run reports success.
TEST(RealFaults, TargetFolderIsSyncedAfterTheRenames) {
  Workspace space;
  for (const char* name : {"a", "b", "c"}) space.AddSource(name, kMbox);
  FaultFileLayer files(SystemFileLayer());
  std::vector<std::pair<FileOp, QString>> calls;
  files.before = [&](FileOp op, const QString& path) {
    calls.emplace_back(op, path);
  };
  ASSERT_TRUE(RunJob(space.job, files).ok());
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().first, FileOp::kSyncFolder);
  EXPECT_EQ(calls.back().second, space.target_folder());
  EXPECT_EQ(files.calls(FileOp::kSyncFolder), 1);
  EXPECT_EQ(files.calls(FileOp::kCommit), 3);
}

}  // namespace
}  // namespace quillet::reliability
