// The Properties dialog: FX loop wiring, the default channel of stereo IR files, and the IR memory reset.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceEventMessage.h"

#include <QDialog>

#include <array>
#include <QEvent>

#include <cstdint>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QPushButton;

class CPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    // Control identifiers; the widgets are also named after them ("1338" ...), so tests can find them.
    enum ControlId {
        kOk = 1,
        kCancel = 2,
        kStereoGroup = 1311,
        kLeftCh = 1313,
        kRightCh = 1314,
        kAskEachFile = 1315,
        kResetGroup = 1317,
        kReset = 1318,
        kSendGroup = 1337,
        kSendSeparate = 1338,
        kSendMixed = 1339,
        kReturnGroup = 1340,
        kReturnSeparate = 1341,
        kReturnMixed = 1342,
        kConversionGroup = 1350,
        kConvertFiles = 1351,
        kProcessingGroup = 1352,
        kTrimSilence = 1353,
        kMinimumPhase = 1354,
        kFadeOut = 1355,
        kMatchLoudness = 1356,
    };

    explicit CPropertiesDlg(QWidget* parent = nullptr);
    ~CPropertiesDlg() override;

    // The session's callback: only posts the event to the dialog, from whatever thread raised it.
    static void postDeviceEvent(std::int32_t event, std::int32_t value, void* context);
    // The dialog's reaction to one device event, on the user-interface thread.
    void onDeviceEventMessage(int event, int value);

    // false disables everything the user could act on; true enables what the connection allows.
    void enableControls(bool enable);

    // The dialog's state as last read from, or written to, the radio groups; -1 when none is checked.
    int sendConnection() const { return m_send; }
    int returnConnection() const { return m_return; }
    int stereoDefault() const { return m_stereo; }
    bool convertFiles() const { return m_convertFiles; }
    // The IR processing switches in the order of their ids (trim, minimum phase, fade, loudness).
    std::array<bool, 4> irProcessing() const { return m_processing; }

public Q_SLOTS:
    // OK and Return: the stereo default and the file conversion are taken over only here.
    void accept() override;

Q_SIGNALS:
    // After the dialog has acted on a device event.
    void deviceEventReceived(int event, int value);

protected:
    void customEvent(QEvent* event) override;

private:
    void readControls();
    void writeControls();
    void readLoopSettings();
    void onLoopClicked(bool isReturn);
    void onReset();

    QButtonGroup* m_sendGroup = nullptr;
    QButtonGroup* m_returnGroup = nullptr;
    QButtonGroup* m_stereoGroup = nullptr;
    QCheckBox* m_convert = nullptr;
    std::array<QCheckBox*, 4> m_processingBoxes{};
    QPushButton* m_reset = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_convertFiles = false;
    std::array<bool, 4> m_processing{};
    int m_send = -1;
    int m_return = -1;
    int m_stereo = -1;
};

namespace orx {

// Asks whether to reset the amplifier's IR memory to its factory contents; true means go ahead.
// Replaceable, so tests can answer without a modal loop.
using ResetQuestion = std::function<bool(QWidget* owner)>;
// Empty: the platform's warning box with OK and Cancel. Returns the question it replaces (ScopedOverride
// puts it back).
ResetQuestion setResetQuestion(ResetQuestion question);
bool askReset(QWidget* owner);

} // namespace orx
