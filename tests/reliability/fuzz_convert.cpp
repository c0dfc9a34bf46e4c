// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the engine against the reference model on the fuzzer's
// bytes. The first byte picks the run: bit 0 the direction (1: to .box),
// the other bits the reads: 0 the normal read size, 1..64 that many bytes
// per read, 65..126 short reads of at most 1..62 bytes, 127 short reads
// with the normal size. The rest is the mailbox. Any difference aborts, so
// that libFuzzer keeps the input.
//
// Small read sizes are most of the choices: they put every boundary in a
// new place, and a run with the normal size maps a 1 MiB buffer, which
// under AddressSanitizer costs more than the rest of the run.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/reliability/memory_file_layer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  using quillet::reliability::DifferentialCase;
  DifferentialCase c;
  c.mbox_to_box = (data[0] & 1) != 0;
  const unsigned reads = data[0] >> 1;
  if (reads >= 1 && reads <= 64) {
    c.read_chunk = reads;
  } else if (reads > 64) {
    if (reads < 127) c.read_chunk = reads - 64;
    c.short_read_seed = reads;
  }
  c.mailboxes = {
      std::string(reinterpret_cast<const char*>(data) + 1, size - 1)};
  const std::string difference =
      quillet::reliability::CompareEngineWithModel(c);
  if (!difference.empty()) {
    std::fprintf(stderr, "engine and model differ (%s, reads %u): %s\n",
                 c.mbox_to_box ? "to .box" : "to mbox", reads,
                 difference.c_str());
    std::abort();
  }
  return 0;
}
