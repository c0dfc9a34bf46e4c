// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl+C, Ctrl+Break and closing the console on Windows: the temporary
// outputs being written are removed, standard error says which, and the
// process ends with the exit status of an interrupted console program.
#include "conversion/interrupt_cleanup_windows.h"

#include <windows.h>

#include <functional>
#include <map>
#include <vector>

#include "conversion/file_layer.h"

namespace quillet {
namespace {

struct Temporary {
  std::wstring path;
  QString output;
};

struct Completed {
  QString output;
  bool replaced;
  QByteArray note;  // empty: no line for standard output
};

std::mutex g_mutex;
std::map<int, Temporary> g_temporaries;
std::vector<Completed> g_completed;  // in the order of completion
std::size_t g_listed = 0;            // written to standard output already
int g_next_slot = 0;
const char* g_program = "quillet";

constexpr DWORD kControlCExit = 0xC000013A;  // STATUS_CONTROL_C_EXIT

const char* EventName(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
      return "the console's closing";
  }
  return "a console event";
}

// A `\\?\` path as people write it.
QByteArray Shown(const std::wstring& path) {
  QString shown = QString::fromStdWString(path);
  if (shown.startsWith(QLatin1String("\\\\?\\UNC\\"))) {
    shown.replace(0, 8, QStringLiteral("\\\\"));
  } else if (shown.startsWith(QLatin1String("\\\\?\\"))) {
    shown.remove(0, 4);
  }
  return shown.toUtf8();
}

void WriteTo(DWORD handle, const QByteArray& text) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(handle), text.constData(),
              static_cast<DWORD>(text.size()), &written, nullptr);
}

void WriteError(const QByteArray& text) { WriteTo(STD_ERROR_HANDLE, text); }

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT &&
      event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  // Taken for good: no output is renamed into place after this point, so
  // what the message says is what stays.
  g_mutex.lock();
  const QByteArray program(g_program);
  const QByteArray how(EventName(event));
  for (const auto& [slot, temporary] : g_temporaries) {
    // The writer's handle allows deletion: the name goes now, the file
    // with the process's last handle.
    ::DeleteFileW(temporary.path.c_str());
    WriteError(program + ": interrupted by " + how + " while writing " +
               temporary.output.toUtf8() +
               "; nothing of it was saved, its temporary file " +
               Shown(temporary.path) + " was removed\r\n");
  }
  if (g_temporaries.empty()) {
    WriteError(program + ": interrupted by " + how +
               (g_completed.empty()
                    ? "; no output was being written\r\n"
                    : "; no output was being written at that moment\r\n"));
  }
  // What the run finished before: the result list's lines not yet written
  // on standard output; on standard error each output that replaced an
  // older file, and each one that no line on standard output names.
  for (std::size_t i = g_listed; i < g_completed.size(); ++i) {
    if (!g_completed[i].note.isEmpty()) {
      WriteTo(STD_OUTPUT_HANDLE, g_completed[i].note);
    }
  }
  for (const Completed& done : g_completed) {
    if (!done.replaced && !done.note.isEmpty()) continue;
    WriteError(program + ": " + done.output.toUtf8() +
               (done.replaced ? " was completed before the interrupt and "
                                "replaced an older file\r\n"
                              : " was completed before the interrupt and "
                                "stays\r\n"));
  }
  ::TerminateProcess(::GetCurrentProcess(), kControlCExit);
  return TRUE;
}

}  // namespace

std::unique_lock<std::mutex> HoldInterrupts() {
  return std::unique_lock<std::mutex>(g_mutex);
}

int RegisterTemporary(const std::wstring& temporary, const QString& output) {
  const int slot = g_next_slot++;
  g_temporaries.emplace(slot, Temporary{temporary, output});
  return slot;
}

void UnregisterTemporary(int slot) {
  if (slot >= 0) g_temporaries.erase(slot);
}

void RecordCompleted(const QString& output, bool replaced,
                     const QByteArray& note) {
  g_completed.push_back({output, replaced, note});
}

bool ListCompleted(const std::function<bool()>& write) {
  const auto held = HoldInterrupts();
  if (!write()) return false;
  ++g_listed;
  return true;
}

const char* SignalNameOf(int /*signal_number*/) { return "a signal"; }

void InstallInterruptCleanup(const char* program, bool /*ignore_sigpipe*/,
                             int /*idle_fd*/) {
  g_program = program;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace quillet
