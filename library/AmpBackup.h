// One file that holds everything needed to put an amplifier back as it was: its settings, the names and
// gains of its slots and, where the IR library knows them, the slots' coefficients.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IrLibrary.h"
#include "LibraryFiles.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orx {

inline constexpr const char* kBackupFormat = "orx-tevo-backup";
inline constexpr int kBackupVersion = 1;

// The amplifier as the session reports it. The slots' coefficients are not used: the amplifier cannot report them.
struct AmpSnapshot {
    int model = 2;                    // 1 or 2
    std::uint16_t firmware = 0;       // the updater value
    bool loopWiringAvailable = false; // the session's isLoopSettingsAvailable()
    EffectData effects;
    std::array<FIRRecord, kIrSlotCount> slots{};
};

struct BackupSlot {
    int slot = 0; // 0 to 9
    IrName name{};
    std::uint16_t fircoe = 0;
    std::optional<Coefficients> coefficients; // when the library knew the slot
    std::string libraryEntry;                 // the library entry they came from; empty when unknown
};

struct AmpBackup {
    int model = 2;
    std::uint16_t firmware = 0;
    EffectData effects;
    bool hasLoopWiring = false;    // whether the amplifier's wiring bytes meant anything when it was saved
    std::vector<BackupSlot> slots; // the slots the model has: 0 to 4, or 0 to 9; ascending
    std::string created;           // ISO 8601 UTC

    // Channels of a model: 1 or 2.
    int channelCount() const { return model == 2 ? 2 : 1; }
};

AmpBackup makeBackup(const AmpSnapshot& snapshot, const IrLibrary& library);

// The file's text, checksum included.
std::string backupText(const AmpBackup& backup);
// Written atomically; throws std::runtime_error with the reason.
void writeBackup(const std::filesystem::path& path, const AmpBackup& backup);

struct BackupReadResult {
    std::optional<AmpBackup> backup;
    std::string problem; // in words when there is no backup
};
BackupReadResult readBackup(const std::filesystem::path& path);
BackupReadResult parseBackup(const std::string& text);

// "I MODERN" ... "II SOLID"
std::string slotLabel(int slot);
// "-6.0 dB"
std::string gainText(std::uint16_t fircoe);

} // namespace orx
