// One impulse-response file turned into the 2048 coefficients and the name of a FIR record.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioFormatReader.h"
#include "DeviceRecords.h"
#include "IrLayout.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace eLibrary {
class ConvertedIrFile;
}

class CFIRFile {
public:
    struct Options {
        // Also load what the amplifier cannot take as it is: other rates (resampled to 44100 Hz), float and
        // 8-bit samples, the extensible WAV header, AIFF-C. Files that load without it load the same with it.
        bool convert = false;
    };

    CFIRFile();
    virtual ~CFIRFile();
    CFIRFile(const CFIRFile&) = delete;
    CFIRFile& operator=(const CFIRFile&) = delete;

    // A decorated reader chosen by the extension (".wav", ".aif", ".aiff", any case); null for others.
    static std::unique_ptr<eLibrary::AudioFormatReader> createReader(const std::filesystem::path& path);
    // The strict reader of `container` over the file, whatever its name; null for None.
    static std::unique_ptr<eLibrary::AudioFormatReader> createReader(const std::filesystem::path& path,
                                                                     eLibrary::IrContainer container);

    // Opens and checks the file; throws mstd::CGenericException 1005 to 1008.
    void open(const std::filesystem::path& path);
    // The same with the options; with the conversion on, a refusal's code names what is wrong with the file
    // (1007 rate outside 8000 to 384000 Hz, 1006 channels, 1008 sample format, 1005 container or encoding), a file
    // named ".aifc" is taken and a file whose bytes are another container than its name says is read as what it is.
    void open(const std::filesystem::path& path, const Options& options);
    // The strict reader. A file that loads only through the conversion leaves it invalid: ask getChannels().
    eLibrary::AudioFormatReader* getReader() const { return m_reader.get(); }
    // The channels of the file that opened, through either path; 0 when none did.
    int getChannels() const;
    // Whether the file that opened goes through the conversion.
    bool isConverted() const { return m_converted != nullptr; }
    // Fills out[0..2047] from file channel 0 or 1; throws 1009. Nothing is written before it succeeds.
    void readCoefficients(std::int16_t* out, int channel);

    // At most 63 bytes of src, zero-filled; an empty name becomes "Untitled".
    static void copyIRName(std::uint8_t* dest, const char* src);

private:
    std::unique_ptr<eLibrary::AudioFormatReader> m_reader;
    std::unique_ptr<eLibrary::ConvertedIrFile> m_converted;
};
