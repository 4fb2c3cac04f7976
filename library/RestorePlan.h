// What putting a backup on the amplifier will do, worked out before anything is sent, and what it did.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AmpBackup.h"

#include <optional>
#include <string>
#include <vector>

namespace orx {

enum class EffectSetting { IrSlot, Booster, FxLoop, Reverb, NoiseGate };
const char* settingName(EffectSetting setting); // "IR slot in use", "booster", ...

struct SettingChange {
    int channel = 0; // 0 or 1
    EffectSetting setting = EffectSetting::Booster;
    int oldValue = 0;
    int newValue = 0;
    bool operator==(const SettingChange&) const = default;
};

struct WiringChange {
    int oldSend = 0, newSend = 0;
    int oldReturn = 0, newReturn = 0;
    bool operator==(const WiringChange&) const = default;
};

struct PlannedSlot {
    int slot = 0;
    IrName name{};
    std::string nameText;
    std::uint16_t fircoe = 0;
    std::optional<Coefficients> coefficients; // always there for a slot to write
    std::string ampNameText;                  // what the amplifier's slot is called now
    bool ampHasSameNameAndGain = false;
};

struct RestorePlan {
    int backupModel = 2;
    int ampModel = 2;
    // In this order: each slot written needs its type selected, so the slots come first and the settings, the
    // slot in use among them, after.
    std::vector<PlannedSlot> slotWrites;
    std::vector<PlannedSlot> slotsUnknown; // not written: the backup lacks their coefficients
    std::vector<PlannedSlot> slotsSkipped; // not written: the amplifier has no such slot
    std::vector<SettingChange> settings;   // only what differs from the amplifier now
    std::optional<WiringChange> wiring;    // only when it differs and the amplifier can set it
    std::vector<std::string> skipped;      // what is left alone and why, in words

    bool changesAnything() const { return !slotWrites.empty() || !settings.empty() || wiring.has_value(); }
};

RestorePlan planRestore(const AmpBackup& backup, const AmpSnapshot& now);
// The lines a dialog or the command line shows before the user agrees.
std::vector<std::string> describePlan(const RestorePlan& plan);

struct ReportedSlot {
    int slot = 0;
    std::string nameText;
};

struct RestoreReport {
    std::vector<ReportedSlot> written;
    std::vector<ReportedSlot> notWritten; // planned, but the restore stopped before them
    bool settingsRestored = false;
    bool wiringRestored = false;
    bool interrupted = false;
    std::string reason; // why it stopped, when it did
};

std::vector<std::string> describeReport(const RestoreReport& report);

} // namespace orx
