#include "conversion/line_reader.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
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

namespace {

std::size_t PlainCrLfRunBytewise(const char* begin, const char* end,
                                 char first) {
  const char* line = begin;
  while (line < end && *line != first) {
    const char* brk = FindLineBreak(line, end);
    if (brk + 1 >= end || brk[0] != '\r' || brk[1] != '\n') break;
    line = brk + 2;
  }
  return static_cast<std::size_t>(line - begin);
}

}  // namespace

std::size_t PlainCrLfRun(const char* begin, const char* end, char first) {
  std::size_t run = 0;  // bytes up to the last whole line found good
#if defined(__SSE2__)
  // Sixteen bytes at a time, with one bit per byte: every LF must follow a
  // CR and every CR precede an LF, and no line may start with `first`.
  const __m128i cr_byte = _mm_set1_epi8('\r');
  const __m128i lf_byte = _mm_set1_epi8('\n');
  const __m128i first_byte = _mm_set1_epi8(first);
  const auto mask = [](__m128i block, __m128i byte) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, byte)));
  };
  unsigned cr_before = 0;     // 1 when the byte before the block is a CR
  unsigned line_starts = 1;   // 1 when the block's first byte starts a line
  std::size_t offset = 0;
  for (; end - begin - static_cast<std::ptrdiff_t>(offset) >= 16;
       offset += 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + offset));
    const unsigned cr = mask(block, cr_byte);
    const unsigned lf = mask(block, lf_byte);
    const unsigned starts = ((lf << 1) | line_starts) & 0xFFFFu;
    const unsigned bad = ((lf ^ ((cr << 1) | cr_before)) |
                          (starts & mask(block, first_byte))) &
                         0xFFFFu;
    // The run ends after the last LF before the first bad byte; a bad byte
    // always lies on the line after that LF.
    const unsigned good_lf = bad ? lf & ((1u << __builtin_ctz(bad)) - 1) : lf;
    if (good_lf != 0) run = offset + 32 - static_cast<unsigned>(__builtin_clz(good_lf));
    if (bad != 0) return run;
    cr_before = cr >> 15;
    line_starts = lf >> 15;
  }
#endif
  return run + PlainCrLfRunBytewise(begin + run, end, first);
}

LineReader::LineReader(InputFile& file, std::size_t read_chunk)
    : file_(file), read_chunk_(std::max<std::size_t>(read_chunk, 1)) {
  buffer_.resize(read_chunk_ + 64);
}

std::size_t LineReader::Ensure(std::size_t n) {
  while (available() < n && !eof_ && !failed_) {
    if (buffer_.size() - end_ < read_chunk_) {
      // Move the unread bytes to the front, and grow only when a look at
      // more than the buffer holds asks for it.
      std::memmove(buffer_.data(), data(), available());
      end_ -= pos_;
      pos_ = 0;
      const std::size_t wanted = std::max(n, available()) + read_chunk_;
      if (buffer_.size() < wanted) buffer_.resize(wanted);
    }
    const qint64 got = file_.Read(buffer_.data() + end_,
                                  static_cast<qint64>(read_chunk_));
    if (got < 0) {
      failed_ = true;
      error_ = file_.ErrorString();
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
  Ensure(n);
  const std::size_t take = std::min(n, available());
  const char* brk = FindLineBreak(data(), data() + take);
  return {data(), static_cast<std::size_t>(brk - data())};
}

void LineReader::Skip(std::size_t n) {
  pos_ += n;
  line_length_ += static_cast<qint64>(n);
}

bool LineReader::NextPiece(std::string_view* piece) {
  if (!in_line_) return false;
  if (available() == 0 && Ensure(1) == 0) {
    in_line_ = false;  // the file (or a failed read) ends the line
    line_end_ = LineEnd::kNone;
    return false;
  }
  const char* begin = data();
  const char* brk = FindLineBreak(begin, begin + available());
  const std::size_t length = static_cast<std::size_t>(brk - begin);
  if (length > 0) {
    *piece = {begin, length};
    Skip(length);
    return true;
  }
  in_line_ = false;
  ++pos_;
  if (*brk == '\n') {
    line_end_ = LineEnd::kLf;
  } else if (Ensure(1) > 0 && *data() == '\n') {
    ++pos_;
    line_end_ = LineEnd::kCrLf;
  } else {
    line_end_ = LineEnd::kCr;
  }
  return false;
}

std::string_view LineReader::LookAhead(std::size_t n) {
  Ensure(n);
  return {data(), std::min(n, available())};
}

}  // namespace quillet
