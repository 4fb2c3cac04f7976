// Back Up Amp, Restore Amp and Export IR: the questions, the boxes and the restoring thread.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CBackupRestore.h"

#include "IrNameText.h"

#include "AmpBackup.h"
#include "AppSettings.h"
#include "CORXManager.h"
#include "CSpeakerSimulationTab.h"
#include "IrLibrary.h"
#include "RestorePlan.h"
#include "WavExport.h"

#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include <atomic>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

namespace orx {

namespace {

FileQuestion g_fileQuestion;
NoticePresenter g_noticePresenter;
RestoreQuestion g_restoreQuestion;

const QString kBackUpTitle = QStringLiteral("Back Up Amp");
const QString kRestoreTitle = QStringLiteral("Restore Amp");
const QString kExportTitle = QStringLiteral("Export IR");

// The first line heads the box; each line under it is one item, so a line that wraps still reads as one.
QString joinLines(const std::vector<std::string>& lines)
{
    QStringList out;
    for (std::size_t i = 0; i < lines.size(); ++i)
        out << (i == 0 ? QString() : QStringLiteral("\u2022 ")) + QString::fromStdString(lines[i]);
    return out.join(QLatin1Char('\n'));
}

QString fileName(const std::string& path)
{
    return QString::fromStdString(std::filesystem::path(path).filename().string());
}

const QString kNotConnected =
    QStringLiteral("The amplifier is not connected, or has not been read yet. Connect it and wait until the "
                   "pages show its settings.");

bool readyForTheAmp(CORXManager& session)
{
    const std::uint8_t model = session.getModelCode();
    return session.isOpen() && (model == '1' || model == '2');
}

QString slotList(const AmpBackup& backup, bool withCoefficients)
{
    QStringList names;
    for (const BackupSlot& s : backup.slots)
        if (s.coefficients.has_value() == withCoefficients)
            names << QString::fromStdString(slotLabel(s.slot) + " \"" + files::nameText(s.name) + "\"");
    return names.join(QStringLiteral(", "));
}

QString backupSummary(const AmpBackup& backup, const std::string& path)
{
    const auto slots = static_cast<int>(backup.slots.size());
    int known = 0;
    for (const BackupSlot& s : backup.slots)
        known += s.coefficients.has_value() ? 1 : 0;
    QString text = QStringLiteral("Saved the amplifier's settings and its %1 slots to \"%2\".").arg(slots).arg(
        fileName(path));
    if (known > 0)
        text += QStringLiteral("\n\nWith their coefficients, so a restore can write them (%1 of %2): %3.")
                    .arg(known)
                    .arg(slots)
                    .arg(slotList(backup, true));
    if (known < slots)
        text += QStringLiteral("\n\nName and gain only, as the IR library does not know what they hold (%1 of %2): "
                               "%3.")
                    .arg(slots - known)
                    .arg(slots)
                    .arg(slotList(backup, false));
    return text;
}

// Modal, without a cancel: a slot half written is worse than waiting for it, and the window behind must not
// close while the restoring thread still uses the session.
class RestoreProgress final : public QProgressDialog {
public:
    explicit RestoreProgress(QWidget* owner) : QProgressDialog(owner)
    {
        setWindowTitle(kRestoreTitle);
        setCancelButton(nullptr);
        setWindowModality(Qt::ApplicationModal);
        setAutoClose(false);
        setAutoReset(false);
        setMinimumDuration(0);
        setMinimumWidth(420);
    }
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            event->accept();
        else
            QProgressDialog::keyPressEvent(event);
    }
};

RestoreReport restoreWithProgress(QWidget* owner, CORXManager& session, const AmpBackup& backup,
                                  const RestorePlan& plan, RestoreOptions options)
{
    RestoreProgress progress(owner);
    progress.setRange(0, restoreStepCount(plan));
    progress.setLabelText(QStringLiteral("Starting the restore"));
    progress.setValue(0);
    progress.show();

    // The callback runs on the restoring thread; the box is changed only on its own. A call still queued when
    // the box goes is dropped with it.
    options.progress = [&progress](int done, int total, const std::string& step) {
        QMetaObject::invokeMethod(
            &progress,
            [&progress, done, total, text = QString::fromStdString(step)] {
                progress.setMaximum(total);
                progress.setLabelText(text);
                progress.setValue(done);
            },
            Qt::QueuedConnection);
    };

    QEventLoop loop;
    std::atomic<bool> finished{false};
    RestoreReport report;
    std::thread restoring([&] {
        try {
            report = runRestore(session, backup, plan, options);
        } catch (const std::exception& e) {
            report = {};
            report.interrupted = true;
            report.reason = e.what();
        } catch (...) {
            report = {};
            report.interrupted = true;
            report.reason = "an unexpected failure";
        }
        finished = true;
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    // A box opened meanwhile (a device error) may take the quit in its own loop; the flag is the truth.
    while (!finished.load())
        loop.exec();
    restoring.join();
    progress.hide();
    return report;
}

QString safeFileName(const std::string& nameText)
{
    QString name = QString::fromStdString(nameText).trimmed();
    for (QChar& c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral(".."))
        name = QStringLiteral("Impulse response");
    return name;
}

} // namespace

FileQuestion setFileQuestion(FileQuestion question)
{
    return std::exchange(g_fileQuestion, std::move(question));
}

std::string askFile(QWidget* owner, FileChoice choice, const std::string& suggested)
{
    if (g_fileQuestion)
        return g_fileQuestion(owner, choice, suggested);
    const QString backups = QStringLiteral("Amp backups (*.orxbackup.json *.json);;All files (*)");
    QString chosen;
    switch (choice) {
    case FileChoice::SaveBackup:
        chosen = QFileDialog::getSaveFileName(owner, kBackUpTitle, QString::fromStdString(suggested), backups);
        break;
    case FileChoice::OpenBackup:
        chosen = QFileDialog::getOpenFileName(owner, kRestoreTitle, QDir::homePath(), backups);
        break;
    case FileChoice::SaveIr:
        chosen = QFileDialog::getSaveFileName(owner, kExportTitle, QString::fromStdString(suggested),
                                              QStringLiteral("WAV files (*.wav);;All files (*)"));
        break;
    }
    return chosen.toStdString();
}

NoticePresenter setNoticePresenter(NoticePresenter presenter)
{
    return std::exchange(g_noticePresenter, std::move(presenter));
}

void showNotice(QWidget* owner, NoticeKind kind, const QString& title, const QString& text)
{
    if (g_noticePresenter) {
        g_noticePresenter(owner, kind, title, text);
        return;
    }
    const QMessageBox::Icon icon = kind == NoticeKind::Error     ? QMessageBox::Critical
                                   : kind == NoticeKind::Warning ? QMessageBox::Warning
                                                                 : QMessageBox::Information;
    QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
    box.exec();
}

RestoreQuestion setRestoreQuestion(RestoreQuestion question)
{
    return std::exchange(g_restoreQuestion, std::move(question));
}

std::unique_ptr<QMessageBox> restoreQuestionBox(QWidget* owner, const QString& text)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Question, kRestoreTitle, text, QMessageBox::NoButton, owner);
    box->setInformativeText(QStringLiteral("The slots are overwritten; this cannot be undone."));
    box->addButton(QStringLiteral("Restore"), QMessageBox::AcceptRole);
    // Enter alone must not overwrite the amplifier.
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    return box;
}

