// What the fuzzers share with each other and with the replay program.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace orx::fuzz {

// An invariant the code under test promised; a broken one is reported as a crash, with or without libFuzzer.
inline void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace orx::fuzz
