// What a restore plans for the same model, the other model, an amp as it is, and what its report says.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "RestorePlan.h"

#include "LibraryTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orx;
using orx::test::testCoefficients;

namespace {

AmpSnapshot ampNow(int model)
{
    AmpSnapshot s;
    s.model = model;
    s.firmware = 110;
    s.loopWiringAvailable = model == 2;
    s.effects.bytes = {0, 1, 0, 1, 2, 1, 1, 0, 3, 0, 1, 2, 3, 0, 0, 0};
    for (int i = 0; i < 10; ++i) {
        s.slots[static_cast<std::size_t>(i)].irName = files::nameFromText("Now " + std::to_string(i));
        s.slots[static_cast<std::size_t>(i)].FIRCOE = 5000;
    }
    return s;
}

// A backup of a model's amp that differs from ampNow in: channel I booster, channel II reverb and slot in use,
// the wiring's send, and every slot's name; coefficients are known for the slots listed.
AmpBackup backupOf(int model, std::initializer_list<int> known)
{
    AmpBackup b;
    b.model = model;
    b.firmware = 110;
    b.hasLoopWiring = model == 2;
    b.effects.bytes = ampNow(model).effects.bytes;
    b.effects.bytes[EffectData::kFirstParamChannel1] = 2;
    b.effects.bytes[EffectData::kLoopSend] = 3;
    b.effects.bytes[EffectData::kSlotChannel2] = 1;
    b.effects.bytes[EffectData::kFirstParamChannel2 + 2] = 3;
    for (int i = 0; i < b.channelCount() * 5; ++i) {
        BackupSlot s;
        s.slot = i;
        s.name = files::nameFromText("Saved " + std::to_string(i));
        s.fircoe = static_cast<std::uint16_t>(100 + i);
        if (std::find(known.begin(), known.end(), i) != known.end())
            s.coefficients = testCoefficients(i);
        b.slots.push_back(s);
    }
    return b;
}

std::vector<int> slotsOf(const std::vector<PlannedSlot>& slots)
{
    std::vector<int> v;
    for (const auto& s : slots)
        v.push_back(s.slot);
    return v;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& part)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

} // namespace

TEST(RestorePlan, SameModelChangesWhatDiffersAndWritesTheKnownSlots)
{
    const RestorePlan plan = planRestore(backupOf(2, {0, 1, 2, 3, 4, 5, 6, 7, 9}), ampNow(2));
    EXPECT_EQ(slotsOf(plan.slotWrites), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 9}));
    EXPECT_EQ(slotsOf(plan.slotsUnknown), std::vector<int>{8});
    EXPECT_TRUE(plan.slotsSkipped.empty());
    EXPECT_EQ(plan.slotWrites[6].coefficients, testCoefficients(6));
    const std::vector<SettingChange> expected{
        {0, EffectSetting::Booster, 1, 2}, {1, EffectSetting::Reverb, 2, 3}, {1, EffectSetting::IrSlot, 3, 1}};
    EXPECT_EQ(plan.settings, expected);
    ASSERT_TRUE(plan.wiring);
    EXPECT_EQ(*plan.wiring, (WiringChange{1, 3, 1, 1}));
    EXPECT_TRUE(plan.skipped.empty());

    const auto lines = describePlan(plan);
    EXPECT_TRUE(hasLine(lines, "Write slot II LEAD \"Saved 6\", gain")) << lines[0];
    EXPECT_TRUE(hasLine(lines, "(now \"Now 6\")"));
    EXPECT_TRUE(hasLine(lines, "Cannot write slot II CLEAN \"Saved 8\""));
    EXPECT_TRUE(hasLine(lines, "Channel I booster: Green to Amber."));
    EXPECT_TRUE(hasLine(lines, "Channel II reverb: Room to Hall."));
    EXPECT_TRUE(hasLine(lines, "Channel II IR slot in use: CLEAN to LEAD."));
    EXPECT_TRUE(hasLine(lines, "FX loop wiring: send 1 to 3, return 1 to 1."));
}

