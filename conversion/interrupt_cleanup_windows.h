// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_INTERRUPT_CLEANUP_WINDOWS_H_
#define QUILLET_CONVERSION_INTERRUPT_CLEANUP_WINDOWS_H_

// What the system's output files tell the console control handler that
// InstallInterruptCleanup() sets up on Windows: which temporary files to
// remove when Ctrl+C, Ctrl+Break or closing the console ends the process.
//
// Windows runs the handler on a thread of its own, so a mutex, not a signal
// mask, makes "create, rename or remove a temporary file and record it" one
// step for the handler: it takes the same lock, and never gives it back.

#include <QByteArray>
#include <QString>
#include <mutex>
#include <string>

namespace quillet {

// Held while a temporary output is created, renamed or removed together
// with its registration.
std::unique_lock<std::mutex> HoldInterrupts();

// Records a live temporary output (its full `\\?\` path) and the output it
// becomes (as reported). Call with HoldInterrupts() held. Returns the slot.
int RegisterTemporary(const std::wstring& temporary, const QString& output);
// Frees a slot; -1 is ignored. Call with HoldInterrupts() held.
void UnregisterTemporary(int slot);

// Records an output now complete under its name `output` (as reported),
// whether it replaced an older file, and `note`, its line of the result
// list, which the handler writes to standard output unless it was listed
// already (ListCompleted). Call with HoldInterrupts() held, in the same step
// as the move into place.
void RecordCompleted(const QString& output, bool replaced,
                     const QByteArray& note);

}  // namespace quillet

#endif  // QUILLET_CONVERSION_INTERRUPT_CLEANUP_WINDOWS_H_
