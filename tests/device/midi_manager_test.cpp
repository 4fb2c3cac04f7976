// The port layer: names, opening rules, input filtering and the pending-output registry.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CMIDIManager.h"
#include "FakeMidiBackend.h"
#include "ScopedOverride.h"

#include <gtest/gtest.h>

namespace orx {
namespace {

using test::FakeMidiBackend;

struct Received {
    std::vector<std::vector<std::uint8_t>> messages;
    static void callback(void* context, const std::uint8_t* data, std::size_t size)
    {
        static_cast<Received*>(context)->messages.emplace_back(data, data + size);
    }
};

class MidiManagerTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeMidiBackend::Shared> fake = std::make_shared<FakeMidiBackend::Shared>();
    CMIDIManager midi{std::make_unique<FakeMidiBackend>(fake)};
};

TEST(PortNames, MinusOneRule)
{
    struct Case {
        const char* name;
        const char* listed;
    } cases[] = {
        {"USB MIDI-1", "USB MIDI"},             // ends in "-1": those two go
        {"Kovalex/Amp-1 In", "Kovalex/Amp-1 "}, // "-1" elsewhere: still the last two characters
        {"Plain Port", "Plain Port"},
        {"-1", ""},
        {"Amp-1\xC3\xA9\xC3\xA9", "Amp-1"}, // two accented letters are two characters, four bytes
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMIDIManager::normalisePortName(c.name), c.listed) << c.name;
}

TEST_F(MidiManagerTest, ListsKeepIndexEqualToDeviceId)
{
    fake->inNames = {"A-1", "", "C"};
    fake->outNames = {"X"};
    std::vector<std::string> in{"stale"}, out;
    midi.getInDeviceNames(in);
    midi.getOutDeviceNames(out);
    EXPECT_EQ(in, (std::vector<std::string>{"A", "", "C"}));
    EXPECT_EQ(out, (std::vector<std::string>{"X"}));
}

TEST_F(MidiManagerTest, SendingWithNoOutputPortSucceedsAndSendsNothing)
{
    const std::uint8_t m[] = {0xF0, 0x43, 0xF7};
    EXPECT_EQ(midi.sendLongMessage(m, sizeof m), 0);
    EXPECT_TRUE(fake->sent.empty());
    EXPECT_EQ(midi.pendingOutCount(), 0u);
}

TEST_F(MidiManagerTest, ShortMessagesArriveAsThreeBytesAndClockAndSensingAreDropped)
{
    Received got;
    ASSERT_EQ(midi.openIn(0, &Received::callback, &got), 0);
    ASSERT_EQ(midi.startIn(), 0);
    fake->inSink->onShortMessage(0xF8);     // timing clock
    fake->inSink->onShortMessage(0xFE);     // active sensing
    fake->inSink->onShortMessage(0x643C90); // note on, key 0x3C, velocity 0x64
    fake->inSink->onShortMessage(0x0000C0); // program change: still three bytes
    ASSERT_EQ(got.messages.size(), 2u);
    EXPECT_EQ(got.messages[0], (std::vector<std::uint8_t>{0x90, 0x3C, 0x64}));
    EXPECT_EQ(got.messages[1], (std::vector<std::uint8_t>{0xC0, 0x00, 0x00}));
}

TEST_F(MidiManagerTest, LongMessagesArriveWholeAndEmptyOnesAreIgnored)
{
    Received got;
    ASSERT_EQ(midi.openIn(0, &Received::callback, &got), 0);
    ASSERT_EQ(midi.startIn(), 0);
    std::vector<std::uint8_t> block(532, 0x11);
    block.front() = 0xF0;
    block.back() = 0xF7;
    fake->inSink->onLongMessage(block.data(), 0);
    fake->inSink->onLongMessage(block.data(), block.size());
    ASSERT_EQ(got.messages.size(), 1u);
    EXPECT_EQ(got.messages[0], block);
}

TEST_F(MidiManagerTest, AnExceptionInTheDataCallbackIsCaughtAndLogged)
{
    ASSERT_EQ(midi.openIn(
                  0, [](void*, const std::uint8_t*, std::size_t) { throw 42; }, nullptr),
              0);
    ASSERT_EQ(midi.startIn(), 0);
    const std::uint8_t m[] = {0xF0, 0xF7};
    ::testing::internal::CaptureStderr();
    fake->inSink->onLongMessage(m, sizeof m);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[CATCH] Exception! - CMIDIManager::procMidiIn()\n");
}

TEST_F(MidiManagerTest, StartInNeedsAnOpenPortAndStartsOnce)
{
    EXPECT_EQ(midi.startIn(), kMidiInvalidHandle);
    fake->openInResult = kMidiAllocated;
    EXPECT_EQ(midi.openIn(0, &Received::callback, nullptr), kMidiAllocated);
    EXPECT_FALSE(midi.isInputOpen());
    EXPECT_EQ(midi.startIn(), kMidiInvalidHandle);
    fake->openInResult = kMidiOk;
    ASSERT_EQ(midi.openIn(0, &Received::callback, nullptr), 0);
    EXPECT_EQ(midi.startIn(), 0);
    EXPECT_EQ(midi.startIn(), 0);
    EXPECT_EQ(fake->inStarted, 1);
    EXPECT_EQ(midi.closeIn(), 0);
    EXPECT_FALSE(midi.isInputOpen());
    EXPECT_EQ(midi.closeIn(), 0) << "closing a closed port is harmless";
}

TEST_F(MidiManagerTest, DoneReportsReleaseBuffersAndLateOnesAfterCloseOutFindNothing)
{
    ASSERT_EQ(midi.openOut(0), 0);
    const std::uint8_t m[] = {0xF0, 0x01, 0xF7};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(midi.sendLongMessage(m, sizeof m), 0);
    ASSERT_EQ(midi.pendingOutCount(), 3u);
    fake->outSink->onOutputDone(fake->doneHeld[0]);
    EXPECT_EQ(midi.pendingOutCount(), 2u);

    EXPECT_EQ(midi.closeOut(), 0);
    EXPECT_EQ(midi.pendingOutCount(), 0u);
    EXPECT_TRUE(midi.isOutputOpen()) << "closeOut keeps the port itself open";

    // A buffer sent after the reset must not be released by the old buffers' late reports.
    ASSERT_EQ(midi.sendLongMessage(m, sizeof m), 0);
    for (int i = 0; i < 3; ++i)
        fake->outSink->onOutputDone(fake->doneHeld[static_cast<std::size_t>(i)]);
    EXPECT_EQ(midi.pendingOutCount(), 1u);
    fake->outSink->onOutputDone(fake->doneHeld[3]);
    EXPECT_EQ(midi.pendingOutCount(), 0u);
}

TEST_F(MidiManagerTest, AFailedResetLeavesTheRegistryAlone)
{
    ASSERT_EQ(midi.openOut(0), 0);
    const std::uint8_t m[] = {0xF0, 0xF7};
    midi.sendLongMessage(m, sizeof m);
    fake->resetOutResult = kMidiError;
    EXPECT_EQ(midi.closeOut(), kMidiError);
    EXPECT_EQ(midi.pendingOutCount(), 1u);
    midi.clearPendingOut();
    EXPECT_EQ(midi.pendingOutCount(), 0u);
}

TEST_F(MidiManagerTest, AFailedSendIsReportedAndKeptUntilCleared)
{
    ASSERT_EQ(midi.openOut(0), 0);
    fake->sendResult = kMidiError;
    const std::uint8_t m[] = {0xF0, 0xF7};
    EXPECT_EQ(midi.sendLongMessage(m, sizeof m), kMidiError);
    EXPECT_EQ(midi.pendingOutCount(), 1u);
    midi.clearPendingOut();
    EXPECT_EQ(midi.pendingOutCount(), 0u);
}

TEST_F(MidiManagerTest, OpeningOutputAgainClosesThePortFirst)
{
    ASSERT_EQ(midi.openOut(0), 0);
    ASSERT_EQ(midi.openOut(1), 0);
    EXPECT_EQ(fake->closeOutCalls, 1);
    EXPECT_EQ(fake->openedOut, 1);
    fake->openOutResult = kMidiBadDeviceId;
    EXPECT_EQ(midi.openOut(7), kMidiBadDeviceId);
    EXPECT_FALSE(midi.isOutputOpen());
}

TEST(MidiManagerInstance, FactoryDecidesTheBackendOfNewInstances)
{
    auto fake = std::make_shared<FakeMidiBackend::Shared>();
    fake->inNames = {"Fake In"};
    const ScopedOverride<MidiBackendFactory> backend(&CMIDIManager::setBackendFactory,
                                                     [fake] { return std::make_unique<FakeMidiBackend>(fake); });
    CMIDIManager* first = CMIDIManager::createInstance();
    EXPECT_EQ(CMIDIManager::getInstance(), first);
    std::vector<std::string> names;
    first->getInDeviceNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"Fake In"});
    CMIDIManager::deleteInstance();
    EXPECT_EQ(CMIDIManager::existingInstance(), nullptr);
}

} // namespace
} // namespace orx
