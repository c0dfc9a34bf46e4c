// SPDX-License-Identifier: GPL-3.0-or-later
// What the tests of the main window share: the window on the offscreen
// platform with the fake desktop answering every dialog, found by the
// names of its controls, and the files they write and read.
#ifndef QUILLET_UI_MAIN_HAUPT_TEST_FIXTURE_H_
#define QUILLET_UI_MAIN_HAUPT_TEST_FIXTURE_H_

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <memory>

#include "conversion/file_layer.h"
#include "tests/support/failing_output_layer.h"
#include "tests/support/fake_desktop.h"
#include "ui/help/frm_splash.h"
#include "ui/main/haupt.h"
#include "ui/main/progress_binding.h"
#include "ui/text/failure_text.h"

namespace quillet {

inline const QChar kNul(u'\0');
inline const QByteArray kBoxSeparatorLine =
    QByteArray("\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S\r\n");

inline QColor ButtonFaceColour() {
  return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

inline QString Utf8(const char* text) { return QString::fromUtf8(text); }

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  return file.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
  return file.readAll();
}

// A file layer that fails to create the output of one mailbox, as a full
// disk does.
inline testing::FailingOutputLayer LayerFailingToOpen(
    const QString& failing_name) {
  testing::FailingOutputLayer files(failing_name);
  files.fail_open = true;
  return files;
}

// A fresh window and fake desktop for each test function.
class HauptFixture : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

 protected:
  template <typename T>
  T* Find(const char* name) {
    T* child = haupt_->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no control named %s", name);
    return child;
  }
  QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QAction* Action(const char* name) { return Find<QAction>(name); }
  QMenu* Menu(const char* name) { return Find<QMenu>(name); }
  QColor GoColour() {
    return Button("Command3")->palette().color(QPalette::Button);
  }
  void Click(const char* name) {
    QTest::mouseClick(Button(name), Qt::LeftButton);
  }
  void ClickAboutLabel(const char* name);
  void Start();  // load, then click the About window
  QString Picture() {
    return Button("Command4")->property("picture").toString();
  }
  QStringList MenuTexts(QMenu* menu);

  std::unique_ptr<FakeDesktop> desktop_;
  std::unique_ptr<Haupt> haupt_;
};

}  // namespace quillet

#endif  // QUILLET_UI_MAIN_HAUPT_TEST_FIXTURE_H_
