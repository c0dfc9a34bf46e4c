#ifndef QUILLET_TESTS_RELIABILITY_MAILBOX_GENERATOR_H_
#define QUILLET_TESTS_RELIABILITY_MAILBOX_GENERATOR_H_

#include <cstdint>
#include <string>

namespace quillet::reliability {

// Pseudo-random mailbox-shaped bytes, the same for the same seed on every
// platform: separators of both formats with and without trailing text,
// near-separators, quoted "From " lines and long ">" runs, Date fields of
// many forms (folded, commented, broken), headers and bodies with NUL and
// high bytes, CR LF, LF, CR or mixed line ends, sometimes no line end at
// the end, and now and then a line long enough to push a Date out of the
// look-ahead's reach. `box_shaped` favours .box separators over "From ".
std::string GenerateMailbox(std::uint64_t seed, bool box_shaped);

}  // namespace quillet::reliability

#endif  // QUILLET_TESTS_RELIABILITY_MAILBOX_GENERATOR_H_
