// The dialog that asks which channel of a stereo impulse-response file to use, and the replaceable way pages ask it.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <functional>

class QPushButton;

class CChannelDlg : public QDialog {
    Q_OBJECT
public:
    // Control identifiers; the widgets are also named after them ("1333" ...), so tests can find them.
    enum ControlId {
        kRightButton = 1333,
        kLeftButton = 1334,
        kIcon = 1335,
    };

    explicit CChannelDlg(QWidget* parent = nullptr);

    // 0 = left, 1 = right; 0 until a button is pressed.
    int chosenChannel() const { return m_channel; }

public Q_SLOTS:
    // Only an answer may end the dialog: Escape and closing the window come here and are ignored.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;

private:
    void choose(int channel);

    QPushButton* m_left = nullptr;
    int m_channel = 0;
};

namespace orx {

// Asks the user for the channel of a stereo file and returns 0 (left) or 1 (right).
// Replaceable, so page tests can answer without a modal loop.
using ChannelQuestion = std::function<int(QWidget* owner)>;
// Empty: a fresh CChannelDlg, run modally. Returns the question it replaces (ScopedOverride puts it back).
ChannelQuestion setChannelQuestion(ChannelQuestion question);
int askChannel(QWidget* owner);

} // namespace orx
