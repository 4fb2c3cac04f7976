// File facts for the user: the strict check and the conversion's, and the words for what they found.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrFileFacts.h"

#include "CFIRFile.h"
#include "GenericException.h"
#include "IrConversion.h"
#include "IrNameText.h"

#include <cstring>
#include <system_error>

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

// What the first twelve bytes say, read apart from the layout: the conversion parses a file named .mp3 as
// nothing, but the user asking what it is should still hear that it is a WAV.
std::string formatOf(const std::filesystem::path& path)
{
    std::error_code ignored;
    eLibrary::InputFileStream stream(path);
    if (stream.isError() || std::filesystem::is_directory(path, ignored))
        return "none: the file cannot be opened";
    const eLibrary::IrContainer content = eLibrary::containerByContent(stream);
    if (content == eLibrary::IrContainer::None)
        return "not WAV or AIFF";
    std::string format = eLibrary::containerName(content);
    if (content == eLibrary::IrContainer::Aiff) {
        char type[4] = {};
        if (stream.seek(8, eLibrary::SeekBegin) && stream.read(type, 4) == 4 && std::memcmp(type, "AIFC", 4) == 0)
            format = "AIFF-C";
    }
    if (eLibrary::convertibleByExtension(path) != content) {
        const std::string& text = path.native();
        const auto dot = text.rfind('.');
        format += dot == std::string::npos ? " without an extension" : " named " + text.substr(dot);
    }
    return format;
}

bool loadsStrictlyAs(const std::filesystem::path& path, eLibrary::IrContainer container)
{
    const auto reader = CFIRFile::createReader(path, container);
    return reader && !reader->isError() && reader->isValid();
}

std::string shownName(const std::filesystem::path& path)
{
    return orx::validUtf8(path.filename().string());
}

const std::string kConversionSetting = "Properties \u25B8 IR File Conversion";
const std::string kTurnOn = "Turn on " + kConversionSetting + " to use it.";

} // namespace

IrFileFacts inspectIrFile(const std::filesystem::path& path)
{
    IrFileFacts facts;
    facts.codeWithoutConversion = openCode(path);
    facts.loadsWithoutConversion = facts.codeWithoutConversion == 0;
    facts.format = formatOf(path);

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
    facts.misnamed = eLibrary::misnaming(converted.layout());
    if (!facts.misnamed.empty()) {
        facts.fittingExtension = eLibrary::fittingExtension(converted.layout());
        facts.loadsRenamed = loadsStrictlyAs(path, converted.layout().container);
    }
    return facts;
}

std::string irFileNote(const std::filesystem::path& path, const IrFileFacts& facts)
{
    const std::string name = shownName(path);
    if (!facts.misnamed.empty()) {
        const std::string what = name + ": it is " + facts.misnamed;
        if (!facts.loadsWithConversion)
            return what + "; " + facts.reason + ".";
        const std::string told = what + " (" + facts.description + "). ";
        if (facts.loadsRenamed)
            return told + "Rename it to " + facts.fittingExtension + ", or turn on " + kConversionSetting + " to use it.";
        return told + kTurnOn;
    }
    if (!facts.loadsWithConversion)
        return name + ": " + facts.reason + ".";
    if (!facts.loadsWithoutConversion)
        return name + ": " + facts.description + ". " + kTurnOn;
    return name + ": " + facts.description + ".";
}

std::string irFileNote(const std::filesystem::path& path, const IrFileFacts& facts, bool convert)
{
    if (convert && facts.loadsWithConversion && !facts.loadsWithoutConversion) {
        const std::string what = facts.misnamed.empty() ? facts.description
                                                        : "it is " + facts.misnamed + " (" + facts.description + ")";
        return shownName(path) + ": " + what + ".";
    }
    return irFileNote(path, facts);
}
