// Settings in a temporary folder, the simulated amplifier behind the MIDI layer, and a recording error box.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppSettings.h"
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "ErrorBox.h"
#include "ScopedOverride.h"
#include "SimulatorPorts.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace orx::test {

struct TempFolders final : SettingsFolders {
    std::string appData, music;
    std::string localAppDataFolder() override { return appData; }
    std::string musicFolder() override { return music; }
};

struct ShownBox {
    QWidget* owner;
    QString caption;
    QString text;
    QString informative; // the line under the text; empty when the box has none
};

class AppFixture : public ::testing::Test {
protected:
    static constexpr std::chrono::milliseconds kProcessLimit{20000};

    void SetUp() override
    {
        folders->appData = (std::filesystem::path(scratch.path().toStdString()) / "data").string();
        folders->music = (std::filesystem::path(scratch.path().toStdString()) / "Music").string();
        AppSettings::setFolders(folders);
        m_backend.emplace(&CMIDIManager::setBackendFactory,
                          [this] { return std::make_unique<sim::SimulatorPortBackend>(amp); });
        m_errorBox.emplace(&setErrorBoxPresenter, [this](QWidget* owner, const QString& caption, const QString& text,
                                                         const QString& informative) {
            boxes.push_back({owner, caption, text, informative});
            if (onBox)
                onBox();
        });
    }
    void TearDown() override
    {
        if (CORXManager* session = CORXManager::existingInstance())
            session->stopRequestThread();
        CORXManager::deleteInstance();
        CMIDIManager::deleteInstance();
        AppSettings::deleteInstance();
        AppSettings::setFolders(nullptr);
        // The seams go back to what they were when the fixture's members are destroyed, after everything a
        // derived fixture replaced on top of them.
    }

    std::filesystem::path settingsFile() const
    {
        return std::filesystem::path(folders->appData) / "Veltra" / "ORX_Tevo_Utility.ini";
    }
    std::string settingsText() const
    {
        std::ifstream in(settingsFile());
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Runs the event loop until the condition holds (bounded; false if it never did).
    template <typename F> static bool processUntil(F condition, std::chrono::milliseconds limit = kProcessLimit)
    {
        QDeadlineTimer deadline(limit.count());
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    QTemporaryDir scratch;
    std::shared_ptr<TempFolders> folders = std::make_shared<TempFolders>();
    std::shared_ptr<sim::SimulatedAmp> amp = std::make_shared<sim::SimulatedAmp>('2');
    std::vector<ShownBox> boxes;
    std::function<void()> onBox;

private:
    std::optional<ScopedOverride<MidiBackendFactory>> m_backend;
    std::optional<ScopedOverride<ErrorBoxPresenter>> m_errorBox;
};

} // namespace orx::test
