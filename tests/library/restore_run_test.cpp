// A restore run through the real session and its worker, against the in-process simulated amplifier: what the
// amplifier holds afterwards is compared with what it held when it was backed up.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpRestore.h"
#include "LibraryTestSupport.h"
#include "SessionFixture.h"

#include "FIRGain.h"

#include <cstring>

namespace orx {
namespace {

using namespace std::chrono_literals;

FIRRecord userRecord(const char* name, int seed, int gainDb)
{
    FIRRecord r;
    std::memcpy(r.irName.data(), name, std::strlen(name));
    r.FIRCOE = dBToFIRCOE(gainDb);
    r.coefficients = test::testCoefficients(seed);
    return r;
}

class RestoreRun : public test::SessionFixture {
protected:
    void TearDown() override
    {
        if (session)
            session->stopRequestThread();
        SessionFixture::TearDown();
    }

    void connectAndRead(std::uint8_t model)
    {
        amp->setModelCode(model);
        startSession(true, test::fastRequestTiming());
        session->startRequestThread();
        session->addRequest(kRequestOpen, 0, 0);
        ASSERT_TRUE(events.waitFor(kEventConnected));
        reread();
    }
    void reread()
    {
        const std::size_t before = events.valuesOf(kEventReadAll).size();
        session->addRequest(kRequestReadAll, 0, 0);
        ASSERT_TRUE(events.waitFor(kEventReadAll, before + 1));
    }

    // The user's amplifier: own IRs in every slot the model has (recorded in the library as INSTALL would),
    // effect settings away from the factory's, the amp types in use not the first.
    void setUpUsersAmp(std::uint8_t model)
    {
        const std::size_t slots = model == '2' ? kIrSlotCount : kSlotsPerChannel;
        for (std::size_t slot = 0; slot < slots; ++slot) {
            const std::string name = "User Cab " + std::to_string(slot) + (slot == 3 ? " \xE9t\xE9" : "");
            const FIRRecord r = userRecord(name.c_str(), static_cast<int>(slot) + 1, -3 - static_cast<int>(slot));
            amp->setSlot(slot, r);
            LibraryEntryInput input;
            input.name = r.irName;
            input.fircoe = r.FIRCOE;
            input.coefficients = r.coefficients;
            input.ampChannel = static_cast<int>(slot / kSlotsPerChannel);
            input.slot = static_cast<int>(slot);
            library.record(input);
        }
        const std::pair<std::size_t, std::uint8_t> settings[] = {
            {EffectData::kSlotChannel1, 2}, {1, 1}, {2, 1}, {3, 2}, {4, 7},
            {EffectData::kSlotChannel2, 4}, {9, 2}, {10, 0}, {11, 3}, {12, 5}};
        for (const auto& [at, value] : settings)
            amp->setEffectByte(at, value);
    }

    // What the user does to lose it all: the IR memory reset and the switches moved.
    void loseEverything()
    {
        const std::size_t before = events.valuesOf(kEventReset).size();
        session->addRequest(kRequestReset, 0, 0);
        ASSERT_TRUE(events.waitFor(kEventReset, before + 1));
        for (const std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{8}, std::size_t{11}})
            amp->setEffectByte(at, 0);
        reread();
    }

    RestoreReport restore(const AmpBackup& backup, RestoreOptions options = {})
    {
        options.stepTimeout = 5s; // a reply time-out (300 ms) ends a step long before this
        const RestorePlan plan = planRestore(backup, snapshotOfSession(*session));
        return runRestore(*session, backup, plan, options);
    }

    test::TempFolder folder;
    IrLibrary library{folder.path() / "IR Library"};
};

TEST_F(RestoreRun, BackUpResetRestoreGivesTheAmplifierBackByteForByte)
{
    setUpUsersAmp('2');
    connectAndRead('2');
    const sim::AmpModel before = amp->model();
    // Through the file, as a user's backup goes.
    writeBackup(folder.path() / "amp.json", makeBackup(snapshotOfSession(*session), library));
    const BackupReadResult read = readBackup(folder.path() / "amp.json");
    ASSERT_TRUE(read.backup) << read.problem;

    loseEverything();
    ASSERT_NE(amp->model().slots[3].irName, before.slots[3].irName);

    std::vector<int> progressSeen;
    RestoreOptions options;
    options.library = library.folder();
    options.progress = [&](int done, int total, const std::string&) {
        EXPECT_EQ(total, 12);
        progressSeen.push_back(done);
    };
    const RestoreReport report = restore(*read.backup, options);

    EXPECT_FALSE(report.interrupted) << report.reason;
    EXPECT_EQ(report.written.size(), kIrSlotCount);
    EXPECT_TRUE(report.settingsRestored);
    const sim::AmpModel after = amp->model();
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot)
        EXPECT_EQ(toTransferImage(after.slots[slot]), toTransferImage(before.slots[slot])) << "slot " << slot;
    EXPECT_EQ(after.effect, before.effect);
    EXPECT_EQ(toTransferImage(after.current[0]), toTransferImage(before.slots[2]));
    EXPECT_EQ(toTransferImage(after.current[1]), toTransferImage(before.slots[9]));
    // The session read the amplifier again, so the window shows it as it is.
    // (its dumps carry 7-bit names, so slot 3's accented letters come back without their top bit)
    EXPECT_TRUE(files::sameReportedName(before.slots[3].irName, session->getSlot(3).irName));
    EXPECT_EQ(session->getSlot(3).FIRCOE, before.slots[3].FIRCOE);
    EXPECT_EQ(session->getEffectData(), before.effect);
    EXPECT_EQ(progressSeen.front(), 0);
    EXPECT_EQ(progressSeen.back(), 12);
    // Every slot written is in the library again, so the speaker page knows it.
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot) {
        const auto known = library.known(static_cast<int>(slot), before.slots[slot].irName, before.slots[slot].FIRCOE);
        ASSERT_TRUE(known) << "slot " << slot;
        EXPECT_EQ(known->kind, EntryKind::Restore);
    }
}

