// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_CONVERSION_RAW_BUFFER_H_
#define QUILLET_CONVERSION_RAW_BUFFER_H_

#include <cstddef>
#include <cstring>
#include <memory>

namespace quillet {

// Bytes that are always written before they are read, so they are never
// cleared: for a run over thousands of small mailboxes, clearing each
// mailbox's buffers cost more than converting it.
class RawBuffer {
 public:
  explicit RawBuffer(std::size_t size)
      : data_(std::make_unique_for_overwrite<char[]>(size)), size_(size) {}

  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  char& operator[](std::size_t i) { return data_[i]; }

  // Grows to `size` bytes, keeping the first `keep`; the rest is unset.
  void Grow(std::size_t size, std::size_t keep) {
    if (size <= size_) return;
    auto grown = std::make_unique_for_overwrite<char[]>(size);
    if (keep > 0) std::memcpy(grown.get(), data_.get(), keep);
    data_ = std::move(grown);
    size_ = size;
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_;
};

}  // namespace quillet

#endif  // QUILLET_CONVERSION_RAW_BUFFER_H_
