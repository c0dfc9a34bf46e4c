// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded (LD_PRELOAD) into quillet-convert by the system-call fault
// tests: makes one call of each named system-call wrapper that the file
// layer's outputs use fail with a given errno, before the call is made.
// QUILLET_FAULT lists the calls, separated by commas, each the first call
// of its kind or, as "fdatasync@2", the Nth:
//   tmpfile    openat with O_TMPFILE (an unnamed temporary file)
//   create     openat creating a named temporary file
//   linkat, renameat, renameat2, unlinkat, fdatasync, syncfs
// QUILLET_FAULT_ERRNO gives the errno (EIO when unset). Every other call
// goes to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Whether this call of `call` is to fail; sets errno when it is.
bool Fails(const char* call) {
  const char* wanted = std::getenv("QUILLET_FAULT");
  if (wanted == nullptr) return false;
  static constexpr int kCalls = 16;
  static char names[kCalls][16];  // the calls seen so far, and their counts
  static int counts[kCalls];
  int slot = 0;
  while (slot < kCalls && names[slot][0] != '\0' &&
         std::strcmp(names[slot], call) != 0) {
    ++slot;
  }
  if (slot == kCalls) return false;
  std::snprintf(names[slot], sizeof names[slot], "%s", call);
  const int count = ++counts[slot];
  const std::size_t length = std::strlen(call);
  for (const char* at = wanted; *at != '\0';) {
    const char* end = std::strchr(at, ',');
    if (end == nullptr) end = at + std::strlen(at);
    if (static_cast<std::size_t>(end - at) >= length &&
        std::strncmp(at, call, length) == 0 &&
        (at + length == end || at[length] == '@')) {
      const int nth = at + length == end ? 1 : std::atoi(at + length + 1);
      if (count == nth) {
        const char* number = std::getenv("QUILLET_FAULT_ERRNO");
        errno = number != nullptr ? std::atoi(number) : EIO;
        return true;
      }
    }
    at = *end == ',' ? end + 1 : end;
  }
  return false;
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int openat(int dir_fd, const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list arguments;
    va_start(arguments, flags);
    mode = static_cast<mode_t>(va_arg(arguments, int));
    va_end(arguments);
  }
  if ((flags & O_TMPFILE) == O_TMPFILE && Fails("tmpfile")) return -1;
  if ((flags & O_CREAT) != 0 && std::strstr(path, ".quillet-tmp-") &&
      Fails("create")) {
    return -1;
  }
  static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
  return next(dir_fd, path, flags, mode);
}

int linkat(int from_fd, const char* from, int to_fd, const char* to,
           int flags) {
  if (Fails("linkat")) return -1;
  static const auto next =
      Next<int (*)(int, const char*, int, const char*, int)>("linkat");
  return next(from_fd, from, to_fd, to, flags);
}

int renameat(int from_fd, const char* from, int to_fd, const char* to) {
  if (Fails("renameat")) return -1;
  static const auto next =
      Next<int (*)(int, const char*, int, const char*)>("renameat");
  return next(from_fd, from, to_fd, to);
}

int renameat2(int from_fd, const char* from, int to_fd, const char* to,
              unsigned int flags) {
  if (Fails("renameat2")) return -1;
  static const auto next =
      Next<int (*)(int, const char*, int, const char*, unsigned int)>(
          "renameat2");
  return next(from_fd, from, to_fd, to, flags);
}

int unlinkat(int dir_fd, const char* path, int flags) {
  if (Fails("unlinkat")) return -1;
  static const auto next = Next<int (*)(int, const char*, int)>("unlinkat");
  return next(dir_fd, path, flags);
}

int syncfs(int fd) {
  if (Fails("syncfs")) return -1;
  static const auto next = Next<int (*)(int)>("syncfs");
  return next(fd);
}

int fdatasync(int fd) {
  if (Fails("fdatasync")) return -1;
  static const auto next = Next<int (*)(int)>("fdatasync");
  return next(fd);
}

}  // extern "C"
