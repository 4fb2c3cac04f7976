// Parsing and reading of AIFF files.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AiffFormatReader.h"

#include <bit>

namespace eLibrary {

namespace {
constexpr double kRequiredRate = 44100.0;
constexpr std::uint32_t kCommSize = 18;
} // namespace

double extendedToDouble(const std::uint8_t (&bytes)[10])
{
    const std::uint32_t word = (static_cast<std::uint32_t>(bytes[0]) << 8) | bytes[1];
    std::uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i)
        mantissa = (mantissa << 8) | bytes[i];
    const std::uint64_t sign = (word >> 15) & 1;
    const std::uint64_t exponent = ((word & 0x7FFF) - 15360u) & 0x7FF; // 16383 - 1023
    const std::uint64_t fraction = (mantissa >> 11) & ((std::uint64_t{1} << 52) - 1);
    return std::bit_cast<double>((sign << 63) | (exponent << 52) | fraction);
}

AiffFormatReader::AiffFormatReader(InputStream* stream) : DataRegionReader(stream)
{
    if (!m_stream || m_stream->isError())
        return;
    const std::int32_t start = m_stream->getPosition();
    if (walk(start, static_cast<std::int64_t>(m_stream->getSize()) - start))
        m_stream->seek(static_cast<std::int32_t>(frameToPosition(0)), SeekBegin);
}

bool AiffFormatReader::walk(std::int64_t start, std::int64_t length)
{
    return walkChunks(
        *m_stream, ByteOrder::BigEndian, start, length,
        [this](const ChunkId& id, std::uint32_t size, std::int32_t here) { return handleChunk(id, size, here); });
}

bool AiffFormatReader::handleChunk(const ChunkId& id, std::uint32_t size, std::int32_t here)
{
    if (!m_stream->seek(here, SeekBegin))
        return false;
    const ByteOrder be = ByteOrder::BigEndian;
    if (isId(id, "COMM")) {
        m_comm.chunk = {id, size, here};
        std::uint8_t rate[10];
        if (!readNumber(*m_stream, be, m_comm.channels) || !readNumber(*m_stream, be, m_comm.frames) ||
            !readNumber(*m_stream, be, m_comm.bitsPerSample) ||
            m_stream->read(rate, sizeof rate) != static_cast<std::int32_t>(sizeof rate))
            return false;
        m_comm.sampleRate = extendedToDouble(rate);
        return true;
    }
    // Containers nest, but only so deep: a file of nothing but nested headers must not exhaust the stack.
    if (isId(id, "FORM") && m_depth < kMaxContainerDepth) {
        m_form.chunk = {id, size, here};
        if (!readId(*m_stream, m_form.formType))
            return false;
        ++m_depth;
        const bool walked = walk(here, size);
        --m_depth;
        return walked;
    }
    if (isId(id, "SSND")) {
        m_ssnd.chunk = {id, size, here};
        return readNumber(*m_stream, be, m_ssnd.offset) && readNumber(*m_stream, be, m_ssnd.blockSize);
    }
    return true;
}

bool AiffFormatReader::isError()
{
    return !m_stream || m_stream->isError();
}

bool AiffFormatReader::isValid()
{
    const std::uint32_t bytes = static_cast<std::uint32_t>(containerBytes(m_comm.bitsPerSample));
    const bool form = isId(m_form.chunk.id, "FORM") && m_form.chunk.size >= 4 && isId(m_form.formType, "AIFF");
    const bool comm = isId(m_comm.chunk.id, "COMM") && m_comm.chunk.size == kCommSize && isValidChannels() &&
                      isValidBitsPerSample() && isValidSampleRate();
    // Compared in 32 bits, as the amplifier's tools always have.
    const bool ssnd = isId(m_ssnd.chunk.id, "SSND") &&
                      m_ssnd.chunk.size == m_ssnd.offset + 8u + bytes * m_comm.channels * m_comm.frames;
    return form && comm && ssnd;
}

bool AiffFormatReader::isValidSampleRate()
{
    return m_comm.sampleRate == kRequiredRate;
}
bool AiffFormatReader::isValidChannels()
{
    return m_comm.channels == 1 || m_comm.channels == 2;
}

bool AiffFormatReader::isValidBitsPerSample()
{
    return m_comm.bitsPerSample == 16 || m_comm.bitsPerSample == 24 || m_comm.bitsPerSample == 32;
}

int AiffFormatReader::getChannels()
{
    return m_comm.channels;
}
std::int64_t AiffFormatReader::getLength()
{
    return m_comm.frames;
}

int AiffFormatReader::getSampleRate()
{
    // Out-of-range rates (a broken file) would make the conversion undefined.
    if (!(m_comm.sampleRate > -2147483648.0 && m_comm.sampleRate < 2147483648.0))
        return 0;
    return static_cast<int>(m_comm.sampleRate);
}

int AiffFormatReader::getBitsPerSample()
{
    return m_comm.bitsPerSample;
}

int AiffFormatReader::getBitRate()
{
    const double rate = static_cast<double>(m_comm.channels) * m_comm.sampleRate * m_comm.bitsPerSample;
    if (!(rate > -2147483648.0 && rate < 2147483648.0))
        return 0;
    return static_cast<int>(rate);
}

DataRegionReader::Region AiffFormatReader::region() const
{
    // An offset beyond the chunk leaves no samples rather than a negative count.
    const std::int64_t bytes =
        std::max<std::int64_t>(static_cast<std::int64_t>(m_ssnd.chunk.size) - m_ssnd.offset - 8, 0);
    return {static_cast<std::int64_t>(m_ssnd.chunk.position) + 8 + m_ssnd.offset, bytes,
            static_cast<std::uint16_t>(containerBytes(m_comm.bitsPerSample) * m_comm.channels)};
}

SampleFormat AiffFormatReader::sampleFormat() const
{
    return {m_comm.channels, m_comm.bitsPerSample, ByteOrder::BigEndian, 0};
}

} // namespace eLibrary
