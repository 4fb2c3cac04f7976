// libFuzzer entry: arbitrary bytes through both readers, from a file and from memory, through CFIRFile with and
// without the conversion, and through the file check, which must agree with it.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AiffFormatReader.h"
#include "AudioFormatReaderFileDecorator.h"
#include "CFIRFile.h"
#include "FuzzSupport.h"
#include "GenericException.h"
#include "IrConversion.h"
#include "IrFileFacts.h"
#include "WaveFormatReader.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The readers over bytes that never touch the disk; seeks past the end succeed as they do on a file.
class MemoryStream final : public eLibrary::InputStream {
public:
    MemoryStream(const std::uint8_t* data, std::size_t size)
        : m_data(data), m_size(static_cast<std::int32_t>(std::min<std::size_t>(size, INT32_MAX)))
    {
    }

    bool isError() override { return false; }
    std::int32_t getSize() override { return m_size; }
    std::int32_t getPosition() override { return m_position; }

    bool seek(std::int32_t offset, std::int32_t origin) override
    {
        std::int64_t base = 0;
        switch (origin) {
        case eLibrary::SeekBegin:
            base = 0;
            break;
        case eLibrary::SeekCurrent:
            base = m_position;
            break;
        case eLibrary::SeekEnd:
            base = m_size;
            break;
        default:
            return false;
        }
        const std::int64_t target = base + offset;
        if (target < 0 || target > INT32_MAX)
            return false;
        m_position = static_cast<std::int32_t>(target);
        return true;
    }

    std::int32_t read(void* buffer, std::int32_t size) override
    {
        if (!buffer || size <= 0 || m_position >= m_size)
            return 0;
        const std::int32_t n = std::min(size, m_size - m_position);
        std::memcpy(buffer, m_data + m_position, static_cast<std::size_t>(n));
        m_position += n;
        return n;
    }

private:
    const std::uint8_t* m_data;
    std::int32_t m_size;
    std::int32_t m_position = 0;
};

// Invariants the loader relies on.
using orx::fuzz::require;

// Several blocks' worth for small frames; buffers sized exactly, so any write beyond them is caught.
constexpr int kFrames = 700;

template <typename T, typename Read> void readSome(int channels, Read read)
{
    std::vector<T> first(kFrames), second(kFrames);
    T* dest[2] = {first.data(), second.data()};
    const int n = read(dest, channels, kFrames);
    require(n >= 0 && n <= kFrames);
}

void exercise(eLibrary::AudioFormatReader& reader)
{
    // A valid file must pass every check open() makes before falling back to 1005.
    if (reader.isValid())
        require(reader.isValidSampleRate() && reader.isValidChannels() && reader.isValidBitsPerSample());
    (void)reader.isError();
    (void)reader.getChannels();
    (void)reader.getSampleRate();
    (void)reader.getBitsPerSample();
    (void)reader.getBitRate();
    const std::int64_t length = reader.getLength();
    (void)reader.getPosition();

    readSome<std::int16_t>(2, [&](auto** d, int c, int f) { return reader.readInt16(d, c, f); });
    reader.seek(0);
    readSome<std::int32_t>(2, [&](auto** d, int c, int f) { return reader.readInt32(d, c, f); });
    reader.seek(-5);
    readSome<float>(1, [&](auto** d, int c, int f) { return reader.readFloat(d, c, f); });
    // Past INT32_MAX frames the reader's own bounds are what is exercised.
    reader.seek(static_cast<int>(std::min<std::int64_t>(length / 2, INT32_MAX)));
    readSome<std::int16_t>(1, [&](auto** d, int c, int f) { return reader.readInt16(d, c, f); });
    reader.seek(INT_MAX);
    (void)reader.getPosition();
    readSome<std::int32_t>(2, [&](auto** d, int c, int f) { return reader.readInt32(d, c, f); });
}

