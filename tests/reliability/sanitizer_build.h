// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_TESTS_RELIABILITY_SANITIZER_BUILD_H_
#define QUILLET_TESTS_RELIABILITY_SANITIZER_BUILD_H_

namespace quillet::reliability {

// True in a build with AddressSanitizer. There every run of the engine costs
// many times more (each mailbox maps its 1 MiB read and write buffers
// afresh), so the tests that repeat runs by the thousand do fewer of them;
// the normal build does them all.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitizerBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitizerBuild = true;
#else
inline constexpr bool kSanitizerBuild = false;
#endif
#else
inline constexpr bool kSanitizerBuild = false;
#endif

}  // namespace quillet::reliability

#endif  // QUILLET_TESTS_RELIABILITY_SANITIZER_BUILD_H_
