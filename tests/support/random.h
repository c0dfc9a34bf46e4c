// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_SUPPORT_RANDOM_H_
#define QUILLET_TESTS_SUPPORT_RANDOM_H_

// The pseudo-random numbers of the generated test and benchmark mailboxes.

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillet::testing {

// SplitMix64: small, fast, and the same numbers on every platform and
// standard library, so that a seed names the same bytes everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n); n > 0.
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }
  // Uniform in [low, high].
  int Between(int low, int high) {
    return low +
           static_cast<int>(Below(static_cast<std::uint64_t>(high - low + 1)));
  }
  bool OneIn(std::uint64_t n) { return Below(n) == 0; }
  bool Percent(int p) { return Below(100) < static_cast<std::uint64_t>(p); }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

}  // namespace quillet::testing

#endif  // QUILLET_TESTS_SUPPORT_RANDOM_H_
