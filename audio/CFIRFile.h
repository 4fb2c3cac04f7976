// One impulse-response file turned into the 2048 coefficients and the name of a FIR record.
#pragma once

#include "AudioFormatReader.h"
#include "DeviceRecords.h"

#include <cstdint>
#include <filesystem>
#include <memory>

class CFIRFile {
public:
    CFIRFile() = default;
    virtual ~CFIRFile() = default;
    CFIRFile(const CFIRFile&) = delete;
    CFIRFile& operator=(const CFIRFile&) = delete;

    // A decorated reader chosen by the extension (".wav", ".aif", ".aiff", any case); null for others.
    static std::unique_ptr<eLibrary::AudioFormatReader> createReader(const std::filesystem::path& path);

    // Opens and checks the file; throws mstd::CGenericException 1005 to 1008.
    void open(const std::filesystem::path& path);
    eLibrary::AudioFormatReader* getReader() const { return m_reader.get(); }
    // Fills out[0..2047] from file channel 0 or 1; throws 1009. Nothing is written before it succeeds.
    void readCoefficients(std::int16_t* out, int channel);

    // At most 63 bytes of src, zero-filled; an empty name becomes "Untitled".
    static void copyIRName(std::uint8_t* dest, const char* src);

private:
    std::unique_ptr<eLibrary::AudioFormatReader> m_reader;
};
