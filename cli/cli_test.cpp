// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>

#include "cli/convert_command.h"
#include "cli/terminal_progress.h"
#include "conversion/file_layer.h"
#include "tests/support/failing_output_layer.h"

namespace quillet {
namespace {

const QByteArray kBoxSeparator =
    "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S";

// Two messages in Unix mbox form, and what they become as .box: the empty
// line before a separator is the mbox format's, not the message's.
const QByteArray kMbox =
    "From alice@example.com Mon Jan  1 09:00:00 2024\n"
    "Subject: one\n"
    "\n"
    "first body\n"
    "\n"
    "From bob@example.com Tue Jan  2 10:00:00 2024\n"
    "Subject: two\n"
    "\n"
    "second body\n";
const QByteArray kBox =
    kBoxSeparator + "\r\nSubject: one\r\n\r\nfirst body\r\n" + kBoxSeparator +
    "\r\nSubject: two\r\n\r\nsecond body\r\n";

struct Outcome {
  int code = -1;
  QByteArray out;
  QByteArray err;
};

// `terminal_answers`: standard input as a terminal that types these lines;
// null: standard input is no terminal.
Outcome RunLibrary(const QStringList& arguments, bool err_is_terminal = false,
                   FileLayer& files = SystemFileLayer(),
                   const char* terminal_answers = nullptr) {
  QBuffer out;
  QBuffer err;
  QBuffer in;
  in.setData(terminal_answers);
  out.open(QIODevice::WriteOnly);
  err.open(QIODevice::WriteOnly);
  in.open(QIODevice::ReadOnly);
  Outcome outcome;
  outcome.code = RunConvertCommand(
      QStringList{QStringLiteral("quillet-convert")} + arguments, out, err,
      err_is_terminal, files, {}, terminal_answers ? &in : nullptr);
  outcome.out = out.data();
  outcome.err = err.data();
  return outcome;
}

Outcome RunProcess(const QStringList& arguments, const QString& working_dir) {
  QProcess process;
  process.setWorkingDirectory(working_dir);
  process.start(QStringLiteral(QUILLET_CONVERT_PATH), arguments);
  Outcome outcome;
  if (!process.waitForFinished(30000)) return outcome;
  outcome.code =
      process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
  outcome.out = process.readAllStandardOutput();
  outcome.err = process.readAllStandardError();
  return outcome;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString Path(const QString& relative) const {
    return dir_.filePath(relative);
  }
  void Write(const QString& relative, const QByteArray& bytes) {
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
  }
  QByteArray Read(const QString& relative) const {
    QFile file(Path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll()
                                          : QByteArray("<none>");
  }
  QStringList Entries(const QString& relative = QString()) const {
    return QDir(Path(relative))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                       QDir::NoDotAndDotDot,
                   QDir::Name);
  }
  // The line the command prints for one converted mailbox.
  QByteArray ResultLine(const QString& source, const QString& output,
                        int messages) const {
    return QFile::encodeName(Path(source)) + '\t' +
           QFile::encodeName(Path(output)) + '\t' +
           QByteArray::number(messages) + '\n';
  }

  QTemporaryDir dir_;
};

// ---------------------------------------------------------------- usage

TEST_F(CliTest, UsageErrorsExitTwoWithUsageAndWriteNothing) {
  Write(QStringLiteral("m"), kMbox);
  const QList<QStringList> cases = {
      {QStringLiteral("m")},  // no direction
      {QStringLiteral("--to-box"), QStringLiteral("--to-mbox"),
       QStringLiteral("m")},         // both
      {QStringLiteral("--to-box")},  // no files
      {QStringLiteral("--to-box"), QStringLiteral("--frobnicate"),
       QStringLiteral("m")},  // unknown option
      {QStringLiteral("--to-box"), QStringLiteral("m"),
       QStringLiteral("--output-dir")},                    // missing value
      {QStringLiteral("--to-box"), QStringLiteral("-m")},  // "-m" is no file
  };
  for (const QStringList& arguments : cases) {
    SCOPED_TRACE(arguments.join(u' ').toStdString());
    const Outcome outcome = RunProcess(arguments, dir_.path());
    EXPECT_EQ(outcome.code, kExitUsage);
    EXPECT_TRUE(outcome.err.contains(
        "Usage: quillet-convert (--to-box | --to-mbox) [--output-dir DIR] "
        "[--force] [--quiet] FILE..."));
    EXPECT_TRUE(outcome.out.isEmpty());
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("m")});
  }
  EXPECT_TRUE(RunProcess({QStringLiteral("--to-box"), QStringLiteral("--bogus"),
                          QStringLiteral("m")},
                         dir_.path())
                  .err.contains("bogus"));
}

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
  const Outcome help = RunProcess({QStringLiteral("--help")}, dir_.path());
  EXPECT_EQ(help.code, kExitOk);
  EXPECT_TRUE(help.out.startsWith("Usage: quillet-convert (--to-box"));
  for (const char* option : {"--to-box", "--to-mbox", "--output-dir <DIR>",
                             "--quiet", "--version"}) {
    EXPECT_TRUE(help.out.contains(option)) << option;
  }
  EXPECT_TRUE(help.err.isEmpty());

  const Outcome version =
      RunProcess({QStringLiteral("--version")}, dir_.path());
  EXPECT_EQ(version.code, kExitOk);
  EXPECT_EQ(version.out, "quillet-convert 0.3.1\n");
}

