// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/interrupt_cleanup_posix.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "conversion/file_layer.h"

namespace quillet {
namespace {

// --- temporary outputs to remove when a signal ends the process -----------
//
// Slots hold pointers to the C strings of live temporary outputs (and of the
// output each becomes). The signal handler only loads the pointers, calls
// unlink() and write(), and re-raises: all async-signal-safe. An owner
// clears its slot before it frees the strings.
constexpr int kInterruptSlots = 256;
std::atomic<const char*> g_temporary[kInterruptSlots];
std::atomic<const char*> g_output[kInterruptSlots];
std::atomic<const char*> g_program{"quillet"};
std::atomic<int> g_idle_fd{-1};

void WriteAll(const char* text) {
  std::size_t size = std::strlen(text);
  while (size > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, size);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    text += n;
    size -= static_cast<std::size_t>(n);
  }
}

const char* SignalName(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
  }
  return "a signal";
}

extern "C" void OnInterrupt(int signal_number) {
  const int saved_errno = errno;
  const char* program = g_program.load();
  const int idle_fd = g_idle_fd.load();
  if (idle_fd >= 0) {
    bool writing = false;
    for (int i = 0; i < kInterruptSlots && !writing; ++i) {
      writing = g_temporary[i].load() != nullptr;
    }
    if (!writing) {
      const char byte = static_cast<char>(signal_number);
      (void)!::write(idle_fd, &byte, 1);
      errno = saved_errno;
      return;
    }
  }
  bool any = false;
  for (int i = 0; i < kInterruptSlots; ++i) {
    const char* temporary = g_temporary[i].exchange(nullptr);
    const char* output = g_output[i].load();
    if (temporary == nullptr) continue;
    ::unlink(temporary);
    any = true;
    WriteAll(program);
    WriteAll(": interrupted by ");
    WriteAll(SignalName(signal_number));
    WriteAll(" while writing ");
    WriteAll(output != nullptr ? output : temporary);
    WriteAll("; nothing of it was saved, its temporary file ");
    WriteAll(temporary);
    WriteAll(" was removed\n");
  }
  if (!any) {
    WriteAll(program);
    WriteAll(": interrupted by ");
    WriteAll(SignalName(signal_number));
    WriteAll("; no output was being written\n");
  }
  // End by the same signal, so that the caller sees why.
  ::signal(signal_number, SIG_DFL);
  errno = saved_errno;
  ::raise(signal_number);
}

}  // namespace

int RegisterTemporary(const char* temporary, const char* output) {
  for (int i = 0; i < kInterruptSlots; ++i) {
    const char* expected = nullptr;
    if (g_output[i].compare_exchange_strong(expected, output)) {
      g_temporary[i].store(temporary);
      return i;
    }
  }
  return -1;  // all taken: such a file is still removed on every failure
}

void UnregisterTemporary(int slot) {
  if (slot < 0) return;
  g_temporary[slot].store(nullptr);
  g_output[slot].store(nullptr);
}

const char* SignalNameOf(int signal_number) {
  return SignalName(signal_number);
}

void InstallInterruptCleanup(const char* program, bool ignore_sigpipe,
                             int idle_fd) {
  g_program.store(program);
  g_idle_fd.store(idle_fd);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&action.sa_mask, signal_number);
  }
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(signal_number, &action, nullptr);
  }
  ::signal(SIGXFSZ, SIG_IGN);
  if (ignore_sigpipe) ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace quillet
