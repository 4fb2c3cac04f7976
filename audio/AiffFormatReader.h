// AIFF files (not AIFF-C): 44100 Hz, one or two channels, 16, 24 or 32 bits.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChunkWalk.h"
#include "DataRegionReader.h"

namespace eLibrary {

// The 80-bit extended value of a COMM chunk as a double, field by field: the lowest 11 mantissa bits
// are dropped without rounding, and the exponent is rebiased and kept to 11 bits.
double extendedToDouble(const std::uint8_t (&bytes)[10]);

class AiffFormatReader final : public DataRegionReader {
public:
    explicit AiffFormatReader(InputStream* stream);

    bool isError() override;
    bool isValid() override;
    bool isValidSampleRate() override;
    bool isValidChannels() override;
    bool isValidBitsPerSample() override;
    int getChannels() override;
    std::int64_t getLength() override;
    int getSampleRate() override;
    int getBitsPerSample() override;
    int getBitRate() override;

private:
    Region region() const override;
    SampleFormat sampleFormat() const override;
    bool walk(std::int64_t start, std::int64_t length);
    bool handleChunk(const ChunkId& id, std::uint32_t size, std::int32_t here);

    int m_depth = 0;
    struct {
        ChunkRecord chunk;
        ChunkId formType{};
    } m_form;
    struct {
        ChunkRecord chunk;
        std::uint16_t channels = 0;
        std::uint32_t frames = 0;
        std::uint16_t bitsPerSample = 0;
        double sampleRate = 0.0;
    } m_comm;
    struct {
        ChunkRecord chunk;
        std::uint32_t offset = 0;
        std::uint32_t blockSize = 0;
    } m_ssnd;
};

} // namespace eLibrary