bool askRestore(QWidget* owner, const QString& text)
{
    if (g_restoreQuestion)
        return g_restoreQuestion(owner, text);
    const auto box = restoreQuestionBox(owner, text);
    box->exec();
    return box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole;
}

std::string suggestedBackupPath()
{
    const QString name =
        QStringLiteral("Amp backup %1.orxbackup.json").arg(QDate::currentDate().toString(Qt::ISODate));
    return QDir(QDir::homePath()).filePath(name).toStdString();
}

void backUpAmp(QWidget* owner, CORXManager& session, const std::filesystem::path& library)
{
    if (!readyForTheAmp(session)) {
        showNotice(owner, NoticeKind::Information, kBackUpTitle, kNotConnected);
        return;
    }
    const std::string path = askFile(owner, FileChoice::SaveBackup, suggestedBackupPath());
    if (path.empty())
        return;
    try {
        const IrLibrary known(library);
        const AmpBackup backup = makeBackup(snapshotOfSession(session), known);
        writeBackup(path, backup);
        showNotice(owner, NoticeKind::Information, kBackUpTitle, backupSummary(backup, path));
    } catch (const std::exception& e) {
        showNotice(owner, NoticeKind::Error, kBackUpTitle,
                   QStringLiteral("The backup could not be saved to \"%1\": %2.")
                       .arg(QString::fromStdString(path), QString::fromStdString(e.what())));
    }
}