// ----------------------------------------------------------- converting

TEST_F(CliTest, ConvertsInTheOrderGivenAndPrintsOneLinePerMailbox) {
  Write(QStringLiteral("b"), kMbox);
  Write(QStringLiteral("a"), kMbox.left(kMbox.indexOf("From bob")));
  const Outcome outcome =
      RunLibrary({QStringLiteral("--to-box"), Path(QStringLiteral("b")),
                  Path(QStringLiteral("a"))});
  EXPECT_EQ(outcome.code, kExitOk);
  EXPECT_EQ(outcome.out,
            ResultLine(QStringLiteral("b"), QStringLiteral("b.box"), 2) +
                ResultLine(QStringLiteral("a"), QStringLiteral("a.box"), 1));
  EXPECT_TRUE(outcome.err.isEmpty());
  EXPECT_EQ(Read(QStringLiteral("b.box")), kBox);
  EXPECT_EQ(Read(QStringLiteral("b")), kMbox);
}

TEST_F(CliTest, OutputDirReceivesTheOutputsAndSourceFoldersStayClean) {
  Write(QStringLiteral("src/in.BOX"), kBox);
  QDir().mkpath(Path(QStringLiteral("out")));
  const Outcome outcome = RunLibrary(
      {QStringLiteral("--to-mbox"), QStringLiteral("--output-dir"),
       Path(QStringLiteral("out")), Path(QStringLiteral("src/in.BOX"))});
  EXPECT_EQ(outcome.code, kExitOk);
  EXPECT_EQ(outcome.out, ResultLine(QStringLiteral("src/in.BOX"),
                                    QStringLiteral("out/in"), 2));
  EXPECT_EQ(Entries(QStringLiteral("src")),
            QStringList{QStringLiteral("in.BOX")});
  const QByteArray mbox = Read(QStringLiteral("out/in"));
  EXPECT_TRUE(mbox.startsWith("From - ")) << mbox.constData();
  EXPECT_TRUE(mbox.contains("\nSubject: two\n\nsecond body\n"));
  EXPECT_FALSE(mbox.contains('\r'));
}

TEST_F(CliTest, FilesFromSeveralFoldersKeepTheirOrderAndNumbering) {
  Write(QStringLiteral("d1/x"), kMbox);
  Write(QStringLiteral("d2/y"), kMbox);
  Write(QStringLiteral("d1/z"), kMbox);
  const Outcome outcome =
      RunLibrary({QStringLiteral("--to-box"), Path(QStringLiteral("d1/x")),
                  Path(QStringLiteral("d2/y")), Path(QStringLiteral("d1/z"))});
  EXPECT_EQ(outcome.code, kExitOk);
  EXPECT_EQ(
      outcome.out,
      ResultLine(QStringLiteral("d1/x"), QStringLiteral("d1/x.box"), 2) +
          ResultLine(QStringLiteral("d2/y"), QStringLiteral("d2/y.box"), 2) +
          ResultLine(QStringLiteral("d1/z"), QStringLiteral("d1/z.box"), 2));
  EXPECT_EQ(Read(QStringLiteral("d2/y.box")), kBox);
}

