// orx-amp-sim's command lines, parsed and run against the simulated amplifier.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AmpConsole.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>

namespace orx::ampsim {

namespace {

using Words = std::vector<std::string_view>;

Words split(std::string_view line)
{
    Words words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::optional<bool> onOff(std::string_view word)
{
    if (word == "on")
        return true;
    if (word == "off")
        return false;
    return std::nullopt;
}

// Printable ASCII as it is; quote, backslash and anything else escaped, so a name stays on one line.
std::string quotedName(const std::array<std::uint8_t, kIrNameLength>& name)
{
    std::string out = "\"";
    for (const std::uint8_t c : name) {
        if (c == 0)
            break;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        }
    }
    return out + "\"";
}

std::string recordLine(const std::string& label, const FIRRecord& record)
{
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " fircoe %u fnv1a %08X name ", static_cast<unsigned>(record.FIRCOE),
                  static_cast<unsigned>(coefficientChecksum(record)));
    return label + numbers + quotedName(record.irName);
}

// What a command does with its words (the command's own name left out). Returns an error text, or
// an empty string when it was done.
using Action = std::string (*)(const Words& args, sim::SimulatedAmp& amp, ConsoleReply& reply);

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    std::size_t argumentCount;
    Action action;
};

constexpr long kMaxCount = 1'000'000;
constexpr long kMaxDelayMs = 600'000;
constexpr long kLastBlock = static_cast<long>(sysex::kFIRBlockCount) - 1;

// The commands that arm a fault by a count of answers: the next N, or every Nth.
std::string setCount(std::string_view word, sim::SimulatedAmp& amp, void (sim::SimulatedAmp::*arm)(int),
                     const char* command)
{
    const auto n = parseNumber(word, 0, kMaxCount);
    if (!n)
        return std::string(command) + " takes a count from 0 to 1000000";
    (amp.*arm)(static_cast<int>(*n));
    return {};
}

const Command kCommands[] = {
    {"knob", "knob CH SLOT",
     "turn amp channel CH's (0 = I, 1 = II) amp-type knob to SLOT (0-4); the amplifier announces it", 2,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         const auto ch = parseNumber(a[0], 0, 1);
         const auto slot = parseNumber(a[1], 0, static_cast<long>(kSlotsPerChannel) - 1);
         if (!ch || !slot)
             return "knob takes CH 0 or 1 and SLOT 0 to 4";
         amp.turnAmpTypeKnob(static_cast<int>(*ch), static_cast<int>(*slot));
         return {};
     }},
    {"silent", "silent on|off", "answer nothing at all, as if unplugged", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         const auto on = onOff(a[0]);
         if (!on)
             return "silent takes on or off";
         amp.setSilent(*on);
         return {};
     }},
    {"heartbeat", "heartbeat on|off", "answer heartbeat requests (on, the default) or everything but them", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         const auto on = onOff(a[0]);
         if (!on)
             return "heartbeat takes on or off";
         amp.setAnswersHeartbeat(*on);
         return {};
     }},
    {"drop", "drop N", "lose the next N answers", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         return setCount(a[0], amp, &sim::SimulatedAmp::dropNextReplies, "drop");
     }},
    {"corrupt", "corrupt N", "send the next N bulk dumps with a bad checksum", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         return setCount(a[0], amp, &sim::SimulatedAmp::corruptNextDumps, "corrupt");
     }},
    {"corrupt-every", "corrupt-every N", "from now on send every Nth bulk dump with a bad checksum (0 stops it)", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         return setCount(a[0], amp, &sim::SimulatedAmp::corruptEveryNthDump, "corrupt-every");
     }},
    {"stray", "stray N", "follow each of the next N bulk dumps with another slot's dump in the same burst", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         return setCount(a[0], amp, &sim::SimulatedAmp::addStrayDumps, "stray");
     }},
    {"bad-block", "bad-block K", "report FIR data block K (0-9) bad the next time it comes", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         const auto k = parseNumber(a[0], 0, kLastBlock);
         if (!k)
             return "bad-block takes a block number from 0 to 9";
         amp.reportBlockBad(static_cast<int>(*k));
         return {};
     }},
    {"drop-block", "drop-block K", "lose the answer to FIR data block K (0-9) the next time it comes", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         const auto k = parseNumber(a[0], 0, kLastBlock);
         if (!k)
             return "drop-block takes a block number from 0 to 9";
         amp.dropReplyToBlock(static_cast<int>(*k));
         return {};
     }},
    {"fail-store", "fail-store", "answer the next store with \"failed\"", 0,
     [](const Words&, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         amp.failNextStore();
         return {};
     }},
    {"delay", "delay MS", "hold every answer back MS milliseconds (0-600000), keeping their order", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         const auto ms = parseNumber(a[0], 0, kMaxDelayMs);
         if (!ms)
             return "delay takes milliseconds from 0 to 600000";
         amp.setReplyDelay(std::chrono::milliseconds(*ms));
         return {};
     }},
    {"model", "model 1|2", "the model code the heartbeat reports", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         if (a[0] != "1" && a[0] != "2")
             return "model takes 1 or 2";
         amp.setModelCode(static_cast<std::uint8_t>(a[0][0]));
         return {};
     }},
    {"updater", "updater N", "the updater value the amplifier reports (0-16383)", 1,
     [](const Words& a, sim::SimulatedAmp& amp, ConsoleReply&) -> std::string {
         const auto n = parseNumber(a[0], 0, kMaxFIRCOE);
         if (!n)
             return "updater takes a value from 0 to 16383";
         amp.setUpdaterValue(static_cast<std::uint16_t>(*n));
         return {};
     }},
    {"state", "state", "print the settings, every slot and both amp channels' current responses", 0,
     [](const Words&, sim::SimulatedAmp& amp, ConsoleReply& reply) -> std::string {
         auto lines = stateLines(amp.model());
         lines.front() += " delay " + std::to_string(amp.replyDelay().count());
         reply.lines.insert(reply.lines.end(), lines.begin(), lines.end());
         return {};
     }},
    {"help", "help", "this list", 0,
     [](const Words&, sim::SimulatedAmp&, ConsoleReply& reply) -> std::string {
         const auto& summary = commandSummary();
         reply.lines.insert(reply.lines.end(), summary.begin(), summary.end());
         return {};
     }},
    {"quit", "quit", "stop the simulator", 0,
     [](const Words&, sim::SimulatedAmp&, ConsoleReply& reply) -> std::string {
         reply.quit = true;
         return {};
     }},
};

