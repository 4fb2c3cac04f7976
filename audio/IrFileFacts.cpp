// File facts for the user: the strict check and the conversion's, and the words for what they found.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrFileFacts.h"

#include "CFIRFile.h"
#include "GenericException.h"
#include "IrConversion.h"

namespace {

int openCode(const std::filesystem::path& path)
{
    CFIRFile file;
    try {
        file.open(path);
        return 0;
    } catch (const mstd::CGenericException& e) {
        return e.getCode();
    }
}

} // namespace

IrFileFacts inspectIrFile(const std::filesystem::path& path)
{
    IrFileFacts facts;
    facts.codeWithoutConversion = openCode(path);
    facts.loadsWithoutConversion = facts.codeWithoutConversion == 0;

    const eLibrary::ConvertedIrFile converted(path);
    const eLibrary::IrVerdict& verdict = converted.verdict();
    facts.description = verdict.description;
    // CFIRFile::open with the conversion: the strict path first, then the conversion's verdict.
    facts.codeWithConversion = facts.loadsWithoutConversion ? 0 : verdict.code;
    facts.loadsWithConversion = facts.codeWithConversion == 0;
    if (!facts.loadsWithConversion)
        facts.reason = verdict.reason;
    else if (!facts.loadsWithoutConversion)
        facts.conversion = eLibrary::conversionNeed(converted.layout());
    return facts;
}

std::string irFileNote(const std::filesystem::path& path, const IrFileFacts& facts)
{
    const std::string name = path.filename().string();
    if (!facts.loadsWithConversion)
        return name + ": " + facts.reason + ".";
    if (!facts.loadsWithoutConversion)
        return name + ": " + facts.description + ". Turn on Properties \u25B8 IR File Conversion to use it.";
    return name + ": " + facts.description + ".";
}
