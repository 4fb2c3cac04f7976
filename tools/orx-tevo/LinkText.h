// What orx-tevo linktest prints and exits with, without the session: so its words can be checked alone.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace orx::tevo {

// What came back of the dumps linktest asked for.
struct LinkCounts {
    int asked = 0;
    int whole = 0;
    int damaged = 0; // a bad checksum or the wrong length
    int lost = 0;    // nothing within the wait
};

// linktest's exit code when the amplifier answered but the link lost or damaged a dump: apart from 1 (no
// amplifier, or it refused) and 2 (the command line), so a script can tell a bad cable from no amp.
inline constexpr int kExitLinkFaulty = 3;

// 0 when every dump came back whole, kExitLinkFaulty otherwise.
int linkExitCode(const LinkCounts& counts);

// "Dumps: 20 asked, 16 whole, 4 damaged, 0 lost"
std::string dumpCountLine(const LinkCounts& counts);
// "Speed: 25600 bytes/s of whole dumps (1280 bytes in 0.050 s)"; bytes of whole dumps over the test's time.
std::string speedLine(std::size_t wholeBytes, double seconds);
// One sentence: the link is sound, or what it does to the data and what to try instead.
std::string verdictLine(const LinkCounts& counts);

} // namespace orx::tevo
