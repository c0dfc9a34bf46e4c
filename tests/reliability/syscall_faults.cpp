// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded (LD_PRELOAD) into quillet-convert by the system-call fault
// tests: makes the first call of each named system-call wrapper that the
// file layer's outputs use fail with a given errno, before the call is
// made. QUILLET_FAULT lists the calls, separated by commas:
//   tmpfile    openat with O_TMPFILE (an unnamed temporary file)
//   create     openat creating a named temporary file
//   linkat, renameat, renameat2, unlinkat, fdatasync
// QUILLET_FAULT_ERRNO gives the errno (EIO when unset). Every other call,
// and every later call of a listed one, goes to the C library.
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
  static char fired[256] = ",";  // the calls that failed already, ",a,b,"
  char token[32];
  std::snprintf(token, sizeof token, ",%s,", call);
  char listed[300];
  std::snprintf(listed, sizeof listed, ",%s,", wanted);
  if (std::strstr(listed, token) == nullptr ||
      std::strstr(fired, token) != nullptr) {
    return false;
  }
  std::strncat(fired, call, sizeof fired - std::strlen(fired) - 2);
  std::strncat(fired, ",", sizeof fired - std::strlen(fired) - 1);
  const char* number = std::getenv("QUILLET_FAULT_ERRNO");
  errno = number != nullptr ? std::atoi(number) : EIO;
  return true;
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

int fdatasync(int fd) {
  if (Fails("fdatasync")) return -1;
  static const auto next = Next<int (*)(int)>("fdatasync");
  return next(fd);
}

}  // extern "C"
