// The interface every audio-file reader offers the impulse-response loader.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace eLibrary {

class AudioFormatReader {
public:
    virtual ~AudioFormatReader() = default;
    virtual bool isError() = 0;
    virtual bool isValid() = 0;
    virtual bool isValidSampleRate() = 0;
    virtual bool isValidChannels() = 0;
    virtual bool isValidBitsPerSample() = 0;
    virtual int getChannels() = 0;
    // Frames as the file states them: a 32-bit unsigned size or count, so wider than int.
    virtual std::int64_t getLength() = 0;
    virtual int getSampleRate() = 0;
    virtual int getBitsPerSample() = 0;
    virtual int getBitRate() = 0;
    virtual int getPosition() = 0;
    virtual bool seek(int frame) = 0;
    // dest holds one buffer per requested channel; returns the frames delivered (0 on any failure).
    virtual int readInt16(std::int16_t** dest, int channels, int frames) = 0;
    virtual int readInt32(std::int32_t** dest, int channels, int frames) = 0;
    virtual int readFloat(float** dest, int channels, int frames) = 0;
};

} // namespace eLibrary
