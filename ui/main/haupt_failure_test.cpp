// SPDX-License-Identifier: GPL-3.0-or-later
// Qt Test tests of the main window Haupt: a run that fails or is refused
// (Command3_Click): the message, its words in each language, the status line
// and the bar.
#include "ui/main/haupt_test_fixture.h"

namespace quillet {

class HauptFailureTest : public HauptFixture {
  Q_OBJECT

 private slots:
  void runWithARemovedTargetShowsTheMessageAndStaysOpen();
  void runWithATargetThatIsAFileShowsTheMessage();
  void failureNamesHowManyWereConvertedBefore();
  void ownReasonsAreInTheWindowsLanguage_data();
  void ownReasonsAreInTheWindowsLanguage();
  void everyOwnReasonHasWordsInEveryLanguage();
  void failedRunSaysItStoppedAndKeepsTheBarWhereItStopped();
  void wrongFormatIsRefusedNamingTheOtherDirection();
  void stoppedStatusFollowsTheLanguage();
  void undecodableNamesInTheFolderAreNamed();
  void systemReasonsUsersMeetAreInEveryLanguage();
  void filesFromOutsideOfMixedKindsAreRefused();
  void barShowsWhereTheFailingMailboxStopped();
};

void HauptFailureTest::runWithARemovedTargetShowsTheMessageAndStaysOpen() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "inbox", "From x\r\nbody\r\n"));
  QVERIFY(QDir().mkpath(folder + "target"));
  Start();
  desktop_->AnswerOpen(folder + "inbox");
  Click("Command1");
  desktop_->AnswerFolder(folder + "target");
  Click("Command2");
  QVERIFY(QDir(folder + "target").removeRecursively());
  const ConversionJob before = haupt_->Job();
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 0);
  QVERIFY(haupt_->isVisible());
  QVERIFY(!haupt_->IsUnloaded());
  QCOMPARE(desktop_->Messages().size(), 1);
  const QString text = desktop_->Messages()[0].text;
  QCOMPARE(desktop_->Messages()[0].icon, MessageIcon::kCritical);
  QVERIFY2(text.contains(folder + "target/"), qPrintable(text));
  QVERIFY2(text.contains(Utf8("Grund: der Zielordner existiert nicht")),
           qPrintable(text));
  QVERIFY2(text.contains(Utf8("Davor vollständig konvertiert: 0 Mailbox(en).")),
           qPrintable(text));
  QCOMPARE(haupt_->Job().MailboxFiles, before.MailboxFiles);
  QCOMPARE(haupt_->Job().TargetFolder, before.TargetFolder);
  QVERIFY(Button("Command3")->isEnabled());
  QVERIFY(!QFile::exists(folder + "target/inbox.box"));
  // Mended, "Go!" again: the run goes through and the program ends.
  QVERIFY(QDir().mkpath(folder + "target"));
  Click("Command3");
  QCOMPARE(unloaded.count(), 1);
  QCOMPARE(ReadFile(folder + "target/inbox.box"),
           kBoxSeparatorLine + "body\r\n");
  QCOMPARE(desktop_->Messages().size(), 2);
  QCOMPARE(desktop_->Messages()[1].icon, MessageIcon::kInformation);
}

void HauptFailureTest::runWithATargetThatIsAFileShowsTheMessage() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "inbox", "From x\r\nbody\r\n"));
  QVERIFY(WriteFile(folder + "plainfile", "not a folder"));
  Start();
  Action("f")->trigger();
  desktop_->AnswerOpen(folder + "inbox");
  Click("Command1");
  desktop_->AnswerFolder(folder + "plainfile");
  Click("Command2");
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 0);
  QCOMPARE(desktop_->Messages().size(), 1);
  const QString text = desktop_->Messages()[0].text;
  QVERIFY2(text.contains(Utf8("La conversion a été interrompue.")),
           qPrintable(text));
  QVERIFY2(text.contains(folder + "plainfile/"), qPrintable(text));
  QVERIFY(haupt_->isVisible());
}

void HauptFailureTest::failureNamesHowManyWereConvertedBefore() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "one", "From a\r\nx\r\n"));
  QVERIFY(WriteFile(folder + "two", "From b\r\ny\r\n"));
  QVERIFY(WriteFile(folder + "three", "From c\r\nz\r\n"));
  testing::FailingOutputLayer files =
      LayerFailingToOpen(QStringLiteral("two.box"));
  haupt_ = std::make_unique<Haupt>(*desktop_, &files);
  Start();
  Action("e")->trigger();
  desktop_->AnswerOpenFiles({folder + "one", folder + "two", folder + "three"});
  Click("Command1");
  Click("Command3");
  QCOMPARE(desktop_->Messages().size(), 1);
  const QString text = desktop_->Messages()[0].text;
  QVERIFY2(text.contains(QStringLiteral("Mailbox 2: two")), qPrintable(text));
  QVERIFY2(text.contains(folder + "two.box"), qPrintable(text));
  QVERIFY2(text.contains(QStringLiteral("Reason: the disk is full")),
           qPrintable(text));
  QVERIFY2(text.contains(
               QStringLiteral("Converted completely before: 1 mailbox(es).")),
           qPrintable(text));
  QVERIFY(QFile::exists(folder + "one.box"));
  QVERIFY(!QFile::exists(folder + "two.box"));
  QVERIFY(!QFile::exists(folder + "three.box"));
  QVERIFY(haupt_->isVisible());
}

