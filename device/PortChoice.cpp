// Matching a stored port name against the names the MIDI system gives now.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortChoice.h"

#include <cctype>

namespace orx {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Where the " <digits>:<digits>" the ALSA sequencer appends begins, or the end when there is none.
std::size_t withoutAlsaAddress(std::string_view name)
{
    std::size_t end = name.size();
    std::size_t i = end;
    while (i > 0 && isDigit(name[i - 1]))
        --i;
    if (i == end || i == 0 || name[i - 1] != ':')
        return end;
    std::size_t j = i - 1;
    const std::size_t portDigits = j;
    while (j > 0 && isDigit(name[j - 1]))
        --j;
    if (j == portDigits || j == 0 || name[j - 1] != ' ')
        return end;
    return j - 1;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

std::string portKey(std::string_view name)
{
    return lowered(name.substr(0, withoutAlsaAddress(name)));
}

std::string portShortName(std::string_view name)
{
    std::string_view own = name.substr(0, withoutAlsaAddress(name));
    if (const auto colon = own.rfind(':'); colon != std::string_view::npos && colon + 1 < own.size())
        own.remove_prefix(colon + 1);
    while (!own.empty() && own.front() == ' ')
        own.remove_prefix(1);
    return own.empty() ? std::string(name) : std::string(own);
}

int findChosenPort(const std::vector<std::string>& names, std::string_view chosen)
{
    if (chosen.empty())
        return -1;
    const std::string wanted = portKey(chosen);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!names[i].empty() && portKey(names[i]) == wanted)
            return static_cast<int>(i);
    return -1;
}

int findChosenPort(const std::vector<std::string>& names, const ChosenPort& chosen)
{
    if (!chosen.byPart)
        return findChosenPort(names, chosen.name);
    if (chosen.name.empty())
        return -1;
    const std::string part = lowered(chosen.name);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!names[i].empty() && lowered(names[i]).find(part) != std::string::npos)
            return static_cast<int>(i);
    return -1;
}

} // namespace orx
