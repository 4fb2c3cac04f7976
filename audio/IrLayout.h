// What the headers of an impulse-response file say about its samples, read without the strict checks of the
// WAV and AIFF readers, and whether the conversion can load it: the code and the words of a refusal.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChunkWalk.h"
#include "InputStream.h"
#include "SampleDecoding.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace eLibrary {

// The container a file name promises; the extension alone decides, as it does for the strict readers
// (".wav", ".aif", ".aiff", any case).
enum class IrContainer { None, Wav, Aiff };
IrContainer containerByExtension(const std::filesystem::path& path);
// The same for the conversion, which also takes ".aifc", the extension most AIFF-C files have.
IrContainer convertibleByExtension(const std::filesystem::path& path);
// What the stream's first twelve bytes are (RIFF/WAVE, or FORM of type AIFF or AIFC), read from its start;
// None for anything else. The stream is left at its start.
IrContainer containerByContent(InputStream& stream);
// "WAV", "AIFF"; empty for None.
const char* containerName(IrContainer container);

inline constexpr double kConvertedRate = 44100.0;
inline constexpr double kLowestRate = 8000.0;
inline constexpr double kHighestRate = 384000.0;

struct IrLayout {
    IrContainer container = IrContainer::None;
    // What the file's name promises and its extension as spelt (".AIF"): a file whose bytes are another container
    // than its name says is read as what its bytes are, and its words say so.
    IrContainer named = IrContainer::None;
    std::string extension;
    bool opened = false;         // the file could be read at all
    bool formFound = false;      // RIFF/WAVE, or FORM of type AIFF or AIFC
    bool aifc = false;           // FORM type AIFC
    bool formatFound = false;    // a format (fmt or COMM) chunk
    bool formatShort = false;    // a format chunk too small for the fields its kind needs
    bool extensionShort = false; // WAV: tag 0xFFFE without a complete extensible header
    bool dataFound = false;

    // WAV
    std::uint16_t formatTag = 0;
    std::uint16_t blockAlign = 0;
    std::uint32_t byteRate = 0;
    std::uint16_t validBits = 0; // extensible header only
    std::uint32_t subFormat = 0; // the extensible header's GUID as a format tag, when it is one
    bool subFormatKnown = false; // the GUID is a format tag in the standard GUID layout

    // AIFF-C
    ChunkId compression{};
    bool compressionFound = false;

    int channels = 0;
    double sampleRate = 0.0;
    int bitsPerSample = 0;
    std::int64_t dataPosition = 0;
    std::int64_t dataBytes = 0;     // as stated, but never past the end of the file
    std::int64_t statedBytes = 0;   // as stated
    std::int64_t statedFrames = -1; // AIFF: the COMM frame count; WAV has none
};

// Parses the chunk structure of the file behind the stream (at its current position) as `container`.
IrLayout readIrLayout(InputStream& stream, IrContainer container);
// The layout as the conversion reads the file at `path` behind the stream: as the container its bytes are when its
// name has one of the conversion's extensions, else as what its name promises (so that a text file named .wav is
// "not a WAV file" and one named .mp3 stays "not a WAV or AIFF file").
IrLayout readConvertibleLayout(InputStream& stream, const std::filesystem::path& path);

// The file is one container under the name of another ("a WAV file named .aif"); empty when it is not.
std::string misnaming(const IrLayout& layout);
// The extension that names the container of a layout: ".wav", or ".aif" for AIFF and AIFF-C.
std::string fittingExtension(const IrLayout& layout);

enum class SampleKind { Integer, Float };

// How one sample is stored, once a layout has been judged readable.
struct IrCoding {
    SampleKind kind = SampleKind::Integer;
    ByteOrder order = ByteOrder::LittleEndian;
    int containerBytes = 0;
    int validBits = 0;    // integer samples: the significant bits at the top of the container
    bool offset8 = false; // WAV 8-bit samples are unsigned around 128
};

struct IrVerdict {
    int code = 0;       // 0 when the conversion loads the file, else 1005 to 1008
    std::string reason; // the refusal in words; empty when it loads
    std::string description;
    IrCoding coding;         // meaningful when code is 0
    std::int64_t frames = 0; // whole frames present
};

// What the conversion makes of a layout.
IrVerdict judgeForConversion(const IrLayout& layout);

// Why a file the conversion loads is not one the strict readers take: its rate, sample format or header,
// in words ("sample rate 48000 Hz", "32-bit float samples", ...).
std::string conversionNeed(const IrLayout& layout);

} // namespace eLibrary