void HauptFailureTest::ownReasonsAreInTheWindowsLanguage_data() {
  QTest::addColumn<QString>("command");
  QTest::addColumn<QString>("reason");
  QTest::addColumn<QString>("system_reason");
  QTest::newRow("German") << "d"
                          << Utf8("Grund: der Zielordner existiert nicht")
                          << Utf8(
                                 "Grund: auf dem Datenträger ist kein Platz "
                                 "mehr");
  QTest::newRow("French")
      << "f" << Utf8("Raison : le dossier de destination n'existe pas")
      << Utf8("Raison : le disque est plein");
  QTest::newRow("English") << "e"
                           << Utf8("Reason: the target folder does not exist")
                           << Utf8("Reason: the disk is full");
}

void HauptFailureTest::ownReasonsAreInTheWindowsLanguage() {
  QFETCH(QString, command);
  QFETCH(QString, reason);
  QFETCH(QString, system_reason);
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "inbox", "From x\r\nbody\r\n"));
  testing::FailingOutputLayer files =
      LayerFailingToOpen(QStringLiteral("inbox.box"));
  haupt_ = std::make_unique<Haupt>(*desktop_, &files);
  Start();
  Action(qPrintable(command))->trigger();
  desktop_->AnswerOpen(folder + "inbox");
  Click("Command1");
  // The program's own reason: the target folder is gone.
  desktop_->AnswerFolder(folder + "gone");
  Click("Command2");
  Click("Command3");
  // The system's reason, one users meet: in the window's words too.
  desktop_->AnswerFolder(dir.path());
  Click("Command2");
  Click("Command3");
  QCOMPARE(desktop_->Messages().size(), 2);
  const QString own = desktop_->Messages()[0].text;
  QVERIFY2(own.contains(reason), qPrintable(own));
  if (command != QLatin1String("e")) {
    QVERIFY2(!own.contains(QLatin1String("does not exist")), qPrintable(own));
  }
  const QString system = desktop_->Messages()[1].text;
  QVERIFY2(system.contains(system_reason), qPrintable(system));
}

void HauptFailureTest::everyOwnReasonHasWordsInEveryLanguage() {
  for (int code = 0; code < static_cast<int>(FailureReason::kCount); ++code) {
    const auto reason = static_cast<FailureReason>(code);
    for (Language language :
         {Language::kGerman, Language::kEnglish, Language::kFrench}) {
      const QString words = OwnReasonWords(language, reason);
      if (reason == FailureReason::kSystem) {
        QVERIFY(words.isEmpty());
      } else {
        QVERIFY2(!words.trimmed().isEmpty(),
                 qPrintable(QStringLiteral("reason %1, language %2")
                                .arg(code)
                                .arg(static_cast<int>(language))));
      }
    }
  }
}

void HauptFailureTest::failedRunSaysItStoppedAndKeepsTheBarWhereItStopped() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "one", "From a\r\nx\r\nFrom b\r\ny\r\n"));
  QVERIFY(WriteFile(folder + "two", "From c\r\nz\r\n"));
  testing::FailingOutputLayer files =
      LayerFailingToOpen(QStringLiteral("two.box"));
  haupt_ = std::make_unique<Haupt>(*desktop_, &files);
  Start();
  desktop_->AnswerOpenFiles({folder + "one", folder + "two"});
  Click("Command1");
  Click("Command3");
  QCOMPARE(desktop_->Messages().size(), 1);
  QLabel* status = Find<QLabel>("Label1");
  QCOMPARE(status->text(),
           Utf8("Konvertierung abgebrochen bei Mailbox 2 (two)."));
  // The bar stands at the start of the second mailbox, where it stopped.
  QProgressBar* bar = Find<QProgressBar>("ProgressBar1");
  QCOMPARE(bar->maximum(), 11);
  QCOMPARE(bar->value(), 0);
  // In French, a failure of the whole job says only that the run stopped.
  Action("f")->trigger();
  desktop_->AnswerFolder(folder + "gone");
  Click("Command2");
  Click("Command3");
  QCOMPARE(status->text(), Utf8("Conversion interrompue."));
}

