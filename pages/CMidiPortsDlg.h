// The MIDI Ports dialog: which MIDI system, which input and output port, and asking every port for the amp.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DeviceEventMessage.h"
#include "PortProbe.h"

#include <QDialog>
#include <QEvent>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTimer;

namespace orx {
class CMIDIManager;

// What the user chose; empty port names mean automatic (the amplifier's own ports).
struct MidiPortChoice {
    std::string api; // "alsa" or "jack"
    std::string input;
    std::string output;
    bool operator==(const MidiPortChoice&) const = default;
};

// Asks the ports for the amplifier; blocking, run off the user-interface thread. Replaceable so tests can
// answer at once or listen briefly. Empty: probeForAmp.
using PortProbe = std::function<ProbeResult(const ProbeOptions&)>;
// Returns the probe it replaces (ScopedOverride puts it back).
PortProbe setPortProbe(PortProbe probe);

} // namespace orx

class CMidiPortsDlg : public QDialog {
    Q_OBJECT
public:
    // The widgets are named after these ("1402" ...), so tests can find them.
    enum ControlId {
        kOk = 1,
        kCancel = 2,
        kApi = 1401,
        kInput = 1402,
        kOutput = 1403,
        kFindAmp = 1404,
        kProbeLine = 1405,
        kAnswers = 1406,
        kSessionLine = 1407,
        kApiNote = 1408,
    };
    static constexpr int kDefaultRefreshMs = 2000;
    // The item data of the port lists and the answers.
    static constexpr int kPortRole = Qt::UserRole;
    static constexpr int kOutputRole = Qt::UserRole + 1;

    explicit CMidiPortsDlg(QWidget* parent = nullptr);
    ~CMidiPortsDlg() override;

    // What the controls say now.
    orx::MidiPortChoice choice() const;
    // How often the port lists are read again while the dialog is open.
    void setRefreshInterval(int milliseconds);
    // Reads the port lists again, keeping what is selected.
    void refreshPorts();
    bool probeRunning() const { return m_probe.joinable(); }

    static void postDeviceEvent(std::int32_t event, std::int32_t value, void* context);
    void onDeviceEventMessage(int event, int value);

public Q_SLOTS:
    // Stores the choice in the settings and saves them; the caller reconnects.
    void accept() override;
    void reject() override;

Q_SIGNALS:
    void probeFinished();
    void deviceEventReceived(int event, int value);

protected:
    void customEvent(QEvent* event) override;

private:
    void startProbe();
    void showProbeResult(const orx::ProbeResult& result);
    void takeAnswer(QListWidgetItem* item);
    void updateSessionLine();
    void updateApiNote();
    void stopProbe();

    QComboBox* m_api = nullptr;
    QLabel* m_apiNote = nullptr;
    QComboBox* m_input = nullptr;
    QComboBox* m_output = nullptr;
    QPushButton* m_findAmp = nullptr;
    QLabel* m_probeLine = nullptr;
    QListWidget* m_answers = nullptr;
    QLabel* m_sessionLine = nullptr;
    QTimer* m_refresh = nullptr;
    std::string m_currentApi;
    // A client of its own for the listings: the session's is the worker's alone.
    std::unique_ptr<orx::CMIDIManager> m_lister;
    std::thread m_probe;
    std::atomic<bool> m_cancel{false};
};
