// SPDX-License-Identifier: GPL-3.0-or-later
#include "conversion/line_reader.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace quillet {

const char* FindLineBreak(const char* begin, const char* end) {
  const char* p = begin;
#if defined(__SSE2__)
  // Sixteen bytes at a time: mail lines are long enough for this to matter,
  // and the scan is the engine's inner loop.
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  while (end - p >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  for (; p < end; ++p) {
    if (*p == '\r' || *p == '\n') return p;
  }
  return end;
}

LineScan ScanLine(const char* begin, const char* stop, bool at_eof,
                  CrRule* rule) {
  LineScan scan;
  for (;;) {  // at most twice: once more after the rule is decided
    if (*rule == CrRule::kOrdinary) {
      const char* lf = FindLf(begin, stop);
      if (lf != stop) {
        const auto size = static_cast<std::size_t>(lf - begin);
        scan.found = true;
        const bool crlf = size > 0 && lf[-1] == '\r';
        scan.content = crlf ? size - 1 : size;
        scan.end_size = crlf ? 2 : 1;
        scan.end = crlf ? LineEnd::kCrLf : LineEnd::kLf;
        return scan;
      }
      scan.content = static_cast<std::size_t>(stop - begin);
      // A CR at the window's end may be the first half of a CR LF.
      if (scan.content > 0 && stop[-1] == '\r' && !at_eof) --scan.content;
      return scan;
    }
    const char* brk = FindLineBreak(begin, stop);
    scan.content = static_cast<std::size_t>(brk - begin);
    if (brk == stop) return scan;
    const bool next_known = brk + 1 < stop;
    if (*rule == CrRule::kUndecided) {
      if (*brk == '\n' || (next_known && brk[1] == '\n')) {
        *rule = CrRule::kOrdinary;
      } else if (next_known || at_eof) {
        *rule = CrRule::kEndsLine;
      } else {
        return scan;  // the byte after this first CR is not read yet
      }
      continue;
    }
    if (*brk == '\n') {
      scan.end_size = 1;
      scan.end = LineEnd::kLf;
    } else if (next_known && brk[1] == '\n') {
      scan.end_size = 2;
      scan.end = LineEnd::kCrLf;
    } else if (next_known || at_eof) {
      scan.end_size = 1;
      scan.end = LineEnd::kCr;
    } else {
      return scan;
    }
    scan.found = true;
    return scan;
  }
}

namespace {

// PlainCrLfRun() from `line`, a line start inside the run, on: one call of
// the C library's memchr per line.
std::size_t PlainCrLfRunFrom(const char* begin, const char* line,
                             const char* end, const ByteSet& excluded) {
  while (line < end) {
    if (excluded.contains(*line)) {
      return static_cast<std::size_t>(line - begin);
    }
    const char* lf = FindLf(line, end);
    if (lf == end || lf == line || lf[-1] != '\r') break;
    line = lf + 1;
  }
  return static_cast<std::size_t>(line - begin);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Whether the processor has the wide (AVX2) instructions. Asked by the
// choices made at start-up: __builtin_cpu_init() first, as the processor's
// features may not be known yet while static objects are made.
bool HasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

// PlainCrLfRun() 32 bytes at a time: every LF of a block is judged from the
// one search, where a memchr per line would start over at each line.
__attribute__((target("avx2"))) std::size_t PlainCrLfRunWide(
    const char* begin, const char* end, const ByteSet& excluded) {
  const char* line = begin;
  if (line == end || excluded.contains(*line)) return 0;
  const __m256i lf = _mm256_set1_epi8('\n');
  for (const char* p = begin; end - p >= 32; p += 32) {
    auto mask = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), lf)));
    // The LFs are judged in order, so each ends the line that `line`
    // starts: those before it in the block ended the lines before.
    while (mask != 0) {
      const char* const found = p + __builtin_ctz(mask);
      if (found == line || found[-1] != '\r') {
        return static_cast<std::size_t>(line - begin);
      }
      line = found + 1;
      if (line == end || excluded.contains(*line)) {
        return static_cast<std::size_t>(line - begin);
      }
      mask &= mask - 1;
    }
  }
  return PlainCrLfRunFrom(begin, line, end, excluded);
}
#endif

std::size_t PlainCrLfRunNarrow(const char* begin, const char* end,
                               const ByteSet& excluded) {
  return PlainCrLfRunFrom(begin, begin, end, excluded);
}

CrLfRunScan ChosenCrLfRun() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (HasAvx2()) return &PlainCrLfRunWide;
#endif
  return &PlainCrLfRunNarrow;
}

}  // namespace

