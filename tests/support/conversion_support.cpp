// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/conversion_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTimeZone>

namespace quillet::testing {

std::string ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "cannot read " << path.toStdString();
    return {};
  }
  return file.readAll().toStdString();
}

void WriteBytes(const QString& path, std::string_view bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(bytes.size())),
            static_cast<qint64>(bytes.size()));
}

Workspace::Workspace() {
  EXPECT_TRUE(root_.isValid());
  QDir(root_.path()).mkdir("in");
  QDir(root_.path()).mkdir("out");
  job.SourceFolder = source_folder();
  job.TargetFolder = target_folder();
}

void Workspace::AddSource(const QString& name, std::string_view bytes) {
  WriteBytes(source_folder() + name, bytes);
  job.MailboxFiles.append(name);
}

std::string Workspace::Output(const QString& name) const {
  return ReadBytes(target_folder() + name);
}

QStringList Workspace::TargetEntries() const {
  QStringList names = QDir(target_folder())
                          .entryList(QDir::AllEntries | QDir::Hidden |
                                     QDir::System | QDir::NoDotAndDotDot);
  names.sort();
  return names;
}

ProgressText GermanProgress() {
  return {QStringLiteral("konvertiere Mailbox "), QStringLiteral(" Nachricht "),
          QStringLiteral(", bitte warten...")};
}

std::string Convert(std::string_view input, bool mbox_to_box,
                    std::size_t read_chunk, RecordingReporter* reporter) {
  Workspace space;
  const QString name = mbox_to_box ? "m" : "m.box";
  space.AddSource(name, input);
  space.job.MboxToBox = mbox_to_box;
  RecordingReporter own;
  RunOptions options;
  options.read_chunk = read_chunk;
  // The line rules over any shape, mailbox or fragment.
  options.check_formats = false;
  options.started =
      QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), QTimeZone::utc());
  const RunResult result =
      RunConversion(space.job, GermanProgress(), SystemFileLayer(),
                    reporter ? *reporter : own, options);
  EXPECT_TRUE(result.ok()) << result.failure->Describe().toStdString();
  return space.Output(mbox_to_box ? "m.box" : "m");
}

std::optional<qint64> WrappedFileLayer::Size(const QString& path,
                                             FileError* error) {
  if (size_override) return size_override(path);
  return FailingOutputLayer::Size(path, error);
}

}  // namespace quillet::testing
