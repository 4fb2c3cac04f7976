// One entry of the speaker page's file list: the parent folder, a folder, or an impulse-response file.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

class CFileItem {
public:
    enum Kind : int { ParentFolder = 1, Folder = 2, ResponseFile = 3 };

    CFileItem(std::string fileName, std::string displayText, Kind kind)
        : m_fileName(std::move(fileName)), m_displayText(std::move(displayText)), m_kind(kind)
    {
    }
    virtual ~CFileItem() = default;

    // The name as the file system gives it (used to open the file), without a path.
    std::string getFileName() const { return m_fileName; }
    // What the list shows: plain ASCII, folders in brackets.
    std::string getDisplayText() const { return m_displayText; }
    Kind kind() const { return m_kind; }

private:
    std::string m_fileName;
    std::string m_displayText;
    Kind m_kind;
};
