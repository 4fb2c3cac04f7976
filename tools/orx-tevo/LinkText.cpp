// orx-tevo linktest's lines.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkText.h"

#include <cstdio>

namespace orx::tevo {

namespace {

constexpr const char* kWhatToTry =
    " Try another MIDI cable or USB-MIDI interface, and plug it into a USB port of the computer itself rather "
    "than a hub.";

std::string ofAsked(int n, const LinkCounts& counts)
{
    return std::to_string(n) + " of " + std::to_string(counts.asked) + (counts.asked == 1 ? " dump" : " dumps");
}

} // namespace

int linkExitCode(const LinkCounts& counts)
{
    return counts.lost == 0 && counts.damaged == 0 ? 0 : kExitLinkFaulty;
}

std::string dumpCountLine(const LinkCounts& c)
{
    return "Dumps: " + std::to_string(c.asked) + " asked, " + std::to_string(c.whole) + " whole, " +
           std::to_string(c.damaged) + " damaged, " + std::to_string(c.lost) + " lost";
}

std::string speedLine(std::size_t wholeBytes, double seconds)
{
    if (wholeBytes == 0)
        return "Speed: no dump came back whole";
    char line[128];
    if (seconds > 0)
        std::snprintf(line, sizeof line, "Speed: %.0f bytes/s of whole dumps (%zu bytes in %.3f s)",
                      static_cast<double>(wholeBytes) / seconds, wholeBytes, seconds);
    else
        std::snprintf(line, sizeof line, "Speed: %zu bytes of whole dumps, too fast to time", wholeBytes);
    return line;
}

std::string verdictLine(const LinkCounts& c)
{
    if (linkExitCode(c) == 0)
        return "The link is sound: every dump came back whole.";
    if (c.damaged == 0)
        return "The link loses data: " + ofAsked(c.lost, c) + " never came back." + kWhatToTry;
    if (c.lost == 0)
        return "The link damages data: " + ofAsked(c.damaged, c) + " came back damaged." + kWhatToTry;
    return "The link loses and damages data: " + ofAsked(c.lost, c) + " never came back and " +
           std::to_string(c.damaged) + " came back damaged." + kWhatToTry;
}

} // namespace orx::tevo
