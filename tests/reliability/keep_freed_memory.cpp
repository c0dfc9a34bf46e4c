// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into the reliability tests that run the engine thousands of times.
//
// Every run allocates the engine's 1 MiB read and write buffers afresh. Left
// to its defaults, glibc's allocator hands blocks that size back to the
// system and maps them again for the next mailbox, and the page faults then
// take most of a test's time (30 s instead of 1 s for 10,000 small
// mailboxes on the test machine). Keeping freed memory in the process avoids
// that; what the tests check does not depend on it.

#include <malloc.h>

namespace {

[[maybe_unused]] const bool kKeepFreedMemory = [] {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  return true;
}();

}  // namespace
