// SPDX-License-Identifier: GPL-3.0-or-later
// Qt Test tests of the main window Haupt: the run (Command3_Click): what it
// writes, the question before replacing, mailboxes from outside, and the
// progress it shows.
#include <QImage>
#include <QScreen>

#include "ui/main/haupt_test_fixture.h"

namespace quillet {

class HauptRunTest : public HauptFixture {
  Q_OBJECT

 private slots:
  void wholeRunMboxToBoxWritesTheExpectedBytesAndEnds();
  void wholeRunInEnglishEndsWithTheEnglishMessage();
  void boxToMboxRunRewritesTheSeparators();
  void replacingIsAskedFirstAndCancelWritesNothing();
  void filesFromTheCommandLineAndADropFillTheJob();
  void statusLineIsBuiltWhenShown();
  void dueRepaintsComeAndEarlyOnesDoNot();
  void closeDuringARunIsRefused();
  void repaintsAreThrottled();
  void repaintLeavesTheScreenAsTheWindowIs();
  void progressBarCopesWithEverySize();
};

void HauptRunTest::wholeRunMboxToBoxWritesTheExpectedBytesAndEnds() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString folder = dir.path() + QLatin1Char('/');
  const QByteArray first =
      "From alice@example.org Mon Jan  1 09:00:00 2024\r\n"
      "Subject: one\r\n"
      "\r\n"
      "body line\r\n"
      ">From quoted, unquoted\r\n"
      "From bob@example.org Tue Jan  2 10:00:00 2024\r\n"
      "Subject: two\r\n"
      "\r\n"
      "last line\r\n";
  const QByteArray second =
      "From carol@example.org Wed Jan  3 11:00:00 2024\r\n"
      "Subject: three\r\n";
  QVERIFY(WriteFile(folder + "first", first));
  QVERIFY(WriteFile(folder + "second.mbx", second));
  Start();
  desktop_->AnswerOpenFiles({folder + "first", folder + "second.mbx"});
  Click("Command1");
  QCOMPARE(haupt_->Job().TargetFolder, folder);
  QColor colour_at_message;
  desktop_->SetOnMessage(
      [&](const FakeDesktop::Message&) { colour_at_message = GoColour(); });
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");

  QCOMPARE(ReadFile(folder + "first.box"),
           kBoxSeparatorLine +
               "Subject: one\r\n\r\nbody line\r\n"
               "From quoted, unquoted\r\n" +
               kBoxSeparatorLine + "Subject: two\r\n\r\nlast line\r\n");
  QCOMPARE(ReadFile(folder + "second.mbx.box"),
           kBoxSeparatorLine + "Subject: three\r\n");
  QCOMPARE(desktop_->Messages().size(), 1);
  QCOMPARE(desktop_->Messages()[0].text,
           Utf8("Fertig. Öffnen Sie nun Ihr Mailprogramm."));
  QCOMPARE(desktop_->Messages()[0].icon, MessageIcon::kInformation);
  QCOMPARE(colour_at_message, ButtonFaceColour());
  QCOMPARE(unloaded.count(), 1);
  QVERIFY(haupt_->IsUnloaded());
  QVERIFY(!haupt_->isVisible());
  QCOMPARE(Find<QLabel>("Label1")->text(),
           Utf8("konvertiere Mailbox 2 Nachricht 1, bitte warten..."));
  QProgressBar* bar = Find<QProgressBar>("ProgressBar1");
  QCOMPARE(bar->maximum(), second.size());
  QCOMPARE(bar->value(), 49);  // the separator line of the second mailbox
}

void HauptRunTest::wholeRunInEnglishEndsWithTheEnglishMessage() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "in", "From x\r\nbody\r\n"));
  Start();
  Action("e")->trigger();
  desktop_->AnswerOpen(folder + "in");
  Click("Command1");
  Action("u")->trigger();  // the About window stays open during the run
  QPointer<FrmSplash> about = haupt_->LoadedSplash();
  QVERIFY(about && about->isVisible());
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QVERIFY(about.isNull());  // and goes with the main window
  QCOMPARE(desktop_->Messages().size(), 1);
  QCOMPARE(desktop_->Messages()[0].text,
           Utf8("Everything done. Open your mailclient."));
  QCOMPARE(Find<QLabel>("Label1")->text(),
           Utf8("converting mailbox 1 message 1, pleasse wait..."));
  QCOMPARE(unloaded.count(), 1);
  QCOMPARE(ReadFile(folder + "in.box"), kBoxSeparatorLine + "body\r\n");
}

