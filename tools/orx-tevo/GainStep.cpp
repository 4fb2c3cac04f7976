// The gain dial's steps are the speaker page's (dialGain): the command line stores only what the dial can show.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "GainStep.h"

#include "SpeakerSimulationLogic.h"

#include <cmath>
#include <cstdio>

namespace orx::tevo {

namespace {

std::string decibels(double dB)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g dB", dB);
    return text;
}

} // namespace

std::optional<double> nearestGainStep(double dB)
{
    if (!(dB >= dialGain(0) && dB <= dialGain(kMaxDialPosition)))
        return std::nullopt;
    // Positions go from the quietest up, and only a nearer step replaces the one found: a tie keeps the quieter.
    double best = dialGain(0);
    for (int position = 1; position <= kMaxDialPosition; ++position) {
        const double step = dialGain(position);
        if (std::fabs(step - dB) < std::fabs(best - dB))
            best = step;
    }
    return best;
}

std::string gainStepNote(double asked, double step)
{
    if (asked == step)
        return {};
    return "--gain " + decibels(asked) + " is not a step of the gain dial: using " + decibels(step);
}

} // namespace orx::tevo
