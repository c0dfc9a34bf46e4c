// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_PLATFORM_DOCUMENT_OPENER_H_
#define QUILLET_PLATFORM_DOCUMENT_OPENER_H_

#include <QList>
#include <QString>
#include <QStringList>

#include "platform/desktop.h"

namespace quillet {

// Runs the desktop's helper programs. Abstract so that tests can answer in
// their place.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Runs `program` and waits for it. Returns its exit code, or -1 when it
  // could not be started; `output` receives what it printed.
  virtual int Run(const QString& program, const QStringList& arguments,
                  QString* output) = 0;
  // Starts `program` without waiting for it. False when it cannot start.
  virtual bool StartDetached(const QString& program,
                             const QStringList& arguments,
                             const QString& working_folder) = 0;
};

// Runs real programs through QProcess.
CommandRunner& SystemCommandRunner();

// Opens documents with their associated program the freedesktop.org way:
// the document's MIME type by its name and content, its default program
// from "xdg-mime query default", and "xdg-open" to start it.
class XdgDocumentOpener {
 public:
  explicit XdgDocumentOpener(CommandRunner& runner) : runner_(runner) {}

  // kFailed when the document does not exist (nothing is started) or the
  // opener cannot start; kNoAssociation when xdg-mime names no program for
  // its type; kOpened when the opener has been started.
  OpenOutcome Open(const QString& path);

 private:
  CommandRunner& runner_;
};

// Asks the XDG desktop portal (org.freedesktop.portal.OpenURI.OpenFile with
// ask = true; xdg_portal.cpp, not built on Windows, where the shell's Open
// With dialog serves) to let the user choose a program for the document. False
// when no portal answered, so that the caller can show a chooser of its own.
bool PortalChooseProgram(const QString& path);

// A program that the desktop knows through its .desktop entry.
struct DesktopApplication {
  QString id;    // the entry's file name, e.g. "org.gnome.gedit.desktop"
  QString name;  // Name=
  QString exec;  // Exec=
  QStringList mime_types;
};

// The folders holding .desktop entries: $XDG_DATA_HOME/applications, then
// each of $XDG_DATA_DIRS + /applications (with the standard defaults).
QStringList ApplicationFolders();

// The applications in `folders` that can open a file (their Exec takes a
// file or URL), skipping hidden ones and later duplicates of an id; those
// handling `mime_type` come first, each group sorted by name.
QList<DesktopApplication> ApplicationsFor(const QString& mime_type,
                                          const QStringList& folders);

// The program and arguments of an Exec= line for one document: quoting
// honoured, %f %F %u %U become the document (the URL forms as a file://
// URL), %% becomes %, other field codes are dropped. When the line names no
// field code the document is appended.
QStringList ExpandExec(const QString& exec, const QString& path);

// The MIME type of a document, by name and content.
QString MimeTypeOf(const QString& path);

// The folder that holds the running program's executable.
QString RunningProgramFolder();

}  // namespace quillet

#endif  // QUILLET_PLATFORM_DOCUMENT_OPENER_H_
