// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUILLET_PLATFORM_FONTS_H_
#define QUILLET_PLATFORM_FONTS_H_

namespace quillet {

// The windows name their fonts as designed ("MS Sans Serif", "Arial").
// Where the platform lacks them, these substitutions put the metric-
// compatible Liberation Sans in their place. Safe to call more than once.
void InstallFontSubstitutions();

}  // namespace quillet

#endif  // QUILLET_PLATFORM_FONTS_H_