TEST_F(CliTest, NamesBeginningWithADashPassAfterDoubleDash) {
  Write(QStringLiteral("sub/-in"), kMbox);
  const Outcome outcome =
      RunProcess({QStringLiteral("--quiet"), QStringLiteral("--to-box"),
                  QStringLiteral("--"), QStringLiteral("-in")},
                 Path(QStringLiteral("sub")));
  EXPECT_EQ(outcome.code, kExitOk) << outcome.err.constData();
  // Relative names are reported as absolute paths.
  EXPECT_EQ(outcome.out, ResultLine(QStringLiteral("sub/-in"),
                                    QStringLiteral("sub/-in.box"), 2));
  EXPECT_EQ(Read(QStringLiteral("sub/-in.box")), kBox);
  // Standard error is a pipe here: no progress, even without --quiet.
  const Outcome again =
      RunProcess({QStringLiteral("--to-box"), QStringLiteral("--force"),
                  QStringLiteral("--"), QStringLiteral("-in")},
                 Path(QStringLiteral("sub")));
  EXPECT_EQ(again.code, kExitOk);
  EXPECT_TRUE(again.err.isEmpty());
}

// --------------------------------------------- checks before any writing

TEST_F(CliTest, AMissingSourceStopsEverythingBeforeAnyOutput) {
  Write(QStringLiteral("a"), kMbox);
  const Outcome outcome =
      RunLibrary({QStringLiteral("--to-box"), Path(QStringLiteral("a")),
                  Path(QStringLiteral("missing"))});
  EXPECT_EQ(outcome.code, kExitFailure);
  EXPECT_TRUE(outcome.out.isEmpty());
  EXPECT_TRUE(outcome.err.startsWith("quillet-convert: "));
  EXPECT_TRUE(outcome.err.contains(QFile::encodeName(Path("missing"))))
      << outcome.err.constData();
  EXPECT_EQ(Entries(), QStringList{QStringLiteral("a")});
}

TEST_F(CliTest, AMissingOutputDirIsNamed) {
  Write(QStringLiteral("a"), kMbox);
  const Outcome outcome =
      RunLibrary({QStringLiteral("--to-box"), QStringLiteral("--output-dir"),
                  Path(QStringLiteral("nowhere")), Path(QStringLiteral("a"))});
  EXPECT_EQ(outcome.code, kExitFailure);
  EXPECT_TRUE(outcome.err.contains(QFile::encodeName(Path("nowhere"))))
      << outcome.err.constData();
  EXPECT_EQ(Entries(), QStringList{QStringLiteral("a")});
}

TEST_F(CliTest, ClashesAcrossFoldersAreFoundBeforeAnyOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "QFile::link makes a shortcut (.lnk) on Windows, no link";
#endif
  // Same name in two folders, one output folder: the second would replace
  // the first's output.
  Write(QStringLiteral("d1/m"), kMbox);
  Write(QStringLiteral("d2/m"), kMbox);
  QDir().mkpath(Path(QStringLiteral("out")));
  Outcome outcome =
      RunLibrary({QStringLiteral("--to-box"), QStringLiteral("--output-dir"),
                  Path(QStringLiteral("out")), Path(QStringLiteral("d1/m")),
                  Path(QStringLiteral("d2/m"))});
  EXPECT_EQ(outcome.code, kExitFailure);
  EXPECT_TRUE(outcome.err.contains("mailbox 2")) << outcome.err.constData();
  EXPECT_TRUE(outcome.err.contains(QFile::encodeName(Path("out/m.box"))));
  // The window's words for the same clash: one check decides for both.
  EXPECT_TRUE(
      outcome.err.contains(ReasonText(FailureReason::kOutputClash).toUtf8()));
  EXPECT_TRUE(Entries(QStringLiteral("out")).isEmpty());

  // The first output would overwrite the second source, reached through a
  // link to the same folder.
  ASSERT_TRUE(
      QFile::link(Path(QStringLiteral("d1")), Path(QStringLiteral("l"))));
  Write(QStringLiteral("d1/m.box"), "a source\r\n");
  outcome =
      RunLibrary({QStringLiteral("--to-box"), Path(QStringLiteral("d1/m")),
                  Path(QStringLiteral("l/m.box"))});
  EXPECT_EQ(outcome.code, kExitFailure);
  EXPECT_TRUE(outcome.err.contains(QFile::encodeName(Path("d1/m.box"))))
      << outcome.err.constData();
  EXPECT_TRUE(outcome.err.contains(
      ReasonText(FailureReason::kOutputIsSource).toUtf8()));
  EXPECT_EQ(Read(QStringLiteral("d1/m.box")), "a source\r\n");
  EXPECT_EQ(Entries(QStringLiteral("d1")),
            (QStringList{QStringLiteral("m"), QStringLiteral("m.box")}));
}