// The code open() throws (0 when the file loads), then the coefficients of both channels when it loads.
int load(const std::filesystem::path& path, bool convert)
{
    CFIRFile file;
    try {
        file.open(path, CFIRFile::Options{.convert = convert});
    } catch (const mstd::CGenericException& e) {
        require(e.getCode() >= mstd::kErrFIRFileOpen && e.getCode() <= mstd::kErrFIRFileSampleSize);
        return e.getCode();
    }
    require(file.getChannels() == 1 || file.getChannels() == 2);
    for (int channel = 0; channel < 2; ++channel) {
        std::array<std::int16_t, orx::kCoefficientCount> out{};
        try {
            file.readCoefficients(out.data(), channel);
        } catch (const mstd::CGenericException& e) {
            require(e.getCode() == mstd::kErrFIRFileRead);
        }
    }
    return 0;
}

void load(const std::filesystem::path& path)
{
    const int strict = load(path, false);
    const int converted = load(path, true);
    // The conversion takes everything the strict check takes.
    require(strict != 0 || converted == 0);
    const IrFileFacts facts = inspectIrFile(path);
    require(facts.codeWithoutConversion == strict && facts.codeWithConversion == converted);
    require(facts.loadsWithoutConversion == (strict == 0) && facts.loadsWithConversion == (converted == 0));
    require(facts.loadsWithConversion == facts.reason.empty());
    (void)irFileNote(path, facts);
}

// The conversion's header walk and sample path over memory, as either container.
void convertFromMemory(const std::uint8_t* data, std::size_t size, eLibrary::IrContainer container)
{
    MemoryStream stream(data, size);
    const eLibrary::IrLayout layout = eLibrary::readIrLayout(stream, container);
    const eLibrary::IrVerdict verdict = eLibrary::judgeForConversion(layout);
    require(verdict.code == 0 ||
            (verdict.code >= mstd::kErrFIRFileOpen && verdict.code <= mstd::kErrFIRFileSampleSize));
    require((verdict.code == 0) == verdict.reason.empty());
    (void)eLibrary::conversionNeed(layout);
    if (verdict.code != 0)
        return;
    require(verdict.frames >= 0 && (layout.channels == 1 || layout.channels == 2));
    for (int channel = 0; channel < 2; ++channel) {
        std::array<std::int16_t, orx::kCoefficientCount> out{};
        (void)eLibrary::convertCoefficients(stream, layout, verdict, channel, out.data());
    }
}

// One scratch folder per process; the input is written once and reached under each extension by hard links.
struct Scratch {
    std::filesystem::path dir;
    std::filesystem::path input;
    std::filesystem::path wav;
    std::filesystem::path aif;
    std::filesystem::path aiff;

    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orx-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        dir = pattern;
        input = dir / "input";
        wav = dir / "input.wav";
        aif = dir / "input.aif";
        aiff = dir / "input.AIFF";
        write(nullptr, 0);
        for (const auto& name : {wav, aif, aiff})
            std::filesystem::create_hard_link(input, name);
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    void write(const std::uint8_t* data, std::size_t size) const
    {
        std::FILE* f = std::fopen(input.c_str(), "wb");
        if (!f)
            std::abort();
        if (size > 0 && std::fwrite(data, 1, size, f) != size)
            std::abort();
        std::fclose(f);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        MemoryStream stream(data, size);
        eLibrary::WaveFormatReader reader(&stream);
        exercise(reader);
    }
    {
        MemoryStream stream(data, size);
        eLibrary::AiffFormatReader reader(&stream);
        exercise(reader);
    }

    convertFromMemory(data, size, eLibrary::IrContainer::Wav);
    convertFromMemory(data, size, eLibrary::IrContainer::Aiff);

    static const Scratch scratch;
    scratch.write(data, size);
    {
        eLibrary::AudioFormatReaderFileDecorator<eLibrary::WaveFormatReader> reader(scratch.input);
        exercise(reader);
    }
    {
        eLibrary::AudioFormatReaderFileDecorator<eLibrary::AiffFormatReader> reader(scratch.input);
        exercise(reader);
    }
    load(scratch.wav);
    load(scratch.aif);
    load(scratch.aiff);
    return 0;
}
