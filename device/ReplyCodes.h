// Reply codes: the worker says which answer it awaits, the input thread says which one arrived.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace orx::reply {

inline constexpr std::int32_t kNone = -1;
// 0 to 9: FIR header dump of that type; 10: effect data dump.
inline constexpr std::int32_t kSlotSwitch = 12;
inline constexpr std::int32_t kHeartbeat = 13;
inline constexpr std::int32_t kFirstEffectWrite = 14; // 14 to 17: effect parameters 1 to 4
inline constexpr std::int32_t kLoopSend = 18;
inline constexpr std::int32_t kLoopReturn = 19;
inline constexpr std::int32_t kGainOrSelect = 20;
inline constexpr std::int32_t kStore = 21;
inline constexpr std::int32_t kName = 22;
inline constexpr std::int32_t kReset = 23;
inline constexpr std::int32_t kFIRBlock = 24;
inline constexpr std::int32_t kUpdater = 25;

} // namespace orx::reply