// A file of the other format is refused before anything is written, in
// the window's language, naming the direction that takes it.
void HauptFailureTest::wrongFormatIsRefusedNamingTheOtherDirection() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "Inbox", "From x\r\nbody\r\n"));
  QVERIFY(WriteFile(folder + "Posteingang.box", "From x\r\nbody\r\n"));
  Start();
  Click("Command4");  // .box to mbox
  desktop_->AnswerOpenFiles({folder + "Inbox", folder + "Posteingang.box"});
  Click("Command1");
  Click("Command3");
  QCOMPARE(desktop_->Messages().size(), 1);
  const QString text = desktop_->Messages()[0].text;
  QVERIFY2(text.contains(Utf8("Mailbox 1: Inbox")), qPrintable(text));
  QVERIFY2(text.contains(Utf8("Grund: die Datei ist eine mbox-Datei; wählen "
                              "Sie mbox → Rerure")),
           qPrintable(text));
  QVERIFY(desktop_->Questions().isEmpty());
  QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
  QVERIFY(haupt_->isVisible());
}

// After a failure the status line says so in the checked language, also
// after a switch of language.
void HauptFailureTest::stoppedStatusFollowsTheLanguage() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "one", "From a\r\nx\r\n"));
  QVERIFY(WriteFile(folder + "two", "From c\r\nz\r\n"));
  testing::FailingOutputLayer files =
      LayerFailingToOpen(QStringLiteral("two.box"));
  haupt_ = std::make_unique<Haupt>(*desktop_, &files);
  Start();
  desktop_->AnswerOpenFiles({folder + "one", folder + "two"});
  Click("Command1");
  Click("Command3");
  QLabel* status = Find<QLabel>("Label1");
  QCOMPARE(status->text(),
           Utf8("Konvertierung abgebrochen bei Mailbox 2 (two)."));
  Action("e")->trigger();
  QCOMPARE(status->text(), Utf8("Conversion stopped at mailbox 2 (two)."));
  Action("f")->trigger();
  QCOMPARE(status->text(),
           Utf8("Conversion interrompue à la boîte n° 2 (two)."));
}

// A mailbox whose name is not UTF-8 (GBK from a Windows archive), which
// the dialog cannot list, is named, escaped, with how to rename it, as
// soon as files of its folder are chosen.
void HauptFailureTest::undecodableNamesInTheFolderAreNamed() {
#ifdef Q_OS_WIN
  QSKIP("Windows names are UTF-16: none is undecodable");
#endif
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "Sent.box",
                    "\x10\x10\x10\x10\x10\x10\x10\x11"
                    "\x11\x11\x11\x11\x11S\r\n"));
  // "收件箱.box" in GBK.
  const QByteArray gbk =
      QFile::encodeName(folder) + "\xCA\xD5\xBC\xFE\xCF\xE4.box";
  const int fd = ::open(gbk.constData(), O_CREAT | O_WRONLY, 0600);
  if (fd < 0) QSKIP("this file system takes no name that is not UTF-8");
  ::close(fd);
  // QTemporaryDir cannot remove a name it cannot decode.
  const std::unique_ptr<const char, void (*)(const char*)> remove(
      gbk.constData(), [](const char* path) { ::unlink(path); });
  Start();
  Action("e")->trigger();
  Click("Command4");  // .box to mbox
  desktop_->AnswerOpen(folder + "Sent.box");
  Click("Command1");
  QCOMPARE(desktop_->Messages().size(), 1);
  const FakeDesktop::Message& message = desktop_->Messages()[0];
  QCOMPARE(message.icon, MessageIcon::kWarning);
  QVERIFY2(message.text.contains(
               QStringLiteral("\\xCA\\xD5\\xBC\\xFE\\xCF\\xE4.box")),
           qPrintable(message.text));
  QVERIFY2(message.text.contains(QStringLiteral("convmv -f gbk -t utf-8")),
           qPrintable(message.text));
  QVERIFY(message.text.contains(folder));
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{QStringLiteral("Sent.box")});
  // Told once: a second choice there is made knowing.
  desktop_->AnswerOpen(folder + "Sent.box");
  Click("Command1");
  QCOMPARE(desktop_->Messages().size(), 1);
  // A folder without such names says nothing.
  QTemporaryDir clean;
  QVERIFY(WriteFile(clean.path() + "/a.box", "x"));
  desktop_->AnswerOpen(clean.path() + "/a.box");
  Click("Command1");
  QCOMPARE(desktop_->Messages().size(), 1);
}

