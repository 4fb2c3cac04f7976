// The File menu's amplifier commands: a backup of the amplifier into one file, putting such a file back on the
// amplifier, and the impulse response a speaker page plays out as a WAV. The file formats and the restore's
// steps are the IR library's; this is the dialogs around them and the thread a restore runs on.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LibraryRecorder.h"

#include "AmpRestore.h"
#include "LibraryFiles.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class CSpeakerSimulationTab;
class QMessageBox;
class QWidget;

namespace orx {

class CORXManager;

// Which file the user is asked for.
enum class FileChoice {
    SaveBackup, // where a new backup goes
    OpenBackup, // the backup to restore
    SaveIr,     // where the exported WAV goes
};

// Asks the user for a file; `suggested` is the path a save proposes (empty for an open). Empty when cancelled.
// Replaceable, so tests answer it.
using FileQuestion = std::function<std::string(QWidget* owner, FileChoice choice, const std::string& suggested)>;
// Empty: the platform's file dialog. Returns the question it replaces (ScopedOverride puts it back).
FileQuestion setFileQuestion(FileQuestion question);
std::string askFile(QWidget* owner, FileChoice choice, const std::string& suggested);

enum class NoticeKind { Information, Warning, Error };
// Shows a modal box and returns when it is closed. Replaceable, so tests see what would be shown.
using NoticePresenter = std::function<void(QWidget* owner, NoticeKind kind, const QString& title, const QString& text)>;
// Empty: the platform's message box. Returns the presenter it replaces (ScopedOverride puts it back).
NoticePresenter setNoticePresenter(NoticePresenter presenter);
void showNotice(QWidget* owner, NoticeKind kind, const QString& title, const QString& text);

// Whether to go ahead with the restore `text` describes. Replaceable, so tests answer it.
using RestoreQuestion = std::function<bool(QWidget* owner, const QString& text)>;
// Empty: the box of restoreQuestionBox, run modally. Returns the question it replaces.
RestoreQuestion setRestoreQuestion(RestoreQuestion question);
bool askRestore(QWidget* owner, const QString& text);
// The box the question shows: the plan's lines, Restore and Cancel, Cancel the default.
std::unique_ptr<QMessageBox> restoreQuestionBox(QWidget* owner, const QString& text);

// "Amp backup 2026-12-10.orxbackup.json" in the home folder, with today's date.
std::string suggestedBackupPath();

// Asks where, writes the backup and says what it holds (or why it could not be written).
void backUpAmp(QWidget* owner, CORXManager& session, const std::filesystem::path& library);

// Asks for a backup, shows what restoring it would change and, once the user agrees, runs the restore on a
// thread of its own behind a modal progress box, then shows what was done. Returns only when that thread has
// ended; the caller's event loop keeps running meanwhile, so device events still reach the windows.
// `options.progress` is set here; the rest (the library, the step time-out) is used as given.
void restoreAmp(QWidget* owner, CORXManager& session, RestoreOptions options);

// What Export IR would write for a speaker page.
struct IrToExport {
    Coefficients coefficients{};
    std::string nameText; // UTF-8; the default file name
    bool tried = false;   // the file being tried, rather than the slot's stored response
};
// The file being tried, else what the IR library knows the slot in use holds; nothing when neither is there.
std::optional<IrToExport> irToExport(const CSpeakerSimulationTab& page, CORXManager& session,
                                     const std::filesystem::path& library);
// Asks where and writes the WAV; says why when there is nothing to export or it could not be written.
void exportIr(QWidget* owner, const CSpeakerSimulationTab* page, CORXManager& session,
              const std::filesystem::path& library);

} // namespace orx