void restoreAmp(QWidget* owner, CORXManager& session, RestoreOptions options)
{
    if (!readyForTheAmp(session)) {
        showNotice(owner, NoticeKind::Information, kRestoreTitle, kNotConnected);
        return;
    }
    const std::string path = askFile(owner, FileChoice::OpenBackup, {});
    if (path.empty())
        return;
    const BackupReadResult read = readBackup(path);
    if (!read.backup) {
        showNotice(owner, NoticeKind::Error, kRestoreTitle,
                   QStringLiteral("\"%1\" cannot be restored: %2")
                       .arg(fileName(path), QString::fromStdString(read.problem)));
        return;
    }
    // The amplifier may have gone while the file dialog was open.
    if (!readyForTheAmp(session)) {
        showNotice(owner, NoticeKind::Information, kRestoreTitle, kNotConnected);
        return;
    }
    const RestorePlan plan = planRestore(*read.backup, snapshotOfSession(session));
    const QString planText = joinLines(describePlan(plan));
    if (!plan.changesAnything()) {
        showNotice(owner, NoticeKind::Information, kRestoreTitle, planText);
        return;
    }
    if (!askRestore(owner, planText))
        return;
    const RestoreReport report = restoreWithProgress(owner, session, *read.backup, plan, std::move(options));
    showNotice(owner, report.interrupted ? NoticeKind::Warning : NoticeKind::Information, kRestoreTitle,
               joinLines(describeReport(report)));
}

std::optional<IrToExport> irToExport(const CSpeakerSimulationTab& page, CORXManager& session,
                                     const std::filesystem::path& library)
{
    if (!page.isConnected())
        return std::nullopt;
    // The tried file's own name, as the user's file system spells it: the amp's name may have lost its accents.
    if (const std::optional<FIRRecord> tried = page.triedRecord()) {
        const auto file = page.triedFile();
        return IrToExport{tried->coefficients,
                          file ? validUtf8(std::filesystem::path(file->path).stem().string())
                               : files::nameText(tried->irName),
                          true};
    }
    const int ampCh = page.ampChannel();
    if ((ampCh != 0 && ampCh != 1) || library.empty())
        return std::nullopt;
    const int type = session.getIrSlot(ampCh);
    if (type < 0 || type >= static_cast<int>(kSlotsPerChannel))
        return std::nullopt;
    FIRRecord current;
    session.getCurrentIR(ampCh, current);
    const IrLibrary known(library);
    const auto entry = known.known(type + ampCh * static_cast<int>(kSlotsPerChannel), current.irName, current.FIRCOE);
    if (!entry)
        return std::nullopt;
    const auto coefficients = known.coefficients(*entry);
    if (!coefficients)
        return std::nullopt;
    return IrToExport{*coefficients, files::nameText(current.irName), false};
}

void exportIr(QWidget* owner, const CSpeakerSimulationTab* page, CORXManager& session,
              const std::filesystem::path& library)
{
    if (!page) {
        showNotice(owner, NoticeKind::Information, kExportTitle,
                   QStringLiteral("Export IR writes what a Speaker Simulation page plays: show one of them first."));
        return;
    }
    const std::optional<IrToExport> ir = irToExport(*page, session, library);
    if (!ir) {
        showNotice(owner, NoticeKind::Information, kExportTitle,
                   QStringLiteral("There is nothing to export: no file is being tried, and the IR library does not "
                                  "know what the slot in use holds (it was stored before the library kept it, or by "
                                  "another program)."));
        return;
    }
    const std::string suggested = QDir(QDir::homePath()).filePath(safeFileName(ir->nameText) + ".wav").toStdString();
    const std::string path = askFile(owner, FileChoice::SaveIr, suggested);
    if (path.empty())
        return;
    try {
        exportCoefficientsWav(path, ir->coefficients);
    } catch (const std::exception& e) {
        showNotice(owner, NoticeKind::Error, kExportTitle,
                   QStringLiteral("The IR could not be exported to \"%1\": %2.")
                       .arg(QString::fromStdString(path), QString::fromStdString(e.what())));
    }
}

} // namespace orx
