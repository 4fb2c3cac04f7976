// The words for the state of the link, and the rule of when a new port choice needs a new connection.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionStatus.h"

#include "CMIDIManager.h"
#include "CORXManager.h"
#include "ErrorTexts.h"

namespace orx {

namespace {

constexpr const char* kWhereToChoose = "Choose the ports under Edit \xE2\x96\xB8 MIDI Ports...";

std::string lastErrorText(std::int32_t code)
{
    return "Last error: " + mstd::errorMessage(code);
}

// The session's model code is the heartbeat's character; the connected event gives the number.
int modelNumber(std::uint8_t code)
{
    return code >= '0' ? code - '0' : code;
}

bool namesPort(const std::string& open, const ChosenPort& chosen)
{
    if (open.empty())
        return false;
    const std::vector<std::string> names{open, CMIDIManager::normalisePortName(open)};
    return findChosenPort(names, chosen) >= 0;
}

} // namespace

ConnectionStatus describeConnection(const ConnectionSnapshot& s, bool pointToDialog)
{
    ConnectionStatus status;
    if (s.connected) {
        // The full names are in the tooltip; the line has room for the port's own name only.
        const std::string port = portShortName(s.inputPort.empty() ? s.outputPort : s.inputPort);
        status.text = "Connected";
        if (!port.empty())
            status.text += ": " + port;
        if (s.model > 0)
            status.text += " \xC2\xB7 model " + std::to_string(s.model);
        if (s.firmware > 0)
            status.text += " \xC2\xB7 firmware " + std::to_string(s.firmware);
        status.tooltip = "The amplifier answers.";
        if (!s.inputPort.empty())
            status.tooltip += "\nInput port: " + s.inputPort;
        if (!s.outputPort.empty())
            status.tooltip += "\nOutput port: " + s.outputPort;
        if (s.firmware == 0)
            status.tooltip += "\nThe firmware version has not been read yet.";
    } else if (!s.midiProblem.empty()) {
        status.text = "MIDI system unavailable: " + s.midiProblem;
        status.tooltip = "The MIDI system cannot be used: " + s.midiProblem +
                         "\nStart it, or choose the other MIDI system under Edit \xE2\x96\xB8 MIDI Ports...";
    } else if (s.lastError != 0) {
        status.text = lastErrorText(s.lastError);
        status.tooltip = "The amplifier is not connected; the program keeps looking for it every few seconds.\n" +
                         std::string(kWhereToChoose);
    } else {
        status.text = "Searching for the amp\xE2\x80\xA6";
        if (pointToDialog)
            status.text += " (choose ports under Edit \xE2\x96\xB8 MIDI Ports...)";
        status.tooltip = "No amplifier answers yet. The program looks for it every few seconds, on the ports you "
                         "chose or, set to Automatic, on the amplifier's own ports.\n" +
                         std::string(kWhereToChoose);
    }
    // Kept in the tooltip while it is not the line itself, so it is not lost when the line says more urgent things.
    if (s.lastError != 0 && status.text.rfind("Last error", 0) != 0)
        status.tooltip += "\n" + lastErrorText(s.lastError);
    return status;
}

ConnectionSnapshot currentConnection(std::int32_t lastError)
{
    ConnectionSnapshot s;
    s.lastError = lastError;
    if (CORXManager* session = CORXManager::existingInstance()) {
        const std::uint8_t code = session->getModelCode();
        s.connected = code != 0;
        if (s.connected) {
            s.model = modelNumber(code);
            s.firmware = session->getUpdaterValue();
        }
    }
    if (CMIDIManager* midi = CMIDIManager::existingInstance()) {
        if (s.connected) {
            s.inputPort = CMIDIManager::normalisePortName(midi->inputPortName());
            s.outputPort = CMIDIManager::normalisePortName(midi->outputPortName());
        }
        s.midiProblem = midi->systemProblem();
    }
    return s;
}

bool connectionMissesChoice(const ChosenPort& input, const ChosenPort& output, const std::vector<std::string>& inputs,
                            const std::vector<std::string>& outputs, const std::string& openInput,
                            const std::string& openOutput)
{
    if (input.empty() || output.empty())
        return false; // automatic: whatever the amplifier's marker found is what was asked for
    if (findChosenPort(inputs, input) < 0 || findChosenPort(outputs, output) < 0)
        return false;
    if (openInput.empty() && openOutput.empty())
        return false; // nothing to drop; the next search takes the choice
    return !namesPort(openInput, input) || !namesPort(openOutput, output);
}

} // namespace orx
