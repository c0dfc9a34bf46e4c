// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/interrupt_cleanup_posix.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>

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

// --- outputs completed so far, for the handler's account -------------------
//
// A list that only grows, each node whole before it is linked in: the
// handler follows it without locks. `g_listed` counts the nodes from the
// head whose notes the program has written to standard output itself.
struct Completed {
  char* output;
  char* note;  // null: no line for standard output
  std::size_t note_size;
  bool replaced;
  std::atomic<Completed*> next{nullptr};
};
std::atomic<Completed*> g_completed_head{nullptr};
std::atomic<Completed*> g_completed_tail{nullptr};
std::atomic<std::size_t> g_listed{0};

void WriteAllTo(int fd, const char* text, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, text, size);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    text += n;
    size -= static_cast<std::size_t>(n);
  }
}

void WriteAll(const char* text) {
  WriteAllTo(STDERR_FILENO, text, std::strlen(text));
}

char* CopyOf(const char* text, std::size_t size) {
  char* copy = new char[size + 1];
  std::memcpy(copy, text, size);
  copy[size] = '\0';
  return copy;
}

// What the run finished before the signal: the result list's lines not yet
// written go to standard output; standard error names each output that
// replaced an older file, and each one that no line on standard output
// names.
void ReportCompleted(const char* program) {
  std::size_t index = 0;
  const std::size_t listed = g_listed.load();
  for (Completed* node = g_completed_head.load(); node != nullptr;
       node = node->next.load(), ++index) {
    if (index >= listed && node->note != nullptr) {
      WriteAllTo(STDOUT_FILENO, node->note, node->note_size);
    }
  }
  for (Completed* node = g_completed_head.load(); node != nullptr;
       node = node->next.load()) {
    if (!node->replaced && node->note != nullptr) continue;
    WriteAll(program);
    WriteAll(": ");
    WriteAll(node->output);
    WriteAll(node->replaced
                 ? " was completed before the interrupt and replaced an "
                   "older file\n"
                 : " was completed before the interrupt and stays\n");
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
  for (int i = 0; i < kInterruptSlots && !any; ++i) {
    any = g_temporary[i].load() != nullptr;
  }
  if (!any) {
    WriteAll(program);
    WriteAll(": interrupted by ");
    WriteAll(SignalName(signal_number));
    WriteAll(g_completed_head.load() != nullptr
                 ? "; no output was being written at that moment\n"
                 : "; no output was being written\n");
  }
  for (int i = 0; i < kInterruptSlots; ++i) {
    const char* temporary = g_temporary[i].exchange(nullptr);
    const char* output = g_output[i].load();
    if (temporary == nullptr) continue;
    const bool unnamed = temporary[0] == '\0';
    if (!unnamed) ::unlink(temporary);
    WriteAll(program);
    WriteAll(": interrupted by ");
    WriteAll(SignalName(signal_number));
    WriteAll(" while writing ");
    WriteAll(output != nullptr ? output : temporary);
    if (unnamed) {
      WriteAll(
          "; nothing of it was saved, its unnamed temporary file is "
          "discarded by the system\n");
    } else {
      WriteAll("; nothing of it was saved, its temporary file ");
      WriteAll(temporary);
      WriteAll(" was removed\n");
    }
  }
  ReportCompleted(program);
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

void RecordCompleted(const char* output, bool replaced, const char* note,
                     std::size_t note_size) {
  auto* node = new Completed{CopyOf(output, std::strlen(output)),
                             note_size > 0 ? CopyOf(note, note_size) : nullptr,
                             note_size, replaced};
  Completed* tail = g_completed_tail.load();
  if (tail == nullptr) {
    g_completed_head.store(node);
  } else {
    tail->next.store(node);
  }
  g_completed_tail.store(node);
}

bool ListCompleted(const std::function<bool()>& write) {
  const InterruptsHeld held;
  if (!write()) return false;
  g_listed.fetch_add(1);
  return true;
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
