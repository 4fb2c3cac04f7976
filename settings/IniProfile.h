// A small INI file layer with the rules of the Windows profile functions the settings were made for.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace orx::settings {

// Longest value a profile string read returns, in characters (Unicode code points of the UTF-8 text): the
// 260-character read buffer less its terminator. The rest is cut, never inside a character.
inline constexpr std::size_t kMaxProfileString = 259;

// The first `count` code points of UTF-8 text. A byte that does not begin a well-formed sequence counts
// as one code point of its own, so a character is never split.
std::string firstCodePoints(const std::string& text, std::size_t count);

// One INI file in memory. Sections and keys are matched without regard to letter case; lines that are
// not touched (other sections and keys, comments) are kept as they were.
class IniProfile {
public:
    // An unreadable or missing file gives an empty profile. A UTF-8 byte-order mark at the start of the
    // file is skipped (and so not written back).
    static IniProfile load(const std::filesystem::path& path);

    // The value of a key with surrounding blanks (and one pair of quotes) removed, at most 259 characters;
    // the default when the section or key is missing.
    std::string getString(const std::string& section, const std::string& key, const std::string& fallback) const;
    // Optional blanks, an optional sign and the leading decimal digits; 0 without digits; the default
    // when the key is missing or empty.
    int getInt(const std::string& section, const std::string& key, int fallback) const;
    // Replaces the key's value, or adds the key (and its section) at the end. Refused (false, nothing
    // changed, so the file keeps what it had for the key) when the value holds a line break or a NUL, or
    // when the section or key would not read back as itself (a line break or NUL; surrounding blanks; a
    // ']' in a section; an '=' in a key or a key that begins with ';', '#' or '[').
    bool setString(const std::string& section, const std::string& key, const std::string& value);

    // Writes a temporary file and renames it over the old one, so an interrupted save never leaves a
    // damaged or empty file. A symbolic link at `path` (or a chain of them) is followed to its final
    // target, which is the file replaced (created when the link dangles); the link itself stays. The
    // temporary file lies beside that target; the target's permissions (and owner, where allowed) are
    // kept, a new file gets the default mode. False when anything failed; the old file is then intact.
    bool save(const std::filesystem::path& path) const;
    // The same; `error` gets the reason of a failure (cleared on success).
    bool save(const std::filesystem::path& path, std::error_code& error) const;

    const std::vector<std::string>& lines() const { return m_lines; }

private:
    struct Found {
        std::ptrdiff_t sectionLine = -1; // the "[section]" line
        std::ptrdiff_t sectionEnd = -1;  // one past the section's last key line
        std::ptrdiff_t keyLine = -1;
    };
    Found find(const std::string& section, const std::string& key) const;

    std::vector<std::string> m_lines;
};

} // namespace orx::settings
