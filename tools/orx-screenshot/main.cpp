// orx-screenshot: renders the main window to a PNG once the built-in simulated amplifier is connected.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppSettings.h"
#include "CDevicePage.h"
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "CDTAListBox.h"
#include "CORXUtilityDlg.h"
#include "ErrorBox.h"
#include "CSpeakerSimulationTab.h"
#include "SimulatorPorts.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

// Settings in a throw-away folder, so a screenshot never changes the user's own.
struct ScratchFolders final : orx::SettingsFolders {
    std::string root;
    std::string localAppDataFolder() override { return root; }
    std::string musicFolder() override { return root + "/Music"; }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || !std::strcmp(argv[1], "--help")) {
        std::fputs("usage: orx-screenshot OUT.png [--model 1|2] [--tab N] [--ir-folder DIR] [--choose FILE] [--properties]\n"
                   "                      [--scale 2]\n"
                   "Starts the main window with the built-in simulated amplifier, waits until it has read the\n"
                   "amplifier's settings, and saves the window as a PNG. Runs without a display.\n"
                   "--ir-folder shows DIR on both speaker simulation pages; --choose tries the list entry FILE\n"
                   "on the page shown (a speaker simulation tab) and waits for its transfer first.\n"
                   "--properties saves the Properties dialog, opened from the Edit menu, instead of the window.\n"
                   "--scale 2 draws as on a HiDPI screen: the PNG has twice the pixels in each direction.\n",
                   argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const char* out = argv[1];
    int model = 2;
    int tab = 0;
    const char* irFolder = nullptr;
    QString choose;
    bool properties = false;
    const char* scale = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--properties")) {
            properties = true;
            continue;
        }
        if (i + 1 >= argc)
            break;
        if (!std::strcmp(argv[i], "--model"))
            model = std::atoi(argv[i + 1]) == 1 ? 1 : 2;
        else if (!std::strcmp(argv[i], "--tab"))
            tab = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--ir-folder"))
            irFolder = argv[i + 1];
        else if (!std::strcmp(argv[i], "--choose"))
            choose = QString::fromLocal8Bit(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--scale"))
            scale = argv[i + 1];
        ++i;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Scales every screen, so the window and its grab come out at that device pixel ratio.
    if (scale != nullptr)
        qputenv("QT_SCALE_FACTOR", scale);
    QApplication application(argc, argv);

    QTemporaryDir scratch;
    auto folders = std::make_shared<ScratchFolders>();
    folders->root = scratch.path().toStdString();
    orx::AppSettings::setFolders(folders);
    if (irFolder) {
        orx::AppSettings* settings = orx::AppSettings::getInstance();
        settings->FolderPathAmpI = settings->FolderPathAmpII = orx::removeTrailingSeparator(irFolder);
    }
    auto amp = std::make_shared<orx::sim::SimulatedAmp>(static_cast<std::uint8_t>('0' + model));
    orx::CMIDIManager::setBackendFactory([amp] { return std::make_unique<orx::sim::SimulatorPortBackend>(amp); });

    // A picture is taken even when something goes wrong; the error is reported, not waited on.
    orx::setErrorBoxPresenter([](QWidget*, const QString&, const QString& text, const QString& informative) {
        if (informative.isEmpty())
            std::fprintf(stderr, "orx-screenshot: error box: %s\n", qPrintable(text));
        else
            std::fprintf(stderr, "orx-screenshot: error box: %s (%s)\n", qPrintable(text),
                         informative.toUtf8().constData());
    });

    int status = 1;
    {
        orx::CORXUtilityDlg dialog;
        dialog.show();
        auto snap = [&] {
            QTimer::singleShot(50, &dialog, [&] {
                if (!properties) {
                    // The speaker pages dim the files they cannot use once their background check is in.
                    QDeadlineTimer checks(5000);
                    for (int i = 2; i < 4; ++i)
                        if (auto* page = qobject_cast<CSpeakerSimulationTab*>(dialog.page(i)))
                            while (page->fileChecksShown() == 0 && !checks.hasExpired())
                                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                    status = dialog.grab().save(QString::fromLocal8Bit(out)) ? 0 : 1;
                    dialog.close();
                    return;
                }
                // The dialog runs modally: it is saved from inside its own run, then cancelled.
                QTimer::singleShot(100, &dialog, [&] {
                    if (QWidget* modal = QApplication::activeModalWidget()) {
                        status = modal->grab().save(QString::fromLocal8Bit(out)) ? 0 : 1;
                        modal->close();
                    }
                });
                dialog.commandAction(orx::kCmdProperties)->trigger();
                dialog.close();
            });
        };
        // The window is ready when every page has had the amplifier's settings (event 6).
        QObject::connect(dialog.page(3), &CDevicePage::deviceEventReceived, &dialog, [&](int event, int) {
            if (event != orx::kEventReadAll)
                return;
            if (tab > 0 && tab < dialog.tabBar()->count())
                dialog.tabBar()->setCurrentIndex(tab);
            auto* speaker = qobject_cast<CSpeakerSimulationTab*>(dialog.page(dialog.tabBar()->tabData(
                dialog.tabBar()->currentIndex()).toInt()));
            const QList<QListWidgetItem*> found =
                speaker && !choose.isEmpty() ? speaker->fileList()->findItems(choose, Qt::MatchExactly)
                                             : QList<QListWidgetItem*>();
            if (!found.isEmpty()) {
                // The picture is taken once the file has reached the amplifier (event 9).
                QObject::connect(speaker, &CDevicePage::deviceEventReceived, &dialog, [&](int e, int) {
                    if (e == orx::kEventInstalled)
                        snap();
                });
                found.front()->setSelected(true);
                return;
            }
            snap();
        });
        QTimer::singleShot(20000, &dialog, [&] {
            std::fputs("orx-screenshot: the simulated amplifier never finished connecting\n", stderr);
            dialog.close();
        });
        QApplication::exec();
    }
    orx::CORXManager::deleteInstance();
    orx::CMIDIManager::deleteInstance();
    orx::AppSettings::deleteInstance();
    return status;
}