std::string joined(const Words& words)
{
    std::string out;
    for (const auto word : words) {
        if (!out.empty())
            out += ' ';
        out += word;
    }
    return out;
}

} // namespace

std::uint32_t coefficientChecksum(const FIRRecord& record)
{
    std::uint32_t hash = 0x811C9DC5u;
    auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 0x01000193u;
    };
    for (const std::int16_t c : record.coefficients) {
        const auto bits = static_cast<std::uint16_t>(c);
        mix(static_cast<std::uint8_t>(bits & 0xFF));
        mix(static_cast<std::uint8_t>(bits >> 8));
    }
    return hash;
}

std::vector<std::string> stateLines(const sim::AmpModel& model)
{
    std::vector<std::string> lines;
    char text[96];
    const unsigned code = model.modelCode;
    if (code >= 0x20 && code < 0x7F)
        std::snprintf(text, sizeof text, "model %c updater %u", static_cast<char>(code),
                      static_cast<unsigned>(model.updaterValue));
    else
        std::snprintf(text, sizeof text, "model 0x%02X updater %u", code, static_cast<unsigned>(model.updaterValue));
    lines.emplace_back(text);
    std::string effect = "effect";
    for (const std::uint8_t b : model.effect.bytes) {
        std::snprintf(text, sizeof text, " %02X", b);
        effect += text;
    }
    lines.push_back(std::move(effect));
    for (std::size_t slot = 0; slot < model.slots.size(); ++slot)
        lines.push_back(recordLine("slot " + std::to_string(slot), model.slots[slot]));
    for (std::size_t ch = 0; ch < model.current.size(); ++ch)
        lines.push_back(recordLine("current " + std::to_string(ch), model.current[ch]));
    return lines;
}

const std::vector<std::string>& commandSummary()
{
    static const std::vector<std::string> summary = [] {
        std::vector<std::string> lines;
        for (const Command& command : kCommands) {
            char line[160];
            std::snprintf(line, sizeof line, "  %-17s %s", command.usage, command.summary);
            lines.emplace_back(line);
        }
        return lines;
    }();
    return summary;
}

ConsoleReply runCommand(std::string_view line, sim::SimulatedAmp& amp)
{
    ConsoleReply reply;
    const Words words = split(line);
    if (words.empty() || words.front().front() == '#')
        return reply;
    const Words args(words.begin() + 1, words.end());
    for (const Command& command : kCommands) {
        if (words.front() != command.name)
            continue;
        if (args.size() != command.argumentCount) {
            reply.lines.push_back(std::string("error: usage: ") + command.usage);
            return reply;
        }
        const std::string error = command.action(args, amp, reply);
        reply.lines.push_back(error.empty() ? "ok " + joined(words) : "error: " + error);
        return reply;
    }
    reply.lines.push_back("error: unknown command \"" + std::string(words.front()) + "\" (\"help\" lists them)");
    return reply;
}

std::optional<long> parseNumber(std::string_view word, long lowest, long highest)
{
    long value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

} // namespace orx::ampsim
