// Loading an impulse-response file: reader choice, the checks and their error codes, coefficients, name.
#include "CFIRFile.h"

#include "AiffFormatReader.h"
#include "AudioFormatReaderFileDecorator.h"
#include "GenericException.h"
#include "WaveFormatReader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kCoefficients = static_cast<int>(orx::kCoefficientCount);

[[noreturn]] void raise(std::int32_t code)
{
    throw mstd::CGenericException(code, 0);
}

bool equalsIgnoringCase(const std::string& a, const char* b)
{
    const std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
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

std::unique_ptr<eLibrary::AudioFormatReader> CFIRFile::createReader(const std::filesystem::path& path)
{
    const std::string text = path.native();
    const std::size_t dot = text.rfind('.');
    if (dot == std::string::npos)
        return nullptr;
    const std::string extension = text.substr(dot);
    if (equalsIgnoringCase(extension, ".wav"))
        return std::make_unique<eLibrary::AudioFormatReaderFileDecorator<eLibrary::WaveFormatReader>>(path);
    if (equalsIgnoringCase(extension, ".aif") || equalsIgnoringCase(extension, ".aiff"))
        return std::make_unique<eLibrary::AudioFormatReaderFileDecorator<eLibrary::AiffFormatReader>>(path);
    return nullptr;
}

void CFIRFile::open(const std::filesystem::path& path)
{
    m_reader.reset();
    m_reader = createReader(path);
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

void CFIRFile::readCoefficients(std::int16_t* out, int channel)
{
    if (channel != 0 && channel != 1)
        raise(mstd::kErrFIRFileRead);
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