TEST_F(RestoreRun, AnAmplifierSilencedHalfwaySaysWhichSlotsWereWritten)
{
    setUpUsersAmp('2');
    connectAndRead('2');
    const AmpBackup backup = makeBackup(snapshotOfSession(*session), library);
    loseEverything();
    const sim::AmpModel reset = amp->model();

    RestoreOptions options;
    options.progress = [&](int done, int, const std::string&) {
        if (done == 2)
            amp->setSilent(true);
    };
    const RestoreReport report = restore(backup, options);

    EXPECT_TRUE(report.interrupted);
    EXPECT_FALSE(report.reason.empty());
    ASSERT_EQ(report.written.size(), 2u);
    EXPECT_EQ(report.written[0].slot, 0);
    EXPECT_EQ(report.written[1].slot, 1);
    ASSERT_EQ(report.notWritten.size(), 8u);
    EXPECT_EQ(report.notWritten.front().slot, 2);
    EXPECT_FALSE(report.settingsRestored);
    const sim::AmpModel after = amp->model();
    EXPECT_EQ(after.slots[1].irName, backup.slots[1].name);
    EXPECT_EQ(toTransferImage(after.slots[2]), toTransferImage(reset.slots[2]));
    const auto lines = describeReport(report);
    EXPECT_NE(lines.front().find("stopped"), std::string::npos);
}

TEST_F(RestoreRun, AStoreTheAmplifierRefusesStopsTheRestoreAtThatSlot)
{
    setUpUsersAmp('2');
    connectAndRead('2');
    const AmpBackup backup = makeBackup(snapshotOfSession(*session), library);
    loseEverything();
    amp->failNextStore();

    const RestoreReport report = restore(backup);

    EXPECT_TRUE(report.interrupted);
    EXPECT_NE(report.reason.find("refused"), std::string::npos) << report.reason;
    EXPECT_TRUE(report.written.empty());
    EXPECT_EQ(report.notWritten.size(), kIrSlotCount);
}

// A backup from one model restored on the other: what both have is restored, the rest is left as it is.
TEST_F(RestoreRun, ABackupFromTheOtherModelRestoresWhatApplies)
{
    struct Case {
        std::uint8_t backupModel;
        std::uint8_t ampModel;
    };
    for (const Case c : {Case{'2', '1'}, Case{'1', '2'}}) {
        SCOPED_TRACE(std::string("backup model ") + char(c.backupModel) + ", amplifier model " + char(c.ampModel));
        setUpUsersAmp(c.backupModel);
        connectAndRead(c.backupModel);
        const sim::AmpModel saved = amp->model();
        const AmpBackup backup = makeBackup(snapshotOfSession(*session), library);
        session->stopRequestThread();
        CORXManager::deleteInstance();
        CMIDIManager::deleteInstance();
        session = nullptr; // TearDown must not reach the session deleted here

        // Another amplifier, straight from the factory, with channel II's settings of its own.
        amp = std::make_shared<sim::SimulatedAmp>(c.ampModel);
        amp->setEffectByte(10, 1);
        events.clear();
        connectAndRead(c.ampModel);
        const sim::AmpModel fresh = amp->model();

        const RestoreReport report = restore(backup);

        EXPECT_FALSE(report.interrupted) << report.reason;
        EXPECT_EQ(report.written.size(), kSlotsPerChannel);
        const sim::AmpModel after = amp->model();
        for (std::size_t slot = 0; slot < kSlotsPerChannel; ++slot)
            EXPECT_EQ(toTransferImage(after.slots[slot]), toTransferImage(saved.slots[slot])) << "slot " << slot;
        for (std::size_t at = 0; at < 8; ++at)
            EXPECT_EQ(after.effect.bytes[at], saved.effect.bytes[at]) << "byte " << at;
        for (std::size_t slot = kSlotsPerChannel; slot < kIrSlotCount; ++slot)
            EXPECT_EQ(toTransferImage(after.slots[slot]), toTransferImage(fresh.slots[slot])) << "slot " << slot;
        for (std::size_t at = 8; at < 16; ++at)
            EXPECT_EQ(after.effect.bytes[at], fresh.effect.bytes[at]) << "byte " << at;

        session->stopRequestThread();
        CORXManager::deleteInstance();
        CMIDIManager::deleteInstance();
        session = nullptr; // TearDown must not reach the session deleted here
        amp = std::make_shared<sim::SimulatedAmp>('2');
        events.clear();
    }
}

TEST_F(RestoreRun, ARestoreWithoutAConnectionSendsNothing)
{
    setUpUsersAmp('2');
    connectAndRead('2');
    const AmpBackup backup = makeBackup(snapshotOfSession(*session), library);
    const RestorePlan plan = planRestore(backup, snapshotOfSession(*session));
    session->stopRequestThread();
    session->closeORX();
    amp->clearReceived();

    const RestoreReport report = runRestore(*session, backup, plan);

    EXPECT_TRUE(report.interrupted);
    EXPECT_EQ(report.notWritten.size(), kIrSlotCount);
    EXPECT_TRUE(amp->received().empty());
}

} // namespace
} // namespace orx
