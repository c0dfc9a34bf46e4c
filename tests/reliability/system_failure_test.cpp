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
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "conversion/conversion_run.h"
#include "conversion/file_layer.h"
#include "conversion/mailbox_format.h"
#include "conversion/test_support.h"
#include "tests/reliability/fault_file_layer.h"
#include "tests/reliability/reference_model.h"
#include "tests/reliability/sanitizer_build.h"
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
  return RunConversion(job, text, files, reporter ? *reporter : own, options);
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
  EXPECT_TRUE(result.failure->reason.contains("No space left"))
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

  const RunResult result = RunJob(space.job);
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.failure->step, RunStep::kOpenOutput) << Describe(result);
  EXPECT_EQ(result.failure->path, target + "a.box");
  EXPECT_FALSE(result.failure->reason.isEmpty());
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
// first call of `op` on the source.
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
  files.before = [&](FileOp op, const QString& path) {
    if (!done && op == change.op && path == source) {
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
  {  // while it is read: the bytes read before, and no failure
    Workspace space;
    space.AddSource("a", kMbox);
    FaultFileLayer files(SystemFileLayer());
    files.before = [&](FileOp op, const QString& path) {
      if (op == FileOp::kRead && files.calls(FileOp::kRead) == 1) {
        ASSERT_TRUE(QFile::resize(path, 0));
      }
    };
    const RunResult result = RunJob(space.job, files, 16);
    ASSERT_TRUE(result.ok()) << Describe(result);
    EXPECT_EQ(space.Output("a.box"), Expected(kMbox.substr(0, 16), true));
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
  int code = -1;
  std::string out;
  std::string err;
};

// Runs quillet-convert in `folder` with `arguments` passed byte for byte,
// without any decoding on the way.
Process RunConvert(const std::vector<std::string>& arguments,
                   const QString& folder) {
  Process process;
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return process;
  }
  std::vector<std::string> all = {QUILLET_CONVERT_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
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
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&process.out, &process.err};
  int open_pipes = 2;
  while (open_pipes > 0) {
    if (::poll(fds, 2, 30000) <= 0) {
      ::kill(pid, SIGKILL);  // hung: end it, and fail below
      ADD_FAILURE() << "quillet-convert did not finish within 30 s";
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
  return process;
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

}  // namespace
}  // namespace quillet::reliability
