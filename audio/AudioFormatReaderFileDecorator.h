// A reader bound to the file it reads: owns the file stream and the reader over it.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AudioFormatReader.h"
#include "InputStream.h"

#include <filesystem>
#include <memory>

namespace eLibrary {

template <typename Reader> class AudioFormatReaderFileDecorator final : public AudioFormatReader {
public:
    explicit AudioFormatReaderFileDecorator(const std::filesystem::path& path) : m_stream(path)
    {
        if (!m_stream.isError())
            m_reader = std::make_unique<Reader>(&m_stream);
    }
    // The reader goes before the stream it reads (member order).
    ~AudioFormatReaderFileDecorator() override = default;

    bool isError() override { return !m_reader || m_reader->isError(); }
    bool isValid() override { return m_reader && m_reader->isValid(); }
    bool isValidSampleRate() override { return m_reader && m_reader->isValidSampleRate(); }
    bool isValidChannels() override { return m_reader && m_reader->isValidChannels(); }
    bool isValidBitsPerSample() override { return m_reader && m_reader->isValidBitsPerSample(); }
    int getChannels() override { return m_reader ? m_reader->getChannels() : 0; }
    std::int64_t getLength() override { return m_reader ? m_reader->getLength() : 0; }
    int getSampleRate() override { return m_reader ? m_reader->getSampleRate() : 0; }
    int getBitsPerSample() override { return m_reader ? m_reader->getBitsPerSample() : 0; }
    int getBitRate() override { return m_reader ? m_reader->getBitRate() : 0; }
    int getPosition() override { return m_reader ? m_reader->getPosition() : 0; }
    bool seek(int frame) override { return m_reader && m_reader->seek(frame); }
    int readInt16(std::int16_t** dest, int channels, int frames) override
    {
        return m_reader ? m_reader->readInt16(dest, channels, frames) : 0;
    }
    int readInt32(std::int32_t** dest, int channels, int frames) override
    {
        return m_reader ? m_reader->readInt32(dest, channels, frames) : 0;
    }
    int readFloat(float** dest, int channels, int frames) override
    {
        return m_reader ? m_reader->readFloat(dest, channels, frames) : 0;
    }

private:
    InputFileStream m_stream;
    std::unique_ptr<Reader> m_reader;
};

} // namespace eLibrary
