// SPDX-License-Identifier: GPL-3.0-or-later
// line_end_rewriter: the benchmark's reference program, the least a
// streaming converter between mbox and .box must do, written plainly in C++
// with the C library and POSIX only (no Qt). run_bench.sh divides
// quillet-convert's time by this program's on the same files.
//
//   line_end_rewriter --to-box|--to-mbox SOURCE OUTPUT
//
// --to-box:  every line ends in CR LF (an LF end gets its CR, a CR LF end
//            stays); a line beginning "From " becomes the 14-byte .box
//            separator line.
// --to-mbox: every line ends in LF (the CR of a CR LF end goes); a line
//            beginning with the .box separator becomes a fixed "From - "
//            line.
//
// It reads the source in 1 MiB blocks and finds line ends with memchr; it
// looks at no dates and quotes nothing, so it does less than the converter:
// the figure is a floor, not a rival. Its writing is as durable as
// quillet-convert's: a temporary file in the output's folder, the disk's
// write-back started every 8 MiB (sync_file_range on Linux), fdatasync,
// rename over the output's name, then fsync of the folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;
constexpr off_t kWriteBackStep = off_t{8} << 20;
constexpr std::string_view kBoxSeparator =
    "\x10\x10\x10\x10\x10\x10\x10\x11\x11\x11\x11\x11\x11S";
constexpr std::string_view kMboxSeparator = "From - Thu Jan  1 00:00:00 1970";

[[noreturn]] void Die(const char* what, const std::string& path) {
  std::fprintf(stderr, "line_end_rewriter: %s %s: %s\n", what, path.c_str(),
               std::strerror(errno));
  std::exit(1);
}

// Buffered, durable output: bytes gather in a 1 MiB buffer and go out in
// whole-buffer writes.
class Output {
 public:
  explicit Output(std::string path) : path_(std::move(path)) {
    const std::size_t slash = path_.rfind('/');
    folder_ = slash == std::string::npos ? "." : path_.substr(0, slash);
    std::string name = path_ + ".XXXXXX";
    temporary_.assign(name.begin(), name.end());
    temporary_.push_back('\0');
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0) Die("cannot create a temporary file beside", path_);
    buffer_.resize(kBlock);
  }

  void Append(const char* data, std::size_t size) {
    if (used_ + size > buffer_.size()) {
      Drain();
      if (size > buffer_.size()) {
        WriteAll(data, size);
        return;
      }
    }
    std::memcpy(buffer_.data() + used_, data, size);
    used_ += size;
  }
  void Append(std::string_view text) { Append(text.data(), text.size()); }

  // Everything synced before the rename, the folder synced after it: a
  // crash leaves either no output or a whole one under its name.
  void Commit() {
    Drain();
#ifdef __linux__
    if (written_ > started_ && written_ >= kWriteBackStep) {
      ::sync_file_range(fd_, started_, written_ - started_,
                        SYNC_FILE_RANGE_WRITE);
    }
#endif
    if (::fdatasync(fd_) != 0) Die("cannot sync", temporary_.data());
    if (::close(fd_) != 0) Die("cannot close", temporary_.data());
    if (::rename(temporary_.data(), path_.c_str()) != 0) {
      Die("cannot rename to", path_);
    }
    const int folder = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    if (folder < 0 || ::fsync(folder) != 0) Die("cannot sync", folder_);
    ::close(folder);
  }

 private:
  void Drain() {
    WriteAll(buffer_.data(), used_);
    used_ = 0;
  }
  void WriteAll(const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Die("cannot write", temporary_.data());
      data += n;
      size -= static_cast<std::size_t>(n);
      written_ += n;
    }
#ifdef __linux__
    // As quillet-convert does: the disk starts on each complete 8 MiB
    // while the rewrite goes on, so the final sync has less to wait for.
    if (written_ - started_ >= kWriteBackStep) {
      ::sync_file_range(fd_, started_, written_ - started_,
                        SYNC_FILE_RANGE_WRITE);
      started_ = written_;
    }
#endif
  }

  std::string path_;
  std::string folder_;
  std::vector<char> temporary_;
  int fd_ = -1;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  off_t written_ = 0;
  off_t started_ = 0;
};

struct Rewrite {
  bool to_box;
  Output& out;

  // One line without its LF (and with its CR, if it had one);
  // `line_start` says whether it begins a line (a piece of a line longer
  // than a block does not), `has_lf` whether its LF was found.
  void Line(const char* begin, const char* end, bool line_start, bool has_lf) {
    if (has_lf && end > begin && end[-1] == '\r') --end;
    const std::size_t size = static_cast<std::size_t>(end - begin);
    const std::string_view line(begin, size);
    if (to_box) {
      if (line_start && line.substr(0, 5) == "From ") {
        out.Append(kBoxSeparator);
      } else {
        out.Append(begin, size);
      }
      if (has_lf) out.Append("\r\n");
    } else {
      if (line_start && line.substr(0, kBoxSeparator.size()) == kBoxSeparator) {
        out.Append(kMboxSeparator);
      } else {
        out.Append(begin, size);
      }
      if (has_lf) out.Append("\n");
    }
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4 || (std::strcmp(argv[1], "--to-box") != 0 &&
                    std::strcmp(argv[1], "--to-mbox") != 0)) {
    std::fprintf(stderr,
                 "usage: line_end_rewriter --to-box|--to-mbox SOURCE "
                 "OUTPUT\n");
    return 2;
  }
  const std::string source = argv[2];
  const int in = ::open(source.c_str(), O_RDONLY);
  if (in < 0) Die("cannot open", source);
  Output out(argv[3]);
  Rewrite rewrite{std::strcmp(argv[1], "--to-box") == 0, out};

  // The buffer holds the unfinished line carried over from the block
  // before, then the new block.
  std::vector<char> buffer(2 * kBlock);
  std::size_t kept = 0;    // bytes of the unfinished line at the front
  bool line_start = true;  // the kept bytes begin a line
  for (;;) {
    ssize_t n;
    do {
      n = ::read(in, buffer.data() + kept, kBlock);
    } while (n < 0 && errno == EINTR);
    if (n < 0) Die("cannot read", source);
    const char* const end = buffer.data() + kept + n;
    if (n == 0) {
      if (kept > 0) rewrite.Line(buffer.data(), end, line_start, false);
      break;
    }
    const char* p = buffer.data();
    while (const char* lf = static_cast<const char*>(
               std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) {
      rewrite.Line(p, lf, line_start, true);
      line_start = true;
      p = lf + 1;
    }
    kept = static_cast<std::size_t>(end - p);
    if (kept > kBlock) {
      // A line longer than a block: write all of it but its last byte
      // (maybe the CR of a CR LF end) and keep reading the same line.
      rewrite.Line(p, end - 1, line_start, false);
      line_start = false;
      p = end - 1;
      kept = 1;
    }
    std::memmove(buffer.data(), p, kept);
  }
  ::close(in);
  out.Commit();
  return 0;
}
