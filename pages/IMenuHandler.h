// The Edit-menu operations every page answers for, so the main window can route them to the page shown.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class IMenuHandler {
public:
    virtual ~IMenuHandler() = default;
    virtual int canUndo() = 0;
    virtual int canCut() = 0;
    virtual int canCopy() = 0;
    virtual int canPaste() = 0;
    virtual int canSelectAll() = 0;
    virtual void undo() = 0;
    virtual void cut() = 0;
    virtual void copy() = 0;
    virtual void paste() = 0;
    virtual void selectAll() = 0;
};
