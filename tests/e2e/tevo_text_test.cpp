// orx-tevo's numbers without an amplifier: the gain dial's steps for install --gain.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "GainStep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace orx::tevo {
namespace {

// The steps worked out by hand from the dial: 1 dB from -30 to -10 dB, then 0.5 dB up to 0 dB.
TEST(InstallGain, TakesTheNearestStepOfTheDialAndRefusesWhatIsOffIt)
{
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const struct {
        double asked;
        std::optional<double> used;
    } cases[] = {
        {-7.3, -7.5},   {-7.2, -7.0},  {-12.4, -12.0}, {-10.2, -10.0}, {-0.2, 0.0},   {-29.6, -30.0},
        {-10.6, -11.0}, {-9.8, -10.0}, {-9.7, -9.5},   {-12.0, -12.0}, {-4.5, -4.5},  {-30.0, -30.0},
        {0.0, 0.0},
        // Halfway between two steps: the quieter one.
        {-12.5, -13.0}, {-0.25, -0.5},
        {-30.1, std::nullopt}, {0.1, std::nullopt}, {kNan, std::nullopt}, {kInf, std::nullopt}, {-kInf, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nearestGainStep(c.asked), c.used) << "--gain " << c.asked;
}

TEST(InstallGain, SaysWhichStepItUsesInsteadOfTheOneAsked)
{
    EXPECT_EQ(gainStepNote(-7.3, -7.5), "--gain -7.3 dB is not a step of the gain dial: using -7.5 dB");
    EXPECT_EQ(gainStepNote(-0.2, 0.0), "--gain -0.2 dB is not a step of the gain dial: using 0 dB");
    EXPECT_EQ(gainStepNote(-12.4, -12.0), "--gain -12.4 dB is not a step of the gain dial: using -12 dB");
    EXPECT_EQ(gainStepNote(-7.5, -7.5), "") << "a step is used as it is, without a word";
}

} // namespace
} // namespace orx::tevo