void HauptRunTest::boxToMboxRunRewritesTheSeparators() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(QDir().mkpath(folder + "out"));
  QVERIFY(WriteFile(folder + "Sent.BOX",
                    kBoxSeparatorLine + "Subject: a\r\n\r\nhello\r\n" +
                        kBoxSeparatorLine + "Subject: b\r\n"));
  Start();
  Click("Command4");
  desktop_->AnswerOpen(folder + "Sent.BOX");
  Click("Command1");
  desktop_->AnswerFolder(folder + "out");
  Click("Command2");
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 1);
  const QByteArray out = ReadFile(folder + "out/Sent");
  QVERIFY2(out.startsWith("From "), out.constData());
  QCOMPARE(out.count("\nFrom "), 1);
  QVERIFY(out.contains("Subject: a"));
  QVERIFY(out.contains("hello"));
  QVERIFY(!out.contains('\x10'));
  QCOMPARE(Find<QLabel>("Label1")->text(),
           Utf8("konvertiere Mailbox 1 Nachricht 2, bitte warten..."));
}

// Outputs that would replace files: one question before anything is
// written, naming a few of them and how many more; its default, as
// Escape's, is Cancel, which leaves the files and the job as they were.
void HauptRunTest::replacingIsAskedFirstAndCancelWritesNothing() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QStringList sources;
  for (int i = 1; i <= 7; ++i) {
    const QString name = QStringLiteral("m%1").arg(i);
    QVERIFY(WriteFile(folder + name, "From x\r\nbody\r\n"));
    QVERIFY(WriteFile(folder + name + ".box", "old"));
    sources.append(folder + name);
  }
  Start();
  desktop_->AnswerOpenFiles(sources);
  Click("Command1");
  const ConversionJob job = haupt_->Job();
  Click("Command3");  // no answer given: the default, Cancel
  QCOMPARE(desktop_->Questions().size(), 1);
  const FakeDesktop::Question& question = desktop_->Questions()[0];
  QCOMPARE(question.accept, QStringLiteral("Ersetzen"));
  QCOMPARE(question.reject, QStringLiteral("Abbrechen"));
  QVERIFY2(question.text.contains(Utf8("Diese 7 Dateien gibt es schon")),
           qPrintable(question.text));
  QVERIFY(question.text.contains(folder + "m5.box"));
  QVERIFY(!question.text.contains(folder + "m6.box"));
  QVERIFY2(question.text.contains(Utf8("… und 2 weitere")),
           qPrintable(question.text));
  QVERIFY(desktop_->Messages().isEmpty());
  QCOMPARE(ReadFile(folder + "m1.box"), QByteArray("old"));
  QCOMPARE(haupt_->Job().MailboxFiles, job.MailboxFiles);
  QVERIFY(haupt_->isVisible());

  desktop_->AnswerConfirm(true);
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 1);
  QCOMPARE(ReadFile(folder + "m7.box"), kBoxSeparatorLine + "body\r\n");
}