TEST(RestorePlan, ABackupOfTheAmpAsItIsChangesNoSetting)
{
    AmpSnapshot now = ampNow(2);
    AmpBackup b = backupOf(2, {});
    b.effects = now.effects;
    for (auto& s : b.slots) {
        s.name = now.slots[static_cast<std::size_t>(s.slot)].irName;
        s.fircoe = now.slots[static_cast<std::size_t>(s.slot)].FIRCOE;
    }
    const RestorePlan plan = planRestore(b, now);
    EXPECT_FALSE(plan.changesAnything());
    EXPECT_EQ(plan.slotsUnknown.size(), 10u);
    const auto lines = describePlan(plan);
    EXPECT_TRUE(hasLine(lines, "Nothing to write"));
    // One line for the ten, not ten lines.
    EXPECT_FALSE(hasLine(lines, "Cannot write slot"));
    EXPECT_TRUE(hasLine(lines, "likely as they were"));
    EXPECT_TRUE(hasLine(lines, "I MODERN \"Now 0\", I LEAD \"Now 1\""));
    EXPECT_TRUE(hasLine(lines, "II SOLID \"Now 9\"."));
}

TEST(RestorePlan, AModelOneBackupOnAModelTwoAmpLeavesChannelTwoAlone)
{
    const RestorePlan plan = planRestore(backupOf(1, {0, 1, 2, 3, 4}), ampNow(2));
    EXPECT_EQ(slotsOf(plan.slotWrites), (std::vector<int>{0, 1, 2, 3, 4}));
    for (const auto& c : plan.settings)
        EXPECT_EQ(c.channel, 0) << settingName(c.setting);
    EXPECT_EQ(plan.settings.size(), 1u) << "channel I booster only";
    EXPECT_FALSE(plan.wiring) << "a model 1 backup holds no wiring";
    EXPECT_TRUE(
        hasLine(describePlan(plan), "channel II's settings and slots II MODERN to II SOLID are left as they are"));
}

TEST(RestorePlan, AModelTwoBackupOnAModelOneAmpSkipsChannelTwoInWords)
{
    const RestorePlan plan = planRestore(backupOf(2, {0, 5, 9}), ampNow(1));
    EXPECT_EQ(slotsOf(plan.slotWrites), std::vector<int>{0});
    EXPECT_EQ(slotsOf(plan.slotsUnknown), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(slotsOf(plan.slotsSkipped), (std::vector<int>{5, 6, 7, 8, 9}));
    EXPECT_EQ(plan.settings, (std::vector<SettingChange>{{0, EffectSetting::Booster, 1, 2}}));
    EXPECT_FALSE(plan.wiring);
    const auto lines = describePlan(plan);
    EXPECT_TRUE(hasLine(lines,
                        "channel II's settings and slots 5 to 9 are skipped: II MODERN \"Saved 5\", "
                        "II LEAD \"Saved 6\", II CRUNCH \"Saved 7\", II CLEAN \"Saved 8\", II SOLID \"Saved 9\"."));
    EXPECT_TRUE(hasLine(lines, "The FX loop wiring (send 3, return 1) is left alone"));
    EXPECT_FALSE(hasLine(lines, "Write slot II"));
}

TEST(RestorePlan, TheReportSaysWhatWasAndWasNotWritten)
{
    RestoreReport report;
    report.written = {{0, "Saved 0"}, {1, "Saved 1"}};
    report.notWritten = {{7, "Saved 7"}};
    report.interrupted = true;
    report.reason = "the amplifier stopped answering";
    const auto lines = describeReport(report);
    EXPECT_EQ(lines.front(), "The restore stopped: the amplifier stopped answering.");
    EXPECT_TRUE(hasLine(lines, "Written: slot I LEAD \"Saved 1\"."));
    EXPECT_TRUE(hasLine(lines, "Not written: slot II CRUNCH \"Saved 7\""));
    EXPECT_TRUE(hasLine(lines, "The effect settings are not restored."));

    const RestoreReport done{{{0, "A"}}, {}, true, true, false, ""};
    const auto ok = describeReport(done);
    EXPECT_EQ(ok.front(), "The restore is complete.");
    EXPECT_TRUE(hasLine(ok, "The effect settings are restored."));
    EXPECT_TRUE(hasLine(ok, "The FX loop wiring is restored."));
}
