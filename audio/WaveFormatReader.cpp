// Parsing and reading of WAV files.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveFormatReader.h"

namespace eLibrary {

namespace {
constexpr std::uint32_t kRequiredRate = 44100;
} // namespace

WaveFormatReader::WaveFormatReader(InputStream* stream) : DataRegionReader(stream)
{
    if (!m_stream || m_stream->isError())
        return;
    const std::int32_t start = m_stream->getPosition();
    if (walk(start, static_cast<std::int64_t>(m_stream->getSize()) - start))
        m_stream->seek(static_cast<std::int32_t>(frameToPosition(0)), SeekBegin);
}

bool WaveFormatReader::walk(std::int64_t start, std::int64_t length)
{
    return walkChunks(
        *m_stream, ByteOrder::LittleEndian, start, length,
        [this](const ChunkId& id, std::uint32_t size, std::int32_t here) { return handleChunk(id, size, here); });
}

bool WaveFormatReader::handleChunk(const ChunkId& id, std::uint32_t size, std::int32_t here)
{
    if (!m_stream->seek(here, SeekBegin))
        return false;
    // Containers nest, but only so deep: a file of nothing but nested headers must not exhaust the stack.
    if (isId(id, "RIFF") && m_depth < kMaxContainerDepth) {
        m_riff.chunk = {id, size, here};
        if (!readId(*m_stream, m_riff.formType))
            return false;
        ++m_depth;
        const bool walked = walk(here, size);
        --m_depth;
        return walked;
    }
    if (isId(id, "data")) {
        m_data = {id, size, here};
        return true;
    }
    if (isId(id, "fmt ")) {
        m_format.chunk = {id, size, here};
        const ByteOrder le = ByteOrder::LittleEndian;
        return readNumber(*m_stream, le, m_format.formatTag) && readNumber(*m_stream, le, m_format.channels) &&
               readNumber(*m_stream, le, m_format.sampleRate) && readNumber(*m_stream, le, m_format.byteRate) &&
               readNumber(*m_stream, le, m_format.blockAlign) && readNumber(*m_stream, le, m_format.bitsPerSample);
    }
    return true;
}

bool WaveFormatReader::isError()
{
    return !m_stream || m_stream->isError();
}

bool WaveFormatReader::isValid()
{
    const std::uint32_t bytes = static_cast<std::uint32_t>(containerBytes(m_format.bitsPerSample));
    const bool riff = isId(m_riff.chunk.id, "RIFF") && m_riff.chunk.size >= 4 && isId(m_riff.formType, "WAVE");
    const bool format = isId(m_format.chunk.id, "fmt ") && m_format.formatTag == kWaveFormatPCM && isValidChannels() &&
                        isValidSampleRate() && m_format.byteRate == m_format.channels * bytes * kRequiredRate &&
                        m_format.blockAlign == static_cast<std::uint16_t>(m_format.channels * bytes) &&
                        isValidBitsPerSample();
    const bool data = isId(m_data.id, "data") && m_format.blockAlign != 0 && m_data.size % m_format.blockAlign == 0;
    return riff && format && data;
}

bool WaveFormatReader::isValidSampleRate()
{
    return m_format.sampleRate == kRequiredRate;
}
bool WaveFormatReader::isValidChannels()
{
    return m_format.channels == 1 || m_format.channels == 2;
}

bool WaveFormatReader::isValidBitsPerSample()
{
    return m_format.bitsPerSample == 16 || m_format.bitsPerSample == 24 || m_format.bitsPerSample == 32;
}

int WaveFormatReader::getChannels()
{
    return m_format.channels;
}

std::int64_t WaveFormatReader::getLength()
{
    if (m_format.blockAlign == 0)
        return 0;
    // Streaming recorders state 0xFFFFFFFF and never fix it; that size must not wrap to a negative count.
    return static_cast<std::int64_t>(m_data.size) / m_format.blockAlign;
}

int WaveFormatReader::getSampleRate()
{
    return static_cast<int>(m_format.sampleRate);
}
int WaveFormatReader::getBitsPerSample()
{
    return m_format.bitsPerSample;
}

int WaveFormatReader::getBitRate()
{
    return static_cast<int>(static_cast<std::uint32_t>(m_format.bitsPerSample) * m_format.channels *
                            m_format.sampleRate);
}

DataRegionReader::Region WaveFormatReader::region() const
{
    return {m_data.position, m_data.size, m_format.blockAlign};
}

SampleFormat WaveFormatReader::sampleFormat() const
{
    return {m_format.channels, m_format.bitsPerSample, ByteOrder::LittleEndian, m_format.formatTag};
}

} // namespace eLibrary