// Mailboxes given on the command line fill the job as the dialog would, the
// direction taken from their format; a drop does the same; the run then
// converts them.
void HauptRunTest::filesFromTheCommandLineAndADropFillTheJob() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QVERIFY(WriteFile(folder + "a.box", kBoxSeparatorLine + "x\r\n"));
  QVERIFY(WriteFile(folder + "b.box", kBoxSeparatorLine + "y\r\n"));
  QVERIFY(WriteFile(folder + "Inbox", "From x\r\nbody\r\n"));
  Start();
  haupt_->TakeFiles({folder + "a.box", folder + "b.box"});
  QVERIFY(!haupt_->Job().MboxToBox);
  QCOMPARE(Picture(), QStringLiteral("picToMbox"));
  QCOMPARE(haupt_->Job().MailboxFiles, (QStringList{"a.box", "b.box"}));
  QCOMPARE(haupt_->Job().SourceFolder, folder);
  QCOMPARE(Edit("Text1")->text(), folder);
  QVERIFY(Button("Command3")->isEnabled());

  // A drop from a file manager: mbox, so the direction switches back.
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(folder + "Inbox")});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(haupt_.get(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(haupt_.get(), &drop);
  QVERIFY(haupt_->Job().MboxToBox);
  QCOMPARE(haupt_->Job().MailboxFiles, QStringList{"Inbox"});
  QCOMPARE(Edit("Text1")->text(), folder + "Inbox");
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QCOMPARE(unloaded.count(), 1);
  QCOMPARE(ReadFile(folder + "Inbox.box"), kBoxSeparatorLine + "body\r\n");
}

// The status line is built by the binding when it is shown: not for every
// separator while the run goes on, but always for the last one.
void HauptRunTest::statusLineIsBuiltWhenShown() {
  QWidget window;
  QProgressBar bar(&window);
  QLabel label(&window);
  ProgressBinding binding(bar, label, {"m ", " n ", "."});
  QVERIFY(!binding.WantsStatusText());
  QElapsedTimer timer;
  timer.start();
  binding.SetProgressMax(100);
  binding.SetProgressValue(10);
  binding.Flush();
  QCOMPARE(label.text(), QStringLiteral("m 1 n 1."));
  binding.SetProgressValue(20);
  binding.SetProgressValue(30);
  binding.SetProgressMax(100);  // repaints at once
  // Until its first separator, the last message of the mailbox before.
  QCOMPARE(label.text(), QStringLiteral("m 1 n 3."));
  binding.SetProgressValue(10);
  QTest::qWait(int(ProgressBinding::kRepaintIntervalMs) + 5);
  binding.Repaint();
  if (timer.elapsed() < ProgressBinding::kStatusIntervalMs) {
    QCOMPARE(label.text(), QStringLiteral("m 1 n 3."));  // not due yet
  }
  binding.Flush();
  QCOMPARE(label.text(), QStringLiteral("m 2 n 1."));
}

// Repaint(), called at every separator, repaints once the interval has
// passed and the reckoning has moved on enough for the clock to be read.
void HauptRunTest::dueRepaintsComeAndEarlyOnesDoNot() {
  const struct {
    qint64 advance;
    bool wait;
    bool repaints;
  } cases[] = {
      {ProgressBinding::kClockCheckBytes, true, true},
      {qint64(1) << 20, false, false},                       // not due yet
      {ProgressBinding::kClockCheckBytes - 1, true, false},  // clock not read
  };
  for (const auto& c : cases) {
    QWidget window;
    QProgressBar bar(&window);
    QLabel label(&window);
    ProgressBinding binding(bar, label, ProgressText{});
    binding.SetProgressMax(qint64(4) << 20);  // repaints at once
    binding.SetProgressValue(c.advance);
    if (c.wait) QTest::qWait(int(ProgressBinding::kRepaintIntervalMs) + 5);
    binding.Repaint();
    QCOMPARE(binding.RepaintCount(), c.repaints ? 2 : 1);
  }
}

void HauptRunTest::closeDuringARunIsRefused() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QByteArray mailbox;
  for (int i = 0; i < 2000; ++i) mailbox += "From x\r\nline\r\n";
  QVERIFY(WriteFile(folder + "in", mailbox));
  Start();
  desktop_->AnswerOpen(folder + "in");
  Click("Command1");
  bool tried = false;
  bool refused = false;
  QTimer::singleShot(0, haupt_.get(), [&] {
    tried = haupt_->IsRunning();
    refused = !haupt_->close();
  });
  QSignalSpy unloaded(haupt_.get(), &Haupt::Unloaded);
  Click("Command3");
  QVERIFY(tried);
  QVERIFY(refused);
  QCOMPARE(unloaded.count(), 1);  // by the end of the run, once
  QCOMPARE(desktop_->Messages().size(), 1);
}

