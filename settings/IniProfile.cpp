// INI parsing and writing, with the temporary-file-and-rename save.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniProfile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
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

// The length in bytes of the code point that starts at `at`: the whole well-formed UTF-8 sequence, or 1
// for a byte that does not begin one.
std::size_t sequenceLength(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 1;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 1 || text.size() - at < length)
        return 1;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 1;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 1;
    return length;
}

// True when the text can stand inside one line of the file.
bool fitsOnALine(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// True when the "[section]" line reads back as that section.
bool writableSection(const std::string& section)
{
    std::string name;
    return fitsOnALine(section) && sectionName("[" + section + "]", name) && name == section;
}

// True when a "key=..." line reads back as that key.
bool writableKey(const std::string& key)
{
    const std::string line = key + "=";
    std::string name, k, v;
    return fitsOnALine(key) && !sectionName(line, name) && keyValue(line, k, v) && k == key;
}

// The file that a save through `path` replaces: the final target of its chain of symbolic links (relative
// links taken from the folder of the link), which may not exist. `info` gets its status when it exists.
// False for a loop, a chain too long or a link that cannot be read.
bool finalTarget(const std::filesystem::path& path, std::filesystem::path& target, bool& exists, struct stat& info)
{
    constexpr int kMaxLinks = 40; // Linux's own limit for a path
    target = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        if (::lstat(target.c_str(), &info) != 0) {
            exists = false; // missing (a dangling link's target), or the write below reports the failure
            return true;
        }
        if (!S_ISLNK(info.st_mode)) {
            exists = true;
            return true;
        }
        std::error_code error;
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error)
            return false;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return false;
}

bool writeAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string firstCodePoints(const std::string& text, std::size_t count)
{
    std::size_t end = 0;
    for (std::size_t n = 0; n < count && end < text.size(); ++n)
        end += sequenceLength(text, end);
    return text.substr(0, end);
}

IniProfile IniProfile::load(const std::filesystem::path& path)
{
    IniProfile profile;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (profile.m_lines.empty() && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3); // an editor's byte-order mark
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
    return firstCodePoints(value, kMaxProfileString);
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

bool IniProfile::setString(const std::string& section, const std::string& key, const std::string& value)
{
    if (!fitsOnALine(value) || !writableSection(section) || !writableKey(key))
        return false;
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
    return true;
}

bool IniProfile::save(const std::filesystem::path& path) const
{
    std::error_code error;
    return save(path, error);
}

bool IniProfile::save(const std::filesystem::path& path, std::error_code& error) const
{
    error.clear();
    const auto fail = [&error](int code) {
        error = std::error_code(code, std::generic_category());
        return false;
    };
    std::filesystem::path target;
    bool exists = false;
    struct stat info {};
    if (!finalTarget(path, target, exists, info))
        return fail(ELOOP);

    std::string text;
    for (const auto& line : m_lines)
        text += line + '\n';

    std::filesystem::path temporary = target;
    temporary += ".tmp";
    ::unlink(temporary.c_str()); // a stale one from an interrupted save; a folder there stays and fails below
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(errno);
    int failure = 0; // the first errno
    const auto check = [&failure](bool ok) {
        if (!ok && failure == 0)
            failure = errno != 0 ? errno : EIO;
        return ok;
    };
    bool ok = true;
    if (exists) {
        // The replaced file's owner (where this user may give it) and permissions.
        if (::fchown(fd, info.st_uid, info.st_gid) != 0) {
            // Another owner needs privileges this user lacks; the file becomes the user's, as a new one would.
        }
        ok = check(::fchmod(fd, info.st_mode & 07777) == 0);
    }
    errno = 0; // a short write sets none
    ok = ok && check(writeAll(fd, text)) && check(::fsync(fd) == 0);
    ok = check(::close(fd) == 0) && ok;
    ok = ok && check(::rename(temporary.c_str(), target.c_str()) == 0);
    if (!ok) {
        ::unlink(temporary.c_str());
        return fail(failure);
    }
    // Make the rename itself durable; the file is already in place either way.
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace orx::settings
