// install --gain: the gain dial's step nearest to the decibels asked for.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace orx::tevo {

// The dial's step nearest to dB (halfway between two, the quieter one); nullopt outside -30 to 0 dB or for
// what is not a number.
std::optional<double> nearestGainStep(double dB);

// What install says when it uses another gain than the one asked for; empty when asked is a step.
std::string gainStepNote(double asked, double step);

} // namespace orx::tevo
