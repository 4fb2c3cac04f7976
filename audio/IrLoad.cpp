// The one loading path of a file, and the words of its refusal.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrLoad.h"

#include "CFIRFile.h"
#include "ErrorTexts.h"
#include "GenericException.h"
#include "IrConversion.h"
#include "IrFileFacts.h"

#include <vector>

namespace eLibrary {

IrTaps loadIrTaps(const std::filesystem::path& path, const IrLoadOptions& options,
                  const std::function<int()>& chooseChannel)
{
    CFIRFile file;
    file.open(path, CFIRFile::Options{.convert = options.convert});
    IrTaps loaded;
    // Asked of the file, not of its reader: a converted file has no reader that could tell.
    if (file.getChannels() >= 2)
        loaded.channel = chooseChannel ? chooseChannel() : 0;
    file.readCoefficients(loaded.coefficients.data(), loaded.channel);
    if (file.isConverted())
        loaded.processing = inspectIrFile(path).conversion;
    if (options.processing.any()) {
        std::vector<double> whole;
        // The whole response, not only its first 2048 samples: trimming and minimum phase bring in what lies after.
        if (!ConvertedIrFile(path).readWhole(loaded.channel, whole))
            throw mstd::CGenericException(mstd::kErrFIRFileRead, 0);
        const ProcessedIr processed = processIr(whole, options.processing);
        loaded.coefficients = processed.taps;
        loaded.processedShare = processed.keptShare;
        const std::string summary = processed.summary();
        if (!summary.empty())
            loaded.processing += (loaded.processing.empty() ? "" : "; ") + summary;
    }
    return loaded;
}

IrRefusal irRefusal(const std::filesystem::path& path, int code, bool convert)
{
    return IrRefusal{code, mstd::errorMessage(code), irFileNote(path, inspectIrFile(path), convert)};
}

IrLoadOutcome tryLoadIr(const std::filesystem::path& path, const IrLoadOptions& options,
                        const std::function<int()>& chooseChannel)
{
    IrLoadOutcome outcome;
    try {
        outcome.taps = loadIrTaps(path, options, chooseChannel);
    } catch (const mstd::CGenericException& e) {
        outcome.refusal = irRefusal(path, e.getCode(), options.convert);
    }
    return outcome;
}

} // namespace eLibrary
