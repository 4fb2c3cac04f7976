// The speaker simulation page of one amp channel: IR library, trying, installing, bypass, gain and name.
#pragma once

#include "CDevicePage.h"

class CSpeakerSimulationTab : public CDevicePage {
    Q_OBJECT
public:
    explicit CSpeakerSimulationTab(QWidget* parent);

    // The Edit commands work on the page's IR name field; without one there is nothing to edit.
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
