// The file library of the speaker simulation page: which entries a folder shows, in which order.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CFileItem.h"

#include <filesystem>
#include <string>
#include <vector>

namespace orx {

// The entries of a folder: "[..]" when it has a parent, "[name]" for each folder, then the files ending in
// ".wav", ".aif" or ".aiff" (any case), and ".aifc" with the file conversion on; hidden entries (names starting
// with ".") are left out. Names are shown as the file system spells them (bytes that are not UTF-8 as U+FFFD).
// Sorted by kind, then by display text with A to Z folded to a to z. A missing or unreadable folder gives none.
std::vector<CFileItem> scanFolder(const std::filesystem::path& folder, bool convert = false);

// The folder one level up (the folder itself when it has no parent), and a sub-folder by name.
std::string parentFolder(const std::string& folder);
std::string childFolder(const std::string& folder, const std::string& name);

// Length of the scroll bar's thumb for n entries of 19 pixels in a bar of the given height; at least 19.
int thumbLength(int entries, int barHeight);

} // namespace orx