// A file of the other format is refused, naming the option that takes it;
// a file of neither format says so. Nothing is written.
TEST_F(CliTest, WrongFormatIsRefusedWithTheOtherDirection) {
  Write(QStringLiteral("in.box"), kBox);
  Write(QStringLiteral("Inbox"), kMbox);
  Write(QStringLiteral("photo.jpg"),
        QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF", 10));
  const struct {
    QStringList arguments;
    const char* says;
  } cases[] = {
      {{QStringLiteral("--to-box"), Path(QStringLiteral("in.box"))},
       "is a Foxmail .box mailbox, not an mbox mailbox (convert it with "
       "--to-mbox)"},
      {{QStringLiteral("--to-mbox"), Path(QStringLiteral("Inbox"))},
       "is an mbox mailbox, not a Foxmail .box mailbox (convert it with "
       "--to-box)"},
      {{QStringLiteral("--to-box"), Path(QStringLiteral("photo.jpg"))},
       "it holds binary data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(u' ').toStdString());
    const Outcome outcome = RunLibrary(c.arguments);
    EXPECT_EQ(outcome.code, kExitFailure);
    EXPECT_TRUE(outcome.err.contains(c.says)) << outcome.err.constData();
    EXPECT_TRUE(outcome.out.isEmpty());
  }
  EXPECT_EQ(Entries(),
            (QStringList{QStringLiteral("Inbox"), QStringLiteral("in.box"),
                         QStringLiteral("photo.jpg")}));
}

// As gzip: existing outputs are replaced with --force, or after a yes on a
// terminal; without a terminal the command refuses, names them and says
// how to replace them; a no (or nothing) writes nothing.
TEST_F(CliTest, ExistingOutputsAreReplacedOnlyWithForceOrAYes) {
  Write(QStringLiteral("a"), kMbox);
  Write(QStringLiteral("b"), kMbox);
  Write(QStringLiteral("b.box"), "old b");
  const QStringList files = {Path(QStringLiteral("a")),
                             Path(QStringLiteral("b"))};
  const QStringList to_box = QStringList{QStringLiteral("--to-box")} + files;

  Outcome outcome = RunLibrary(to_box);
  EXPECT_EQ(outcome.code, kExitFailure);
  EXPECT_TRUE(outcome.err.contains(QFile::encodeName(Path("b.box"))));
  EXPECT_TRUE(outcome.err.contains("Give -f (--force) to replace them."))
      << outcome.err.constData();
  for (const char* answer : {"n\n", "\n", ""}) {
    SCOPED_TRACE(answer);
    outcome = RunLibrary(to_box, false, SystemFileLayer(), answer);
    EXPECT_EQ(outcome.code, kExitFailure);
    EXPECT_TRUE(outcome.err.contains("Replace? (y/N) "));
    EXPECT_EQ(Read(QStringLiteral("b.box")), "old b");
  }
  EXPECT_FALSE(Entries().contains(QStringLiteral("a.box")));

  outcome = RunLibrary(to_box, false, SystemFileLayer(), "y\n");
  EXPECT_EQ(outcome.code, kExitOk) << outcome.err.constData();
  EXPECT_EQ(Read(QStringLiteral("b.box")), kBox);

  Write(QStringLiteral("b.box"), "old b");
  outcome = RunLibrary(QStringList{QStringLiteral("-f")} + to_box);
  EXPECT_EQ(outcome.code, kExitOk) << outcome.err.constData();
  EXPECT_TRUE(outcome.err.isEmpty());
  EXPECT_EQ(Read(QStringLiteral("a.box")), kBox);
  EXPECT_EQ(Read(QStringLiteral("b.box")), kBox);
}

// A name with a line feed and tabs must not add lines or fields to the
// result list: a script that deletes the listed sources would otherwise
// delete "precious". Without -z control bytes and the backslash are
// escaped; with -z each field ends in NUL and the names are as they are.
TEST_F(CliTest, NamesCannotForgeLinesOrFieldsOfTheResultList) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows file names cannot hold control characters";
#endif
  struct Case {
    QString name;
    QByteArray escaped;
  };
  const std::vector<Case> cases = {
      {QStringLiteral("x\nprecious\tprecious.box\t1"),
       "x\\nprecious\\tprecious.box\\t1"},
      {QStringLiteral("back\\slash\\n"), "back\\\\slash\\\\n"},
      {QStringLiteral("cr\r"), "cr\\r"},
      {QStringLiteral("bell\a esc\x1b del\x7f"), "bell\\x07 esc\\x1b del\\x7f"},
      {QStringLiteral("pl\u00E4in"), "pl\xC3\xA4in"},
  };
  QStringList arguments = {QStringLiteral("--to-box")};
  QByteArray escaped_list;
  QByteArray null_list;
  const QByteArray folder = QFile::encodeName(dir_.path() + u'/');
  for (const Case& c : cases) {
    Write(c.name, kMbox);
    arguments.append(Path(c.name));
    escaped_list +=
        folder + c.escaped + '\t' + folder + c.escaped + ".box\t2\n";
    null_list += QFile::encodeName(Path(c.name)) + '\0' +
                 QFile::encodeName(Path(c.name + QStringLiteral(".box"))) +
                 '\0' + "2" + '\0';
  }
  Outcome outcome = RunLibrary(arguments);
  ASSERT_EQ(outcome.code, kExitOk) << outcome.err.constData();
  EXPECT_EQ(outcome.out.count('\n'), qsizetype(cases.size()));
  EXPECT_EQ(outcome.out, escaped_list);

  for (const char* option : {"-z", "--null"}) {
    outcome = RunLibrary(
        QStringList{QStringLiteral("-f"), QLatin1String(option)} + arguments);
    ASSERT_EQ(outcome.code, kExitOk) << outcome.err.constData();
    EXPECT_EQ(outcome.out, null_list) << option;
  }
}

// ---------------------------------------------------- failing mid-run

TEST_F(CliTest, AFailedWriteLeavesNoPartialOutputAndKeepsEarlierOnes) {
  Write(QStringLiteral("d1/first"), kMbox);
  Write(QStringLiteral("d2/second"), kMbox);
  Write(QStringLiteral("d2/second.box"), "older output\r\n");
  Write(QStringLiteral("d1/third"), kMbox);
  // Real files, except that writing second.box fails after a few bytes,
  // so that a partial output exists under the temporary name.
  testing::FailingOutputLayer files(QStringLiteral("second.box"));
  files.capacity = 20;
  const Outcome outcome = RunLibrary(
      {QStringLiteral("--to-box"), QStringLiteral("--force"),
       Path(QStringLiteral("d1/first")), Path(QStringLiteral("d2/second")),
       Path(QStringLiteral("d1/third"))},
      false, files);
  EXPECT_EQ(outcome.code, kExitFailure);
  // The finished mailbox is reported; the failing one is named with its
  // number in the whole command, its path and the system's reason.
  EXPECT_EQ(outcome.out, ResultLine(QStringLiteral("d1/first"),
                                    QStringLiteral("d1/first.box"), 2));
  EXPECT_TRUE(outcome.err.startsWith("quillet-convert: mailbox 2 (second)"))
      << outcome.err.constData();
  EXPECT_TRUE(outcome.err.contains(QFile::encodeName(Path("d2/second.box"))));
  EXPECT_TRUE(outcome.err.contains(ErrorText(files.failure).toUtf8()));
  EXPECT_EQ(Read(QStringLiteral("d1/first.box")), kBox);
  EXPECT_EQ(Read(QStringLiteral("d2/second.box")), "older output\r\n");
  EXPECT_EQ(
      Entries(QStringLiteral("d2")),
      (QStringList{QStringLiteral("second"), QStringLiteral("second.box")}));
  EXPECT_EQ(Entries(QStringLiteral("d1")),
            (QStringList{QStringLiteral("first"), QStringLiteral("first.box"),
                         QStringLiteral("third")}));
}

// ------------------------------------------------------------- progress

TEST(TerminalProgressTest, DrawsMailboxMessagesAndBarAtMostTenTimesASecond) {
  QBuffer terminal;
  terminal.open(QIODevice::WriteOnly);
  qint64 now = 1000;
  TerminalProgress progress(terminal, 2, [&now] { return now; });

  progress.SetProgressMax(1000);  // first mailbox: drawn at once
  EXPECT_EQ(terminal.data(), "\r\x1b[Kmailbox 1 of 2  0 messages  [" +
                                 QByteArray(30, '.') + "]    0%");
  for (int i = 1; i <= 50; ++i) {  // 50 separators within 99 ms
    progress.SetProgressValue(i * 10);
    progress.SetStatusText(QStringLiteral("ignored"));
    now = 1000 + i * 99 / 50;
    progress.Repaint();
  }
  EXPECT_EQ(terminal.data().count('\r'), 1);
  now = 1100;
  progress.SetProgressValue(510);
  progress.Repaint();
  EXPECT_EQ(terminal.data().count('\r'), 2);
  EXPECT_TRUE(terminal.data().endsWith(
      "\r\x1b[Kmailbox 1 of 2  51 messages  [" + QByteArray(15, '#') +
      QByteArray(15, '.') + "]   51%"));

  // The count may pass the size; the bar stops at full. A new mailbox
  // starts counting messages again.
  progress.SetProgressValue(1200);
  EXPECT_TRUE(progress.Line().endsWith("[" + QByteArray(30, '#') + "]  100%"));
  progress.SetProgressMax(0);
  EXPECT_TRUE(progress.Line().startsWith("mailbox 2 of 2  0 messages"));
  EXPECT_TRUE(progress.Line().endsWith("100%"));

  progress.Finish();
  EXPECT_TRUE(terminal.data().endsWith("\r\x1b[K"));
  const qint64 size = terminal.data().size();
  progress.Finish();  // nothing drawn since: nothing to erase
  EXPECT_EQ(terminal.data().size(), size);
}

TEST(TerminalProgressTest, ADumbTerminalGetsBlanksInsteadOfControlSequences) {
  using Clearing = TerminalProgress::Clearing;
  EXPECT_EQ(TerminalProgress::ClearingFor("dumb"), Clearing::kBlanks);
  EXPECT_EQ(TerminalProgress::ClearingFor(""), Clearing::kBlanks);
  EXPECT_EQ(TerminalProgress::ClearingFor("xterm-256color"),
            Clearing::kEraseSequence);

  QBuffer terminal;
  terminal.open(QIODevice::WriteOnly);
  qint64 now = 0;
  TerminalProgress progress(
      terminal, 1, [&now] { return now; }, Clearing::kBlanks);
  progress.SetProgressMax(100);
  const QByteArray first = progress.Line();  // "... 0 messages ..."
  EXPECT_EQ(terminal.data(), "\r" + first);
  progress.SetProgressValue(10);
  now = 100;
  progress.Repaint();
  const QByteArray second = progress.Line();  // "... 1 message ...": shorter
  ASSERT_EQ(second.size(), first.size() - 1);
  EXPECT_EQ(terminal.data(), "\r" + first + "\r" + second + " ");
  progress.Finish();
  EXPECT_TRUE(
      terminal.data().endsWith("\r" + QByteArray(second.size(), ' ') + "\r"));
  EXPECT_FALSE(terminal.data().contains('\x1b'));
}

TEST_F(CliTest, ProgressOnlyOnATerminalAndNeverWithQuiet) {
  Write(QStringLiteral("a"), kMbox);
  // Forced: each run replaces the output of the one before.
  const QStringList arguments = {QStringLiteral("--to-box"),
                                 QStringLiteral("--force"),
                                 Path(QStringLiteral("a"))};
  const QByteArray term = qgetenv("TERM");
  qputenv("TERM", "xterm");
  const Outcome shown = RunLibrary(arguments, true);
  qputenv("TERM", "dumb");
  const Outcome dumb = RunLibrary(arguments, true);
  term.isNull() ? qunsetenv("TERM") : qputenv("TERM", term);
  EXPECT_EQ(shown.code, kExitOk);
  EXPECT_TRUE(shown.err.contains("mailbox 1 of 1")) << shown.err.constData();
  EXPECT_TRUE(shown.err.endsWith("\r\x1b[K"));  // line erased before results
  EXPECT_FALSE(shown.out.isEmpty());
  EXPECT_TRUE(dumb.err.contains("mailbox 1 of 1")) << dumb.err.constData();
  EXPECT_FALSE(dumb.err.contains('\x1b')) << dumb.err.constData();

  EXPECT_TRUE(
      RunLibrary(QStringList{QStringLiteral("--quiet")} + arguments, true)
          .err.isEmpty());
  EXPECT_TRUE(RunLibrary(arguments, false).err.isEmpty());
}

}  // namespace
}  // namespace quillet

int main(int argc, char* argv[]) {
  // The usage text is built by Qt's parser, which needs an application.
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationVersion(QStringLiteral("0.3.1"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
