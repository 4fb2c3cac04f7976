// Folder listing rules for the speaker simulation page.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderScan.h"

#include "IrNameText.h"

#include <algorithm>
#include <system_error>

namespace orx {

namespace {

constexpr int kEntryHeight = 19;

char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool lessFolded(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) {
                                            // Bytes of UTF-8 letters come after ASCII, so "Cab" sorts before "Câb".
                                            return static_cast<unsigned char>(foldAscii(x)) <
                                                   static_cast<unsigned char>(foldAscii(y));
                                        });
}

bool isResponseFile(const std::string& name, bool convert)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(), foldAscii);
    // AIFF-C, the usual ".aifc" file, loads only through the conversion.
    return extension == ".wav" || extension == ".aif" || extension == ".aiff" || (convert && extension == ".aifc");
}

} // namespace

std::vector<CFileItem> scanFolder(const std::filesystem::path& folder, bool convert)
{
    std::vector<CFileItem> items;
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(folder, error))
        return items;
    if (folder.has_relative_path() && folder.parent_path() != folder)
        items.emplace_back("..", "[..]", CFileItem::ParentFolder);
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.')
            continue; // hidden
        std::error_code kindError;
        if (it->is_directory(kindError))
            items.emplace_back(name, "[" + validUtf8(name) + "]", CFileItem::Folder);
        else if (isResponseFile(name, convert))
            items.emplace_back(name, validUtf8(name), CFileItem::ResponseFile);
    }
    std::sort(items.begin(), items.end(), [](const CFileItem& a, const CFileItem& b) {
        if (a.kind() != b.kind())
            return a.kind() < b.kind();
        return lessFolded(a.getDisplayText(), b.getDisplayText());
    });
    return items;
}

std::string parentFolder(const std::string& folder)
{
    const auto cut = folder.find_last_of(std::filesystem::path::preferred_separator);
    if (cut == std::string::npos)
        return folder;
    // Cutting "/IR" leaves the root itself, not an empty path.
    return cut == 0 ? folder.substr(0, 1) : folder.substr(0, cut);
}

std::string childFolder(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == std::filesystem::path::preferred_separator)
        return folder + name;
    return folder + std::filesystem::path::preferred_separator + name;
}

int thumbLength(int entries, int barHeight)
{
    if (barHeight <= 0)
        return kEntryHeight;
    const double pages = std::max(1.0, static_cast<double>(entries) * kEntryHeight / barHeight);
    return std::max(kEntryHeight, static_cast<int>(barHeight / pages));
}

} // namespace orx
