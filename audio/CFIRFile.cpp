// Loading an impulse-response file: reader choice, the checks and their error codes, coefficients, name.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CFIRFile.h"

#include "AiffFormatReader.h"
#include "AudioFormatReaderFileDecorator.h"
#include "GenericException.h"
#include "IrConversion.h"
#include "WaveFormatReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kCoefficients = static_cast<int>(orx::kCoefficientCount);

[[noreturn]] void raise(std::int32_t code)
{
    throw mstd::CGenericException(code, 0);
}

// Reads up to 2048 frames of the first two file channels into `channels`, widened or narrowed to 16 bits.
template <typename Sample>
int readFirstFrames(eLibrary::AudioFormatReader& reader,
                    std::array<std::array<std::int16_t, orx::kCoefficientCount>, 2>& channels)
{
    std::vector<Sample> left(orx::kCoefficientCount);
    std::vector<Sample> right(orx::kCoefficientCount);
    Sample* dest[2] = {left.data(), right.data()};
    const int k = std::min(reader.getChannels(), 2);
    if (!reader.seek(0))
        raise(mstd::kErrFIRFileRead);
    int frames = 0;
    if constexpr (sizeof(Sample) == 2)
        frames = reader.readInt16(dest, k, kCoefficients);
    else
        frames = reader.readInt32(dest, k, kCoefficients);
    for (int c = 0; c < k; ++c)
        for (int i = 0; i < frames; ++i)
            channels[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] =
                static_cast<std::int16_t>(dest[c][i] >> (8 * (sizeof(Sample) - 2))); // the upper 16 bits
    return frames;
}

} // namespace

CFIRFile::CFIRFile() = default;
CFIRFile::~CFIRFile() = default;

std::unique_ptr<eLibrary::AudioFormatReader> CFIRFile::createReader(const std::filesystem::path& path)
{
    return createReader(path, eLibrary::containerByExtension(path));
}

std::unique_ptr<eLibrary::AudioFormatReader> CFIRFile::createReader(const std::filesystem::path& path,
                                                                    eLibrary::IrContainer container)
{
    switch (container) {
    case eLibrary::IrContainer::Wav:
        return std::make_unique<eLibrary::AudioFormatReaderFileDecorator<eLibrary::WaveFormatReader>>(path);
    case eLibrary::IrContainer::Aiff:
        return std::make_unique<eLibrary::AudioFormatReaderFileDecorator<eLibrary::AiffFormatReader>>(path);
    case eLibrary::IrContainer::None:
        break;
    }
    return nullptr;
}

void CFIRFile::open(const std::filesystem::path& path)
{
    open(path, Options{});
}

void CFIRFile::open(const std::filesystem::path& path, const Options& options)
{
    m_converted.reset();
    m_reader.reset();
    m_reader = createReader(path);
    if (options.convert) {
        // What loads without the conversion loads exactly as it does without it.
        if (m_reader && !m_reader->isError() && m_reader->isValid())
            return;
        auto converted = std::make_unique<eLibrary::ConvertedIrFile>(path);
        if (const int code = converted->verdict().code; code != 0)
            raise(code);
        m_converted = std::move(converted);
        return;
    }
    if (!m_reader || m_reader->isError())
        raise(mstd::kErrFIRFileOpen);
    if (m_reader->isValid())
        return;
    if (!m_reader->isValidSampleRate())
        raise(mstd::kErrFIRFileSampleRate);
    if (!m_reader->isValidChannels())
        raise(mstd::kErrFIRFileChannel);
    if (!m_reader->isValidBitsPerSample())
        raise(mstd::kErrFIRFileSampleSize);
    raise(mstd::kErrFIRFileOpen);
}

int CFIRFile::getChannels() const
{
    if (m_converted)
        return m_converted->layout().channels;
    return m_reader && m_reader->isValid() ? m_reader->getChannels() : 0;
}

void CFIRFile::readCoefficients(std::int16_t* out, int channel)
{
    if (channel != 0 && channel != 1)
        raise(mstd::kErrFIRFileRead);
    if (m_converted) {
        std::array<std::int16_t, orx::kCoefficientCount> converted{};
        if (!m_converted->readCoefficients(channel, converted.data()))
            raise(mstd::kErrFIRFileRead);
        std::copy(converted.begin(), converted.end(), out);
        return;
    }
    if (!m_reader || !m_reader->isValid())
        raise(mstd::kErrFIRFileRead);
    std::array<std::array<std::int16_t, orx::kCoefficientCount>, 2> channels{};
    const int frames = m_reader->getBitsPerSample() == 16 ? readFirstFrames<std::int16_t>(*m_reader, channels)
                                                          : readFirstFrames<std::int32_t>(*m_reader, channels);
    const auto& chosen = channels[static_cast<std::size_t>(channel)];
    std::copy_n(chosen.begin(), frames, out);
    std::fill(out + frames, out + kCoefficients, std::int16_t{0});
}

void CFIRFile::copyIRName(std::uint8_t* dest, const char* src)
{
    constexpr std::size_t kUsable = orx::kIrNameLength - 1;
    std::size_t n = 0;
    while (src && n < kUsable && src[n] != '\0') {
        dest[n] = static_cast<std::uint8_t>(src[n]);
        ++n;
    }
    std::fill(dest + n, dest + orx::kIrNameLength, std::uint8_t{0});
    if (n == 0)
        std::memcpy(dest, "Untitled", sizeof "Untitled");
}
