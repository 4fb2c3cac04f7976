// INI parsing and writing, with the temporary-file-and-rename save.
#include "IniProfile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <fstream>
#include <system_error>

#include <unistd.h>

namespace orx::settings {

namespace {

std::string trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool equalNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The name of a "[name]" line, or false when the line is not one.
bool sectionName(const std::string& line, std::string& name)
{
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    const auto close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line, or false when the line is not one.
bool keyValue(const std::string& line, std::string& key, std::string& value)
{
    const std::string t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return false;
    const auto eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    key = trim(t.substr(0, eq));
    value = trim(t.substr(eq + 1));
    return true;
}

} // namespace

IniProfile IniProfile::load(const std::filesystem::path& path)
{
    IniProfile profile;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        profile.m_lines.push_back(line);
    }
    return profile;
}

IniProfile::Found IniProfile::find(const std::string& section, const std::string& key) const
{
    Found found;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        std::string name;
        if (sectionName(m_lines[i], name)) {
            if (found.sectionLine >= 0)
                break; // the first section of that name is the one that counts
            if (equalNoCase(name, section)) {
                found.sectionLine = static_cast<std::ptrdiff_t>(i);
                found.sectionEnd = found.sectionLine + 1;
            }
            continue;
        }
        if (found.sectionLine < 0)
            continue;
        std::string k, v;
        if (keyValue(m_lines[i], k, v)) {
            found.sectionEnd = static_cast<std::ptrdiff_t>(i) + 1;
            if (found.keyLine < 0 && equalNoCase(k, key))
                found.keyLine = static_cast<std::ptrdiff_t>(i);
        }
    }
    return found;
}

std::string IniProfile::getString(const std::string& section, const std::string& key, const std::string& fallback) const
{
    const Found found = find(section, key);
    std::string value = fallback;
    if (found.keyLine >= 0) {
        std::string k;
        keyValue(m_lines[static_cast<std::size_t>(found.keyLine)], k, value);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kMaxProfileString)
        value.resize(kMaxProfileString);
    return value;
}

int IniProfile::getInt(const std::string& section, const std::string& key, int fallback) const
{
    const std::string text = getString(section, key, {});
    if (text.empty())
        return fallback;
    std::size_t i = 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-')
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    value = negative ? -value : std::min<long long>(value, INT_MAX);
    return static_cast<int>(value);
}

void IniProfile::setString(const std::string& section, const std::string& key, const std::string& value)
{
    const Found found = find(section, key);
    const std::string line = key + "=" + value;
    if (found.keyLine >= 0) {
        // The key keeps the spelling it has in the file.
        std::string existing, old;
        keyValue(m_lines[static_cast<std::size_t>(found.keyLine)], existing, old);
        m_lines[static_cast<std::size_t>(found.keyLine)] = existing + "=" + value;
    } else if (found.sectionLine >= 0) {
        m_lines.insert(m_lines.begin() + found.sectionEnd, line);
    } else {
        m_lines.push_back("[" + section + "]");
        m_lines.push_back(line);
    }
}

bool IniProfile::save(const std::filesystem::path& path) const
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::FILE* out = std::fopen(temporary.c_str(), "wb");
        if (!out)
            return false;
        bool ok = true;
        for (const auto& line : m_lines)
            ok = ok && std::fputs(line.c_str(), out) >= 0 && std::fputc('\n', out) != EOF;
        ok = ok && std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
        ok = std::fclose(out) == 0 && ok;
        if (!ok) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

} // namespace orx::settings
