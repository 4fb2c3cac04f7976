// Stored IRs into the library, and the library's word on the slot in use.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "LibraryRecorder.h"

#include "AppSettings.h"
#include "IrLibrary.h"
#include "LibraryFiles.h"
#include "SaveFailures.h"

#include <exception>
#include <string>

namespace orx {

std::filesystem::path programLibraryFolder()
{
    const AppSettings* settings = AppSettings::getInstance();
    const std::string data = settings ? settings->localAppDataFolder() : std::string();
    return data.empty() ? std::filesystem::path() : libraryFolderIn(data);
}

IrRecorder libraryRecorder(std::function<std::filesystem::path()> folder)
{
    if (!folder)
        folder = &programLibraryFolder;
    IrRecorder recorder;
    recorder.record = [folder](const StoredIr& stored) {
        const std::filesystem::path where = folder();
        if (where.empty())
            return;
        LibraryEntryInput input;
        input.name = stored.record.irName;
        input.fircoe = stored.record.FIRCOE;
        if (stored.coefficientsKnown)
            input.coefficients = stored.record.coefficients;
        input.sourceFile = stored.sourceFile;
        input.processing = stored.processing;
        input.ampChannel = stored.ampCh;
        input.slot = stored.slot;
        input.kind = stored.rename ? EntryKind::Rename : EntryKind::Install;
        try {
            IrLibrary(where).record(input);
            reportSaveSucceeded(SaveTarget::IrLibrary);
        } catch (const std::exception& e) {
            // The amplifier has the response either way; only the record of it is missing.
            const std::string name = "\"" + files::nameText(stored.record.irName) + "\"";
            reportSaveFailed(SaveTarget::IrLibrary,
                             (stored.rename ? "The new name " + name + " is in the amp"
                                            : "INSTALL stored " + name + " in the amp") +
                                 ", but it could not be recorded in the IR library at " + where.string() + ": " +
                                 e.what() + ". Back Up Amp cannot restore it from the library.");
        }
    };
    recorder.describe = [folder](int slot, const FIRRecord& amp) -> std::string {
        const std::filesystem::path where = folder();
        if (where.empty())
            return {};
        if (const auto entry = IrLibrary(where).known(slot, amp.irName, amp.FIRCOE))
            return describeKnown(*entry);
        return "not in the IR library: stored before the library kept it, or by another program";
    };
    return recorder;
}

} // namespace orx
