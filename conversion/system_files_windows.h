// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_SYSTEM_FILES_WINDOWS_H_
#define QUILLET_CONVERSION_SYSTEM_FILES_WINDOWS_H_

// The real file system's sources and outputs behind SystemFileLayer() on
// Windows. Names are UTF-16 from end to end: the engine's "/"-separated
// QString paths become `\\?\` paths, which reach any length and take every
// name as it is (no device names, no dropped trailing dots).

#include <QString>
#include <memory>
#include <string>

#include "conversion/file_layer.h"

namespace quillet {

// `path` ("C:/in/Inbox", "//server/share/in", "./in", relative to the
// working folder) as an absolute `\\?\` path with backslashes.
std::wstring LongPath(const QString& path);

// A source opened for reading that others may read but not write while it
// is open: a writer that holds it makes it "locked". Its size and last write
// time are checked again at the end. Nothing, with `error` set, when it
// cannot be opened.
std::unique_ptr<InputFile> OpenSystemInput(const QString& path,
                                           FileError* error);

// An output written under a temporary name in its folder, flushed to the
// disk (checked) and moved onto `path` once complete. Nothing, with `error`
// set, when the temporary file cannot be created.
std::unique_ptr<OutputFile> OpenSystemOutput(const QString& path,
                                             FileError* error);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_SYSTEM_FILES_WINDOWS_H_
