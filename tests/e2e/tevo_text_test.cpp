// orx-tevo's words and numbers without an amplifier: the gain dial's steps for install --gain, the status
// slot table's columns, and linktest's counts, speed, verdict and exit code.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "GainStep.h"
#include "LinkText.h"
#include "StatusText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

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

// The display column (characters, not bytes) where needle starts in line.
std::size_t columnOf(const std::string& line, const std::string& needle)
{
    const std::size_t at = line.find(needle);
    EXPECT_NE(at, std::string::npos) << needle << " in " << line;
    return at == std::string::npos ? 0 : displayWidth(std::string_view(line).substr(0, at));
}

// Names of different lengths, some with characters of two and three UTF-8 bytes (Windows-1252 has both):
// padding by bytes would push the gain of those lines to the left.
TEST(StatusSlots, LabelNameAndGainStartInTheSameColumnWhateverTheName)
{
    const std::vector<SlotShown> slots = {
        {0, "Factory MODERN I", -10.0},
        {2, "K\xC3\xA4" "fig \xE2\x82\xAC 4x12", -7.5}, // "Käfig € 4x12"
        {4, "", 0.0},
        // "Crème brûlée — a long one"
        {5, "Cr\xC3\xA8me br\xC3\xBB" "l\xC3\xA9" "e \xE2\x80\x94 a long one", -30.0},
        {9, "V30", -12.0},
    };
    const std::vector<std::string> lines = slotLines(slots);
    ASSERT_EQ(lines.size(), slots.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(lines[i].rfind("Slot ", 0), 0u);
        EXPECT_EQ(columnOf(lines[i], "\""), columnOf(lines[0], "\""));
        EXPECT_EQ(columnOf(lines[i], "gain"), columnOf(lines[0], "gain"));
        EXPECT_NE(lines[i].find("\"" + slots[i].name + "\""), std::string::npos) << "the name as it is, quoted";
    }
    // The amp types line up under each other too, although II is wider than I.
    EXPECT_EQ(columnOf(lines[0], "MODERN"), columnOf(lines[3], "MODERN"));
    EXPECT_NE(lines[1].find("gain  -7.5 dB"), std::string::npos);
    EXPECT_NE(lines[2].find("gain   0.0 dB"), std::string::npos);
    EXPECT_NE(lines[3].find("gain -30.0 dB"), std::string::npos);
}

// The amplifier can report a value the window has no word for: it is shown as a number, never read past a table.
TEST(StatusSettings, AValueWithoutAWordShowsAsItsNumber)
{
    ChannelSettings odd;
    odd.ampType = -1;
    odd.booster = 3;
    odd.fxLoop = 2;
    odd.reverb = 4;
    odd.noiseGate = 127;
    EXPECT_EQ(channelLine(1, odd),
              "Channel II: amp type ? (-1), booster ? (3), FX loop ? (2), reverb ? (4), noise gate ? (127)");
    EXPECT_EQ(wiringLine(2, -1), "FX loop wiring: send ? (2), return ? (-1)");
}

// Would catch: a lost or damaged dump left out of the verdict or the exit code, the two faults mixed up, a
// verdict that names no way out, or a faulty link exiting as "no amplifier" (1) or as a usage error (2).
TEST(LinkTest, TheVerdictAndExitCodeFollowTheCounts)
{
    const struct {
        LinkCounts counts;
        const char* countLine;
        const char* verdictStart;
        int exitCode;
    } cases[] = {
        {{20, 20, 0, 0}, "Dumps: 20 asked, 20 whole, 0 damaged, 0 lost", "The link is sound", 0},
        {{20, 16, 4, 0}, "Dumps: 20 asked, 16 whole, 4 damaged, 0 lost",
         "The link damages data: 4 of 20 dumps came back damaged.", 3},
        {{20, 17, 0, 3}, "Dumps: 20 asked, 17 whole, 0 damaged, 3 lost",
         "The link loses data: 3 of 20 dumps never came back.", 3},
        {{20, 17, 1, 2}, "Dumps: 20 asked, 17 whole, 1 damaged, 2 lost",
         "The link loses and damages data: 2 of 20 dumps never came back and 1 came back damaged.", 3},
        {{1, 0, 0, 1}, "Dumps: 1 asked, 0 whole, 0 damaged, 1 lost", "The link loses data: 1 of 1 dump never came back.",
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.countLine);
        EXPECT_EQ(dumpCountLine(c.counts), c.countLine);
        const std::string verdict = verdictLine(c.counts);
        EXPECT_EQ(verdict.rfind(c.verdictStart, 0), 0u) << verdict;
        EXPECT_EQ(linkExitCode(c.counts), c.exitCode);
        if (c.exitCode != 0) {
            EXPECT_NE(verdict.find("another MIDI cable"), std::string::npos) << verdict;
        }
    }
}

// The figures worked out by hand: bytes over seconds, rounded to whole bytes.
TEST(LinkTest, SpeedIsTheWholeDumpsBytesOverTheTestsTime)
{
    EXPECT_EQ(speedLine(1280, 0.05), "Speed: 25600 bytes/s of whole dumps (1280 bytes in 0.050 s)");
    EXPECT_EQ(speedLine(36, 3.0), "Speed: 12 bytes/s of whole dumps (36 bytes in 3.000 s)");
    EXPECT_EQ(speedLine(0, 2.5), "Speed: no dump came back whole");
    EXPECT_EQ(speedLine(86, 0.0), "Speed: 86 bytes of whole dumps, too fast to time") << "never a division by zero";
}

} // namespace
} // namespace orx::tevo
