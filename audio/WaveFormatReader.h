// RIFF/WAVE files: integer PCM, 44100 Hz, one or two channels, 16, 24 or 32 bits.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChunkWalk.h"
#include "DataRegionReader.h"

namespace eLibrary {

class WaveFormatReader final : public DataRegionReader {
public:
    explicit WaveFormatReader(InputStream* stream);

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
    } m_riff;
    struct {
        ChunkRecord chunk;
        std::uint16_t formatTag = 0;
        std::uint16_t channels = 0;
        std::uint32_t sampleRate = 0;
        std::uint32_t byteRate = 0;
        std::uint16_t blockAlign = 0;
        std::uint16_t bitsPerSample = 0;
    } m_format;
    ChunkRecord m_data;
};

} // namespace eLibrary
