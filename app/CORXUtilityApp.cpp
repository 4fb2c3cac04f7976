// Start-up and shutdown in their fixed order.
#include "CORXUtilityApp.h"

#include "AppFolders.h"
#include "CMIDIManager.h"
#include "CORXManager.h"
#include "CORXUtilityDlg.h"
#include "ErrorBox.h"
#include "GenericException.h"
#include "StringTable.h"

#include <QDir>

#include <clocale>
#include <cstdio>
#include <locale>
#include <stdexcept>

namespace orx {

namespace {

// The user's default locale for the standard library and the C conversions; a broken one is not fatal.
void useUserLocale()
{
    std::setlocale(LC_ALL, "");
    try {
        std::locale::global(std::locale(""));
    } catch (const std::runtime_error&) {
        std::setlocale(LC_ALL, "C");
    }
}

} // namespace

CORXUtilityApp::CORXUtilityApp() : CORXUtilityApp(Options{}) {}

CORXUtilityApp::CORXUtilityApp(Options options) : m_options(std::move(options))
{
    if (m_options.lockFolder.isEmpty())
        m_options.lockFolder = QDir::tempPath();
    if (!m_options.folders)
        m_options.folders = std::make_shared<DesktopFolders>();
    if (!m_options.runDialog)
        m_options.runDialog = [](QDialog& dialog) { return dialog.exec(); };
}

CORXUtilityApp::~CORXUtilityApp() = default;

bool CORXUtilityApp::InitInstance()
{
    try {
        useUserLocale();
        const QString title = QString::fromStdString(loadString(kStringAppTitle));
        m_lock = std::make_unique<QLockFile>(QDir(m_options.lockFolder).filePath(title + QStringLiteral(".lock")));
        m_lock->setStaleLockTime(0); // a copy that died leaves no lock behind: its process is checked instead
        if (!m_lock->tryLock(0))
            return false; // a copy runs already: end silently, touching nothing
        AppSettings::setFolders(m_options.folders);
        AppSettings::getInstance();
        CORXManager::getInstance();
        CORXUtilityDlg dialog;
        m_options.runDialog(dialog);
    } catch (const mstd::CGenericException& e) {
        showErrorMessage(nullptr, e.getCode());
    } catch (...) {
        std::fputs("[CATCH] Exception! - CORXUtilityApp::InitInstance()\n", stderr);
    }
    return false;
}

int CORXUtilityApp::ExitInstance()
{
    if (CORXManager* session = CORXManager::existingInstance()) {
        session->stopRequestThread();
        CORXManager::deleteInstance();
        CMIDIManager::deleteInstance();
    }
    AppSettings::deleteInstance();
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
    m_lock.reset();
    return 0;
}

} // namespace orx
