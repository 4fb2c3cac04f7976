// What the WAV and AIFF readers share: whole frames one after another in one region of the file, positions
// and seeks in frames, and block-wise reading through the sample decoders.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioFormatReader.h"
#include "SampleDecoding.h"

#include <cstdint>

namespace eLibrary {

class DataRegionReader : public AudioFormatReader {
public:
    int getPosition() override;
    bool seek(int frame) override;
    int readInt16(std::int16_t** dest, int channels, int frames) override;
    int readInt32(std::int32_t** dest, int channels, int frames) override;
    int readFloat(float** dest, int channels, int frames) override;

    // A byte position in the stream as a frame of the region, clamped to it; and back.
    std::int64_t positionToFrame(std::int64_t position) const;
    std::int64_t frameToPosition(std::int64_t frame) const;

protected:
    explicit DataRegionReader(InputStream* stream) : m_stream(stream) {}

    struct Region {
        std::int64_t first = 0; // stream position of the first sample byte
        std::int64_t bytes = 0; // sample bytes the file states, never negative
        int bytesPerFrame = 0;  // 0 for a file that cannot be read
    };
    virtual Region region() const = 0;
    virtual SampleFormat sampleFormat() const = 0;

    InputStream* m_stream;

private:
    template <typename T> int read(T** dest, int channels, int frames);
};

} // namespace eLibrary
