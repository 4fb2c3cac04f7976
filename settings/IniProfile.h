// A small INI file layer with the rules of the Windows profile functions the settings were made for.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace orx::settings {

// Longest value a profile string read returns (the rest is cut).
inline constexpr std::size_t kMaxProfileString = 259;

// One INI file in memory. Sections and keys are matched without regard to letter case; lines that are
// not touched (other sections and keys, comments) are kept as they were.
class IniProfile {
public:
    // An unreadable or missing file gives an empty profile.
    static IniProfile load(const std::filesystem::path& path);

    // The value of a key with surrounding blanks (and one pair of quotes) removed, at most 259 characters;
    // the default when the section or key is missing.
    std::string getString(const std::string& section, const std::string& key, const std::string& fallback) const;
    // Optional blanks, an optional sign and the leading decimal digits; 0 without digits; the default
    // when the key is missing or empty.
    int getInt(const std::string& section, const std::string& key, int fallback) const;
    // Replaces the key's value, or adds the key (and its section) at the end.
    void setString(const std::string& section, const std::string& key, const std::string& value);

    // Writes a temporary file beside `path` and renames it over the old one, so an interrupted save
    // never leaves a damaged or empty file. False when anything failed; the old file is then intact.
    bool save(const std::filesystem::path& path) const;

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
