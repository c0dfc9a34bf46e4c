// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_SYSTEM_FILES_POSIX_H_
#define QUILLET_CONVERSION_SYSTEM_FILES_POSIX_H_

// The real file system's sources and outputs behind SystemFileLayer() on
// POSIX systems.

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

#include "conversion/file_layer.h"

namespace quillet {

// A source opened for reading: a regular file, under a shared lock, whose
// size and modification time are checked again at the end. Nothing, with
// `error` set, when it cannot be opened.
std::unique_ptr<InputFile> OpenSystemInput(const QByteArray& path,
                                           FileError* error);

// An output written under a temporary name in its folder and renamed over
// `path` once complete and synced. Nothing, with `error` set, when the
// temporary file cannot be created.
std::unique_ptr<OutputFile> OpenSystemOutput(const QByteArray& path,
                                             FileError* error);

// Syncs all `outputs` (from OpenSystemOutput, written into one folder) with
// one request for their whole file system, where the system confirms that
// request's success for every file on it (Linux 5.8 on, local file systems).
// True: each of them is synced. False: nothing is confirmed; each one's own
// Sync() must answer for it.
bool SyncSystemOutputsTogether(const std::vector<OutputFile*>& outputs);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_SYSTEM_FILES_POSIX_H_