const CrLfRunScan kPlainCrLfRun = ChosenCrLfRun();

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
namespace {

// CopyLinesToLf() and CopyLinesToCrLf() with 32-byte blocks. Each block is
// stored where its bytes go before it is searched for an LF: bytes past the
// line's end are overwritten by the lines after it, each stored where the
// line ends written before it leave it (one byte further back for each CR
// dropped, one further on for each CR added).
template <bool kCrLf>
__attribute__((target("avx2"))) LfCopy CopyLinesWide(const char* line,
                                                     const char* end, char* out,
                                                     char* out_end,
                                                     const ByteSet& stops) {
  LfCopy copy{line, out};
  // A block is read only where 32 bytes are left before `end`, and stored
  // only where they fit before `out_end` with, for CR LF, the CR added.
  // Output never runs ahead of input by more than the bytes read: with LF
  // ends it never runs ahead, with CR LF ends a byte for each line, and a
  // line has at least one byte. So one bound on the input, taken once,
  // holds both.
  constexpr std::ptrdiff_t kStoreRoom = kCrLf ? 33 : 32;
  constexpr std::ptrdiff_t kOutPerIn = kCrLf ? 2 : 1;
  if (end - line < 32 || out_end - out < kStoreRoom || *line == '>') {
    return copy;
  }
  const char* const last_block =
      line +
      std::min(end - line - 32, (out_end - out - kStoreRoom) / kOutPerIn);
  const __m256i lf = _mm256_set1_epi8('\n');
  const char* p = line;
  char* o = out;
  while (p <= last_block) {
    const __m256i block =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), block);
    const auto mask = static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(block, lf)));
    if (mask == 0) {
      p += 32;
      o += 32;
      continue;
    }
    const unsigned at = static_cast<unsigned>(__builtin_ctz(mask));
    const char* const found = p + at;
    const bool crlf = found != line && found[-1] == '\r';
    if constexpr (kCrLf) {
      // A line that ends in CR LF is already in place, LF included.
      char* const written_end = o + at;
      if (!crlf) {
        written_end[0] = '\r';
        written_end[1] = '\n';
      }
      copy.written = written_end + (crlf ? 1 : 2);
    } else {
      char* const written_lf = o + at - (crlf ? 1 : 0);
      *written_lf = '\n';
      copy.written = written_lf + 1;
    }
    copy.lf_lines += crlf ? 0 : 1;
    copy.last_crlf = crlf;
    line = found + 1;
    copy.next = line;
    if (line == end || *line == '>' || stops.contains(*line)) break;
    p = line;
    o = copy.written;
  }
  return copy;
}

LineCopy WideIfAvailable(LineCopy wide) { return HasAvx2() ? wide : nullptr; }

}  // namespace

const LineCopy kWideCopyToLf = WideIfAvailable(&CopyLinesWide<false>);
const LineCopy kWideCopyToCrLf = WideIfAvailable(&CopyLinesWide<true>);
#else
const LineCopy kWideCopyToLf = nullptr;
const LineCopy kWideCopyToCrLf = nullptr;
#endif

LineReader::LineReader(InputFile& file, std::size_t read_chunk, qint64 offset,
                       CrRule rule)
    : file_(file),
      read_chunk_(std::max<std::size_t>(read_chunk, 1)),
      buffer_(read_chunk_ + 64),
      base_(offset),
      rule_(rule) {}

std::size_t LineReader::Ensure(std::size_t n) {
  while (available() < n && !eof_ && !failed_) {
    if (buffer_.size() - end_ < read_chunk_) {
      // Move the unread bytes to the front, and grow only when a look at
      // more than the buffer holds asks for it.
      std::memmove(buffer_.data(), data(), available());
      end_ -= pos_;
      base_ += static_cast<qint64>(pos_);
      pos_ = 0;
      const std::size_t wanted = std::max(n, available()) + read_chunk_;
      buffer_.Grow(wanted, end_);
    }
    const qint64 got =
        file_.Read(buffer_.data() + end_, static_cast<qint64>(read_chunk_));
    if (got < 0) {
      failed_ = true;
      error_ = file_.Error();
    } else if (got == 0) {
      eof_ = true;
    } else {
      end_ += static_cast<std::size_t>(got);
    }
  }
  return available();
}

bool LineReader::ReadMailboxLine() {
  std::string_view rest;
  while (in_line_ && NextPiece(&rest)) {
  }
  if (failed_ || Ensure(1) == 0) return false;
  in_line_ = true;
  line_length_ = 0;
  line_end_ = LineEnd::kNone;
  return true;
}

std::string_view LineReader::Head(std::size_t n) {
  if (!in_line_) return {};
  if (available() <= n) {
    // A line end in view settles the line's head as a longer window would:
    // more is read only when it is not.
    const LineScan scan = ScanLine(data(), data() + available(), eof_, &rule_);
    if (scan.found) return {data(), scan.content};
  }
  // One byte more than asked, so that a CR at the n-th byte can be judged.
  Ensure(n + 1);
  const std::size_t window = std::min(n + 1, available());
  const LineScan scan =
      ScanLine(data(), data() + window, eof_ && window == available(), &rule_);
  return {data(), std::min(scan.content, n)};
}

void LineReader::Skip(std::size_t n) {
  pos_ += n;
  line_length_ += static_cast<qint64>(n);
}

bool LineReader::NextPiece(std::string_view* piece) {
  if (!in_line_) return false;
  for (;;) {
    if (failed_ || (available() == 0 && Ensure(1) == 0)) {
      in_line_ = false;  // the file (or a failed read) ends the line
      line_end_ = LineEnd::kNone;
      return false;
    }
    const LineScan scan = ScanLine(data(), data() + available(), eof_, &rule_);
    if (scan.content > 0) {
      *piece = {data(), scan.content};
      Skip(scan.content);
      return true;
    }
    if (scan.found) {
      pos_ += scan.end_size;
      in_line_ = false;
      line_end_ = scan.end;
      return false;
    }
    // Only a CR is left whose meaning the next byte decides.
    Ensure(available() + 1);
  }
}

std::string_view LineReader::LookAhead(std::size_t n) {
  Ensure(n);
  return {data(), std::min(n, available())};
}

}  // namespace quillet