void HauptRunTest::repaintsAreThrottled() {
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  QByteArray mailbox;
  const int messages = 50000;
  for (int i = 0; i < messages; ++i)
    mailbox += "From x\r\nSubject: s\r\n\r\nb\r\n";
  QVERIFY(WriteFile(folder + "in", mailbox));
  Start();
  desktop_->AnswerOpen(folder + "in");
  Click("Command1");
  QElapsedTimer timer;
  timer.start();
  Click("Command3");
  const qint64 elapsed = timer.elapsed();
  const int repaints = haupt_->LastRepaintCount();
  QVERIFY(repaints >= 1);
  QVERIFY2(
      repaints <= 2 + elapsed / ProgressBinding::kRepaintIntervalMs,
      qPrintable(
          QStringLiteral("%1 repaints in %2 ms").arg(repaints).arg(elapsed)));
  QCOMPARE(Find<QLabel>("Label1")->text(),
           QStringLiteral("konvertiere Mailbox 1 Nachricht %1, bitte warten...")
               .arg(messages));
}

// A run paints only what changed, not the whole window: what reaches the
// screen after each repaint must still be the window as it now is, the bar
// and the status line included.
void HauptRunTest::repaintLeavesTheScreenAsTheWindowIs() {
  Start();
  ProgressBinding binding(*Find<QProgressBar>("ProgressBar1"),
                          *Find<QLabel>("Label1"), {"m ", " n ", "."});
  for (const qint64 value : {0, 37, 100}) {
    binding.SetProgressMax(100);
    binding.SetProgressValue(value);
    // Both the bar's interval and the status line's have passed.
    QTest::qWait(int(ProgressBinding::kStatusIntervalMs) + 5);
    binding.Repaint();
    const QImage shown = haupt_->screen()
                             ->grabWindow(haupt_->winId())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const QImage rendered =
        haupt_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), rendered.size());
    QVERIFY2(shown == rendered,
             qPrintable(QStringLiteral("stale pixels at bar value %1, status "
                                       "line \"%2\"")
                            .arg(value)
                            .arg(Find<QLabel>("Label1")->text())));
  }
}

void HauptRunTest::progressBarCopesWithEverySize() {
  // Maximum 0: an empty bar, not the busy indicator.
  BarPosition p = ScaleProgress(0, 0);
  QCOMPARE(p.maximum, 1);
  QCOMPARE(p.value, 0);
  p = ScaleProgress(0, 7);
  QCOMPARE(p.value, p.maximum);
  // A value above the maximum: full.
  p = ScaleProgress(100, 102);
  QCOMPARE(p.maximum, 100);
  QCOMPARE(p.value, 100);
  // Over 2 GiB: scaled into int, the proportion kept.
  const qint64 big = 5LL * 1024 * 1024 * 1024;
  p = ScaleProgress(big, big / 2);
  QVERIFY(p.maximum > 0);
  QVERIFY(p.maximum <= INT_MAX);
  QVERIFY(qAbs(double(p.value) / p.maximum - 0.5) < 1e-6);
  p = ScaleProgress(big, big + 10);
  QCOMPARE(p.value, p.maximum);
  // Through the binding on the real bar.
  Start();
  ProgressBinding binding(*Find<QProgressBar>("ProgressBar1"),
                          *Find<QLabel>("Label1"), ProgressText{});
  binding.SetProgressMax(big);
  binding.SetProgressValue(big / 4);
  binding.Flush();
  QProgressBar* bar = Find<QProgressBar>("ProgressBar1");
  QVERIFY(qAbs(double(bar->value()) / bar->maximum() - 0.25) < 1e-6);
  binding.SetProgressMax(0);
  binding.Flush();
  QVERIFY(bar->maximum() > bar->minimum());
  binding.SetProgressMax(10);
  binding.SetProgressValue(12);
  binding.Flush();
  QCOMPARE(bar->value(), bar->maximum());
}

}  // namespace quillet

QTEST_MAIN(quillet::HauptRunTest)
#include "haupt_run_test.moc"
