// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_INTERRUPT_CLEANUP_POSIX_H_
#define QUILLET_CONVERSION_INTERRUPT_CLEANUP_POSIX_H_

// What the system's output files tell the signal handler that
// InstallInterruptCleanup() sets up: which temporary files to remove when
// SIGINT, SIGTERM or SIGHUP ends the process. POSIX only.

#include <pthread.h>
#include <signal.h>

#include <cstddef>
#include <initializer_list>

namespace quillet {

// Records a live temporary output (`temporary`) and the output it becomes;
// both strings must outlive the slot. An empty `temporary` is a file
// without a name (O_TMPFILE), which the system discards and the handler
// only reports. Returns the slot, or -1 when all are
// taken (the file is then still removed on every failure, not on a signal).
int RegisterTemporary(const char* temporary, const char* output);
// Frees a slot before its strings go; -1 is ignored.
void UnregisterTemporary(int slot);

// Records an output that is now complete under its name `output` (copied),
// whether it replaced an older file, and `note`: its line of the result
// list, which the handler writes to standard output unless it was listed
// already (ListCompleted). Call with InterruptsHeld, in the same step as the
// rename, so that no signal falls between the two.
void RecordCompleted(const char* output, bool replaced, const char* note,
                     std::size_t note_size);

// Holds SIGINT, SIGTERM and SIGHUP back for its life, so that creating,
// renaming or removing a temporary file and recording that in the registry
// happen as one step for the handler.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
      sigaddset(&held, signal_number);
    }
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace quillet

#endif  // QUILLET_CONVERSION_INTERRUPT_CLEANUP_POSIX_H_
