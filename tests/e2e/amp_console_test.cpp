// orx-amp-sim's command lines run against the simulated amplifier in process, without MIDI ports.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpConsole.h"
#include "SimulatedAmp.h"
#include "SysexCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace orx::ampsim {
namespace {

using namespace std::chrono_literals;
namespace pm = sysex::param;
using Answers = std::vector<sysex::Bytes>;

template <typename C> Answers send(sim::SimulatedAmp& amp, const C& message)
{
    return amp.receive(message.data(), message.size());
}

Answers sendParameter(sim::SimulatedAmp& amp, std::uint8_t group, std::uint8_t parameter, std::uint8_t data1 = 0,
                      std::uint8_t data2 = 0)
{
    return send(amp, sysex::parameterMessage(group, parameter, data1, data2));
}

// The second data byte of the one parameter answer; -1 when the answer is missing or something else.
int replyData2(const Answers& answers)
{
    if (answers.size() != 1)
        return -1;
    const auto p = sysex::parseParameter(answers[0].data(), answers[0].size());
    return p ? p->data2 : -1;
}

// Whether a dump request gets its one answer with a checksum that matches.
bool answersWithAGoodDump(sim::SimulatedAmp& amp, int dumpType)
{
    const auto answers = send(amp, sysex::dumpRequest(dumpType));
    return answers.size() == 1 && sysex::checksumMatches(answers[0].data(), answers[0].size(), answers[0].size() - 2);
}

Answers sendBlock(sim::SimulatedAmp& amp, int block)
{
    const std::vector<std::uint8_t> payload(sysex::firBlockPayloadSize(block), 0x11);
    return send(amp, sysex::firDataBlock(block, 0, payload.data(), payload.size()));
}

std::vector<std::string> ok(const std::string& command)
{
    return {"ok " + command};
}

struct FaultCase {
    const char* command;
    // Looks at the amplifier's answers after the command has run.
    std::function<void(sim::SimulatedAmp&)> check;
};

// Would catch: a command wired to another fault, to none, or with its number lost on the way.
TEST(AmpConsole, EachFaultCommandChangesWhatTheAmplifierAnswers)
{
    const FaultCase cases[] = {
        {"silent on",
         [](sim::SimulatedAmp& amp) {
             EXPECT_TRUE(send(amp, sysex::heartbeatRequest()).empty());
             EXPECT_TRUE(send(amp, sysex::updaterRequest()).empty());
             EXPECT_EQ(runCommand("silent off", amp).lines, ok("silent off"));
             EXPECT_EQ(send(amp, sysex::heartbeatRequest()).size(), 1u);
         }},
        {"heartbeat off",
         [](sim::SimulatedAmp& amp) {
             EXPECT_TRUE(send(amp, sysex::heartbeatRequest()).empty());
             EXPECT_EQ(send(amp, sysex::updaterRequest()).size(), 1u);
             EXPECT_EQ(runCommand("heartbeat on", amp).lines, ok("heartbeat on"));
             EXPECT_EQ(send(amp, sysex::heartbeatRequest()).size(), 1u);
         }},
        {"drop 2",
         [](sim::SimulatedAmp& amp) {
             EXPECT_TRUE(send(amp, sysex::updaterRequest()).empty());
             EXPECT_TRUE(send(amp, sysex::heartbeatRequest()).empty());
             EXPECT_EQ(send(amp, sysex::updaterRequest()).size(), 1u);
         }},
        {"corrupt 1",
         [](sim::SimulatedAmp& amp) {
             EXPECT_FALSE(answersWithAGoodDump(amp, sysex::kDumpTypeEffectData));
             EXPECT_TRUE(answersWithAGoodDump(amp, sysex::kDumpTypeEffectData));
         }},
        {"corrupt-every 2",
         [](sim::SimulatedAmp& amp) {
             for (int dump = 1; dump <= 5; ++dump)
                 EXPECT_EQ(answersWithAGoodDump(amp, 3), dump % 2 == 1) << "dump " << dump;
             EXPECT_EQ(runCommand("corrupt-every 0", amp).lines, ok("corrupt-every 0"));
             for (int dump = 1; dump <= 3; ++dump)
                 EXPECT_TRUE(answersWithAGoodDump(amp, 3)) << "dump " << dump << " after corrupt-every 0";
         }},
        {"bad-block 3",
         [](sim::SimulatedAmp& amp) {
             for (int block = 0; block < static_cast<int>(sysex::kFIRBlockCount); ++block)
                 EXPECT_EQ(replyData2(sendBlock(amp, block)), block == 3 ? 1 : 0) << "block " << block;
         }},
        {"drop-block 3",
         [](sim::SimulatedAmp& amp) {
             for (int block = 0; block < static_cast<int>(sysex::kFIRBlockCount); ++block)
                 EXPECT_EQ(sendBlock(amp, block).size(), block == 3 ? 0u : 1u) << "block " << block;
         }},
        {"fail-store",
         [](sim::SimulatedAmp& amp) {
             EXPECT_EQ(replyData2(sendParameter(amp, pm::kGroupFIR, pm::kStore, 0, 0)), 1);
             EXPECT_EQ(replyData2(sendParameter(amp, pm::kGroupFIR, pm::kStore, 0, 0)), 0);
         }},
        {"delay 250", [](sim::SimulatedAmp& amp) { EXPECT_EQ(amp.replyDelay(), 250ms); }},
        {"delay 0", [](sim::SimulatedAmp& amp) { EXPECT_EQ(amp.replyDelay(), 0ms); }},
        {"model 1",
         [](sim::SimulatedAmp& amp) {
             const auto answers = send(amp, sysex::heartbeatRequest());
             ASSERT_EQ(answers.size(), 1u);
             EXPECT_EQ(sysex::parseHeartbeat(answers[0].data(), answers[0].size()), std::uint8_t{'1'});
         }},
        {"updater 4242",
         [](sim::SimulatedAmp& amp) {
             const auto answers = send(amp, sysex::updaterRequest());
             ASSERT_EQ(answers.size(), 1u);
             const auto p = sysex::parseParameter(answers[0].data(), answers[0].size());
             ASSERT_TRUE(p);
             EXPECT_EQ(sysex::decode14(p->data1, p->data2), 4242);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        sim::SimulatedAmp amp('2');
        amp.setReplyDelay(100ms);
        const auto reply = runCommand(c.command, amp);
        EXPECT_EQ(reply.lines, ok(c.command));
        EXPECT_FALSE(reply.quit);
        c.check(amp);
    }
}

// Would catch: the knob not switching the channel, switching the wrong one, or its announcement
// never reaching the host's outlet (and so never the output port).
TEST(AmpConsole, KnobSwitchesTheChannelAndAnnouncesItThroughTheOutlet)
{
    sim::SimulatedAmp amp('2');
    std::vector<sysex::Bytes> announced;
    amp.setOutlet([&](sysex::Bytes message) { announced.push_back(std::move(message)); });

    EXPECT_EQ(runCommand("knob 1 3", amp).lines, ok("knob 1 3"));
    EXPECT_EQ(runCommand("knob 0 4", amp).lines, ok("knob 0 4"));

    const auto model = amp.model();
    EXPECT_EQ(model.effect.bytes[EffectData::kSlotChannel1], 4);
    EXPECT_EQ(model.effect.bytes[EffectData::kSlotChannel2], 3);
    EXPECT_TRUE(model.current[1] == model.slots[8]);
    EXPECT_TRUE(model.current[0] == model.slots[4]);
    ASSERT_EQ(announced.size(), 2u);
    const auto first = sysex::parseParameter(announced[0].data(), announced[0].size());
    const auto second = sysex::parseParameter(announced[1].data(), announced[1].size());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->parameter, pm::kSlotSwitchChannel2);
    EXPECT_EQ(first->data2, 3);
    EXPECT_EQ(second->parameter, pm::kSlotSwitchChannel1);
    EXPECT_EQ(second->data2, 4);
}

// Would catch: a half-understood line acting anyway (a wrong slot, a count of zero, silence), or
// saying nothing so a script waits for ever.
TEST(AmpConsole, BadCommandLinesGetOneErrorLineAndChangeNothing)
{
    const char* const bad[] = {
        "bogus",        "KNOB 0 1",    "knob",          "knob 0",        "knob 0 1 2",     "knob 2 0",     "knob -1 0",
        "knob 0 5",     "knob x 1",    "silent",        "silent yes",    "heartbeat 1",    "drop -1",      "drop 1x",
        "drop 1000001", "corrupt two", "bad-block 10",  "drop-block -1", "fail-store now", "delay 600001", "delay 1.5",
        "model 3",      "model 12",    "updater 16384", "updater -1",    "state all",      "help me",      "quit now",
        "corrupt-every -1", "corrupt-every", "corrupt-every 2 3",
    };
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        sim::SimulatedAmp amp('2');
        std::vector<sysex::Bytes> announced;
        amp.setOutlet([&](sysex::Bytes message) { announced.push_back(std::move(message)); });
        const auto before = stateLines(amp.model());

        const auto reply = runCommand(line, amp);
        ASSERT_EQ(reply.lines.size(), 1u);
        EXPECT_EQ(reply.lines[0].rfind("error: ", 0), 0u) << reply.lines[0];
        EXPECT_FALSE(reply.quit);
        EXPECT_EQ(stateLines(amp.model()), before);
        EXPECT_EQ(amp.replyDelay(), 0ms);
        EXPECT_TRUE(announced.empty());
        EXPECT_EQ(send(amp, sysex::heartbeatRequest()).size(), 1u) << "a bad line silenced the amplifier";
        EXPECT_EQ(replyData2(sendParameter(amp, pm::kGroupFIR, pm::kStore, 0, 0)), 0) << "a bad line failed a store";
        EXPECT_EQ(replyData2(sendBlock(amp, 0)), 0);
    }
}

TEST(AmpConsole, SpacingIsForgivingAndBlankOrCommentLinesSayNothing)
{
    sim::SimulatedAmp amp('2');
    EXPECT_EQ(runCommand("  knob\t1   2 \r", amp).lines, ok("knob 1 2"));
    EXPECT_EQ(amp.model().effect.bytes[EffectData::kSlotChannel2], 2);
    for (const char* quiet : {"", "   ", "\t\r", "# knob 1 4", "  #silent on"}) {
        SCOPED_TRACE(quiet);
        const auto reply = runCommand(quiet, amp);
        EXPECT_TRUE(reply.lines.empty());
        EXPECT_FALSE(reply.quit);
    }
    EXPECT_EQ(amp.model().effect.bytes[EffectData::kSlotChannel2], 2);
    EXPECT_EQ(send(amp, sysex::heartbeatRequest()).size(), 1u);
}

TEST(AmpConsole, QuitAndHelpAnswerWithTheirOkLine)
{
    sim::SimulatedAmp amp('2');
    const auto quit = runCommand("quit", amp);
    EXPECT_TRUE(quit.quit);
    EXPECT_EQ(quit.lines, ok("quit"));

    const auto help = runCommand("help", amp);
    EXPECT_FALSE(help.quit);
    ASSERT_EQ(help.lines.size(), commandSummary().size() + 1);
    EXPECT_EQ(help.lines.back(), "ok help");
    for (const char* name : {"knob", "silent", "heartbeat", "drop", "corrupt", "corrupt-every", "bad-block",
                             "drop-block", "fail-store", "delay", "model", "updater", "state", "help", "quit"}) {
        const auto listed = std::any_of(help.lines.begin(), help.lines.end(), [&](const std::string& line) {
            return line.rfind(std::string("  ") + name + " ", 0) == 0;
        });
        EXPECT_TRUE(listed) << name << " is missing from help";
    }
}

// Worked out here rather than taken from the console, so a slip in either shows.
std::uint32_t fnv1a(const std::vector<std::uint8_t>& bytes)
{
    std::uint32_t hash = 2166136261u;
    for (const std::uint8_t b : bytes) {
        hash ^= b;
        hash *= 16777619u;
    }
    return hash;
}

std::vector<std::uint8_t> littleEndian(const FIRRecord& record)
{
    std::vector<std::uint8_t> bytes;
    for (const std::int16_t c : record.coefficients) {
        const auto u = static_cast<std::uint16_t>(c);
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return bytes;
}

// Would catch: a checksum over the wrong bytes, in the wrong order, or over part of the response.
TEST(AmpConsole, CoefficientChecksumIsFnv1aOfAllWordsLittleEndian)
{
    EXPECT_EQ(coefficientChecksum(FIRRecord{}), 0x76EFDDC5u); // 4096 zero bytes

    FIRRecord record;
    for (std::size_t i = 0; i < record.coefficients.size(); ++i)
        record.coefficients[i] = static_cast<std::int16_t>(i * 7919 + 13);
    EXPECT_EQ(coefficientChecksum(record), fnv1a(littleEndian(record)));

    FIRRecord swapped;
    swapped.coefficients[0] = 0x0201;
    FIRRecord straight;
    straight.coefficients[0] = 0x0102;
    EXPECT_NE(coefficientChecksum(swapped), coefficientChecksum(straight));
    FIRRecord last;
    last.coefficients[kCoefficientCount - 1] = 1;
    EXPECT_NE(coefficientChecksum(last), coefficientChecksum(FIRRecord{}));
}

// Would catch: a state that leaves a slot out, mixes up slots and channels, or breaks a line on an odd name.
TEST(AmpConsole, StateShowsSettingsEverySlotAndBothCurrentResponses)
{
    sim::SimulatedAmp amp('1');
    amp.setUpdaterValue(321);
    amp.setReplyDelay(40ms);
    amp.setEffectByte(3, 0x7F);
    FIRRecord odd;
    const char name[] = "a\"b\\c\x01\xE9 d";
    std::memcpy(odd.irName.data(), name, sizeof name - 1);
    odd.FIRCOE = 16383;
    odd.coefficients[5] = -2;
    amp.setSlot(7, odd);
    runCommand("knob 1 2", amp);

    const auto reply = runCommand("state", amp);
    ASSERT_EQ(reply.lines.size(), 2 + kIrSlotCount + 2 + 1);
    EXPECT_EQ(reply.lines[0], "model 1 updater 321 delay 40");
    EXPECT_EQ(reply.lines[1], "effect 00 00 00 7F 00 00 00 00 02 00 00 00 00 00 00 00");
    char expected[160];
    std::snprintf(expected, sizeof expected, "slot 7 fircoe 16383 fnv1a %08X name \"a\\\"b\\\\c\\x01\\xE9 d\"",
                  static_cast<unsigned>(fnv1a(littleEndian(odd))));
    EXPECT_EQ(reply.lines[2 + 7], expected);
    std::snprintf(expected, sizeof expected, "current 1 fircoe 16383 fnv1a %08X name \"a\\\"b\\\\c\\x01\\xE9 d\"",
                  static_cast<unsigned>(fnv1a(littleEndian(odd))));
    EXPECT_EQ(reply.lines[2 + kIrSlotCount + 1], expected);
    for (std::size_t slot = 0; slot < kIrSlotCount; ++slot) {
        if (slot == 7)
            continue;
        const FIRRecord factory = sim::factoryRecord(slot);
        std::snprintf(expected, sizeof expected, "slot %zu fircoe %u fnv1a %08X name \"%s\"", slot,
                      static_cast<unsigned>(factory.FIRCOE), static_cast<unsigned>(fnv1a(littleEndian(factory))),
                      reinterpret_cast<const char*>(factory.irName.data()));
        EXPECT_EQ(reply.lines[2 + slot], expected);
    }
    EXPECT_EQ(reply.lines[2 + kIrSlotCount].rfind("current 0 fircoe 5181 ", 0), 0u) << reply.lines[2 + kIrSlotCount];
    EXPECT_EQ(reply.lines.back(), "ok state");
}

} // namespace
} // namespace orx::ampsim
