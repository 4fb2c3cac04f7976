// What a restore will change and skip, and what it did, in the words the dialog and the command line show.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "RestorePlan.h"

#include <algorithm>

namespace orx {

namespace {

constexpr const char* kTypeNames[kSlotsPerChannel] = {"MODERN", "LEAD", "CRUNCH", "CLEAN", "SOLID"};

const char* channelName(int channel)
{
    return channel == 0 ? "I" : "II";
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string valueText(EffectSetting setting, int value)
{
    switch (setting) {
    case EffectSetting::IrSlot:
        return value >= 0 && value < static_cast<int>(kSlotsPerChannel) ? kTypeNames[value] : std::to_string(value);
    case EffectSetting::FxLoop:
        return value != 0 ? "on" : "off";
    case EffectSetting::Booster: {
        // The foot switches' own labels, so the line reads like the page.
        constexpr const char* kBoosters[] = {"White", "Green", "Amber"};
        return value >= 0 && value < 3 ? kBoosters[value] : std::to_string(value);
    }
    case EffectSetting::Reverb: {
        constexpr const char* kReverbs[] = {"Spring", "Plate", "Room", "Hall"};
        return value >= 0 && value < 4 ? kReverbs[value] : std::to_string(value);
    }
    default:
        return std::to_string(value);
    }
}

std::string slotWithName(const PlannedSlot& s)
{
    return slotLabel(s.slot) + " " + quoted(s.nameText);
}

} // namespace

const char* settingName(EffectSetting setting)
{
    switch (setting) {
    case EffectSetting::IrSlot:
        return "IR slot in use";
    case EffectSetting::Booster:
        return "booster";
    case EffectSetting::FxLoop:
        return "FX loop";
    case EffectSetting::Reverb:
        return "reverb";
    case EffectSetting::NoiseGate:
        return "noise gate";
    }
    return "";
}

RestorePlan planRestore(const AmpBackup& backup, const AmpSnapshot& now)
{
    RestorePlan plan;
    plan.backupModel = backup.model;
    plan.ampModel = now.model;
    const int ampChannels = now.model == 2 ? 2 : 1;
    const int channels = std::min(backup.channelCount(), ampChannels);

    for (const BackupSlot& s : backup.slots) {
        PlannedSlot p;
        p.slot = s.slot;
        p.name = s.name;
        p.nameText = files::nameText(s.name);
        p.fircoe = s.fircoe;
        p.coefficients = s.coefficients;
        if (s.slot / static_cast<int>(kSlotsPerChannel) >= channels) {
            plan.slotsSkipped.push_back(std::move(p));
            continue;
        }
        const FIRRecord& amp = now.slots[static_cast<std::size_t>(s.slot)];
        p.ampNameText = files::nameText(amp.irName);
        p.ampHasSameNameAndGain = files::sameReportedName(s.name, amp.irName) && amp.FIRCOE == s.fircoe;
        (p.coefficients ? plan.slotWrites : plan.slotsUnknown).push_back(std::move(p));
    }

    const auto& was = now.effects.bytes;
    const auto& want = backup.effects.bytes;
    for (int ch = 0; ch < channels; ++ch) {
        const std::size_t slotByte = ch == 0 ? EffectData::kSlotChannel1 : EffectData::kSlotChannel2;
        const std::size_t first = ch == 0 ? EffectData::kFirstParamChannel1 : EffectData::kFirstParamChannel2;
        const std::pair<EffectSetting, std::size_t> positions[] = {{EffectSetting::Booster, first},
                                                                   {EffectSetting::FxLoop, first + 1},
                                                                   {EffectSetting::Reverb, first + 2},
                                                                   {EffectSetting::NoiseGate, first + 3},
                                                                   {EffectSetting::IrSlot, slotByte}};
        for (const auto& [setting, at] : positions)
            if (was[at] != want[at])
                plan.settings.push_back({ch, setting, was[at], want[at]});
    }

    if (backup.model == 1 && now.model == 2)
        plan.skipped.push_back("The backup is from a model 1 amplifier, which has amp channel I only: channel II's "
                               "settings and slots II MODERN to II SOLID are left as they are.");
    if (backup.model == 2 && now.model == 1) {
        std::string line = "The backup is from a model 2 amplifier, and this model 1 amplifier has amp channel I "
                           "only: channel II's settings and slots 5 to 9 are skipped";
        for (std::size_t i = 0; i < plan.slotsSkipped.size(); ++i)
            line += (i == 0 ? ": " : ", ") + slotWithName(plan.slotsSkipped[i]);
        plan.skipped.push_back(line + ".");
    }

    const int send = want[EffectData::kLoopSend], ret = want[EffectData::kLoopReturn];
    if (backup.hasLoopWiring && !now.loopWiringAvailable) {
        plan.skipped.push_back("The FX loop wiring (send " + std::to_string(send) + ", return " + std::to_string(ret) +
                               ") is left alone: this amplifier cannot set it.");
    } else if (backup.hasLoopWiring) {
        const WiringChange change{was[EffectData::kLoopSend], send, was[EffectData::kLoopReturn], ret};
        if (change.oldSend != change.newSend || change.oldReturn != change.newReturn)
            plan.wiring = change;
    }
    return plan;
}

std::vector<std::string> describePlan(const RestorePlan& plan)
{
    std::vector<std::string> lines;
    lines.push_back("Restore a model " + std::to_string(plan.backupModel) + " backup onto this model " +
                    std::to_string(plan.ampModel) + " amplifier:");
    for (const auto& s : plan.slotWrites)
        lines.push_back("Write slot " + slotWithName(s) + ", gain " + gainText(s.fircoe) +
                        (s.ampHasSameNameAndGain ? " (the slot has this name and gain now)"
                                                 : " (now " + quoted(s.ampNameText) + ")") +
                        ".");
    // A slot that already has the backup's name and gain is most likely as it was: one line for all of them, so
    // the slots that will really differ stand out.
    std::string likelySame;
    for (const auto& s : plan.slotsUnknown) {
        if (s.ampHasSameNameAndGain)
            likelySame += (likelySame.empty() ? "" : ", ") + slotWithName(s);
        else
            lines.push_back("Cannot write slot " + slotWithName(s) +
                            ": the backup does not hold its coefficients (the IR library did not know them); the "
                            "slot stays " +
                            quoted(s.ampNameText) + ".");
    }
    if (!likelySame.empty())
        lines.push_back("Left as they are, likely as they were (the backup does not hold their coefficients, but "
                        "the amplifier has their name and gain): " +
                        likelySame + ".");
    for (const auto& c : plan.settings)
        lines.push_back("Channel " + std::string(channelName(c.channel)) + " " + settingName(c.setting) + ": " +
                        valueText(c.setting, c.oldValue) + " to " + valueText(c.setting, c.newValue) + ".");
    if (plan.wiring)
        lines.push_back("FX loop wiring: send " + std::to_string(plan.wiring->oldSend) + " to " +
                        std::to_string(plan.wiring->newSend) + ", return " + std::to_string(plan.wiring->oldReturn) +
                        " to " + std::to_string(plan.wiring->newReturn) + ".");
    lines.insert(lines.end(), plan.skipped.begin(), plan.skipped.end());
    if (!plan.changesAnything())
        lines.push_back("Nothing to write: the amplifier's settings already are the backup's.");
    return lines;
}

std::vector<std::string> describeReport(const RestoreReport& report)
{
    std::vector<std::string> lines;
    auto slotText = [](const ReportedSlot& s) { return slotLabel(s.slot) + " " + quoted(s.nameText); };
    if (report.interrupted)
        lines.push_back("The restore stopped" +
                        (report.reason.empty() ? std::string(".") : ": " + report.reason + "."));
    else
        lines.push_back("The restore is complete.");
    for (const auto& s : report.written)
        lines.push_back("Written: slot " + slotText(s) + ".");
    for (const auto& s : report.notWritten)
        lines.push_back("Not written: slot " + slotText(s) + " (the restore stopped before it).");
    if (report.interrupted || report.settingsRestored)
        lines.push_back(report.settingsRestored ? "The effect settings are restored."
                                                : "The effect settings are not restored.");
    if (report.wiringRestored)
        lines.push_back("The FX loop wiring is restored.");
    return lines;
}

} // namespace orx