// The system's failures users meet are told in the window's language, by
// their codes; other failures of the system stand in the system's words.
void HauptFailureTest::systemReasonsUsersMeetAreInEveryLanguage() {
  // The codes of each kind the system has, and one it has for none.
#ifdef Q_OS_WIN
  const qint64 met[] = {ERROR_DISK_FULL,
                        ERROR_HANDLE_DISK_FULL,
                        ERROR_WRITE_PROTECT,
                        ERROR_ACCESS_DENIED,
                        ERROR_CRC,
                        ERROR_IO_DEVICE,
                        ERROR_FILE_NOT_FOUND,
                        ERROR_TOO_MANY_OPEN_FILES};
  const int kinds =
      6;  // no code of Windows is taken for a quota or a long name
  const qint64 none = ERROR_NOT_SAME_DEVICE;
#else
  const qint64 met[] = {ENOSPC, EDQUOT, EROFS,  EACCES, EPERM,
                        EIO,    ENOENT, EMFILE, ENFILE, ENAMETOOLONG};
  const int kinds = 8;
  const qint64 none = ENOEXEC;
#endif
  for (const Language language :
       {Language::kGerman, Language::kEnglish, Language::kFrench}) {
    QSet<QString> distinct;
    for (const qint64 code : met) {
      RunFailure failure;
      failure.error = FileError::System(code);
      const QString told = ReasonInWords(language, failure);
      QVERIFY2(told != SystemErrorText(code) && !told.isEmpty(),
               qPrintable(SystemErrorText(code)));
      distinct.insert(told);
    }
    QCOMPARE(distinct.size(), kinds);
    RunFailure other;
    other.error = FileError::System(none);
    QCOMPARE(ReasonInWords(language, other), SystemErrorText(none));
  }
}

// Folders, files of two folders, of both formats or of neither are refused
// with one message in the window's language; the job stays as it was.
void HauptFailureTest::filesFromOutsideOfMixedKindsAreRefused() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(QDir(folder).mkdir("sub"));
  QVERIFY(WriteFile(folder + "a.box", kBoxSeparatorLine + "x\r\n"));
  QVERIFY(WriteFile(folder + "Inbox", "From x\r\nbody\r\n"));
  QVERIFY(WriteFile(folder + "sub/Sent", "From x\r\nbody\r\n"));
  QVERIFY(WriteFile(folder + "notes.txt", "just text\r\n"));
  Start();
  Action("e")->trigger();
  const struct {
    QStringList paths;
    const char* says;
  } cases[] = {
      {{folder + "Inbox", folder + "a.box"}, "mbox and Foxmail .box files"},
      {{folder + "Inbox", folder + "sub/Sent"}, "different folders"},
      {{folder + "sub"}, "is a folder"},
      {{folder + "notes.txt"}, "is no mailbox"},
      {{folder + "missing"}, "does not exist"},
  };
  for (const auto& c : cases) {
    haupt_->TakeFiles(c.paths);
    QVERIFY(!desktop_->Messages().isEmpty());
    QVERIFY2(desktop_->Messages().back().text.contains(QLatin1String(c.says)),
             qPrintable(desktop_->Messages().back().text));
    QVERIFY(haupt_->Job().MailboxFiles.isEmpty());
    QVERIFY(haupt_->Job().MboxToBox);
  }
  QCOMPARE(desktop_->Messages().size(), 5);
}

// Outputs are confirmed in groups, so the mailbox that fails may be one
// read before the last: the bar shows that one, as far as its reading got,
// or empty when its output was discarded after reading or before it.
void HauptFailureTest::barShowsWhereTheFailingMailboxStopped() {
  QWidget window;
  QProgressBar bar(&window);
  QLabel label(&window);
  ProgressBinding binding(bar, label, ProgressText{});
  binding.SetProgressMax(1000);
  binding.SetProgressValue(400);
  binding.SetProgressValue(1000);
  binding.SetProgressMax(50);
  binding.SetProgressValue(50);
  const struct {
    RunStep step;
    int mailbox;
    int maximum;
    int value;
  } cases[] = {
      {RunStep::kSync, 1, 1000, 0},     // read whole, output discarded
      {RunStep::kRead, 1, 1000, 1000},  // as far as its reading got
      {RunStep::kWrite, 2, 50, 50},
      {RunStep::kOpenSource, 3, 50, 0},  // failed before its size came
      {RunStep::kCheck, 0, 50, 0},
  };
  for (const auto& c : cases) {
    RunFailure failure;
    failure.step = c.step;
    failure.mailbox_number = c.mailbox;
    binding.ShowStop(failure);
    QCOMPARE(bar.maximum(), c.maximum);
    QCOMPARE(bar.value(), c.value);
  }
}

}  // namespace quillet

QTEST_MAIN(quillet::HauptFailureTest)
#include "haupt_failure_test.moc"
