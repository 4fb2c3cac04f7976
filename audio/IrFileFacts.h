// What an impulse-response file is and whether it loads, from its headers alone: for the error box, the file
// list and orx-irinfo. Cheap (no samples are read) and safe to call from any thread.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

struct IrFileFacts {
    // What the headers say, e.g. "48000 Hz, 24-bit PCM, stereo, WAV with the extensible header"; as much as
    // is known for a file that cannot be read ("WAV"), empty when not even the container is.
    std::string description;
    // What the bytes are, whatever the name says: "WAV", "AIFF" or "AIFF-C", then " named .aif" when the name
    // promises something else; "not WAV or AIFF", or "none: the file cannot be opened".
    std::string format;
    bool loadsWithoutConversion = false;
    bool loadsWithConversion = false;
    // The codes CFIRFile::open throws without and with the conversion; 0 when it loads.
    int codeWithoutConversion = 0;
    int codeWithConversion = 0;
    // Why the conversion refuses it, e.g. "3 channels: the amp needs mono or stereo"; empty when it loads.
    std::string reason;
    // For a file only the conversion loads, what it converts, e.g. "sample rate 48000 Hz, 32-bit float samples".
    std::string conversion;
    // A file whose bytes are another container than its name promises: "a WAV file named .aif", the extension
    // that fits them (".wav") and whether under that name it loads without the conversion. Empty otherwise.
    std::string misnamed;
    std::string fittingExtension;
    bool loadsRenamed = false;
};

IrFileFacts inspectIrFile(const std::filesystem::path& path);

// The line an error box adds under its text for a file that did not load, in UTF-8:
// "<file name>: <description>. Turn on Properties ▸ IR File Conversion to use it." when the conversion loads
// it, "<file name>: <reason>." when nothing does, and "<file name>: <description>." for a file that loads.
// A misnamed file's line starts "<file name>: it is a WAV file named .aif" and, when renaming would do, says so.
std::string irFileNote(const std::filesystem::path& path, const IrFileFacts& facts);
// The same for a file that did not load with the conversion on or off: it never advises turning on a conversion
// that is on already (a file its headers let through failed further in, so the line only says what it is).
std::string irFileNote(const std::filesystem::path& path, const IrFileFacts& facts, bool convert);
