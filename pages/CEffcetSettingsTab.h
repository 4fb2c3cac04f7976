// The effect settings page of one amp channel: booster, FX loop mode, reverb and noise gate.
#pragma once

#include "CDevicePage.h"

class CEffcetSettingsTab : public CDevicePage {
    Q_OBJECT
public:
    explicit CEffcetSettingsTab(QWidget* parent);

    // The page has nothing to edit: every Edit command is unavailable and does nothing.
    int canUndo() override { return 0; }
    int canCut() override { return 0; }
    int canCopy() override { return 0; }
    int canPaste() override { return 0; }
    int canSelectAll() override { return 0; }
    void undo() override {}
    void cut() override {}
    void copy() override {}
    void paste() override {}
    void selectAll() override {}

protected:
    void paintEvent(QPaintEvent* event) override;
};
