// Decoding every accepted sample format of one channel, and resampling it to 44100 Hz with libsoxr.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrConversion.h"

#include "DeviceRecords.h"

#include <soxr.h>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

namespace eLibrary {

namespace {

constexpr int kOut = static_cast<int>(orx::kCoefficientCount);

std::uint64_t loadRaw(const std::uint8_t* p, int bytes, ByteOrder order)
{
    std::uint64_t raw = 0;
    for (int i = 0; i < bytes; ++i) {
        const int shift = order == ByteOrder::BigEndian ? 8 * (bytes - 1 - i) : 8 * i;
        raw |= static_cast<std::uint64_t>(p[i]) << shift;
    }
    return raw;
}

// An integer sample left-justified into 32 bits, the bits below its valid ones cleared.
std::int32_t justified(const std::uint8_t* p, const IrCoding& c)
{
    std::uint32_t raw = static_cast<std::uint32_t>(loadRaw(p, c.containerBytes, c.order));
    if (c.offset8)
        raw ^= 0x80;
    std::uint32_t v = raw << (32 - 8 * c.containerBytes);
    if (c.validBits < 32)
        v &= ~(0xFFFFFFFFu >> c.validBits);
    return static_cast<std::int32_t>(v);
}

double floatSample(const std::uint8_t* p, const IrCoding& c)
{
    const std::uint64_t raw = loadRaw(p, c.containerBytes, c.order);
    if (c.containerBytes == 4)
        return std::bit_cast<float>(static_cast<std::uint32_t>(raw));
    return std::bit_cast<double>(raw);
}

// A sample as the amplifier's 16-bit value, when no resampling comes between.
std::int16_t directCoefficient(const std::uint8_t* p, const IrCoding& c)
{
    if (c.kind == SampleKind::Integer)
        return static_cast<std::int16_t>(justified(p, c) >> 16); // the upper 16 bits, as without the conversion
    if (c.containerBytes == 4) {
        // Scaled in single precision, as libsndfile scales single-precision samples; the exact product
        // can round differently near a tie.
        const float x = std::bit_cast<float>(static_cast<std::uint32_t>(loadRaw(p, 4, c.order)));
        return roundToCoefficient(static_cast<double>(x * static_cast<float>(kFloatScale)));
    }
    return roundToCoefficient(floatSample(p, c) * kFloatScale);
}

// A sample in 16-bit units for the resampler. A float sample that is not finite would spread through the whole
// filter: not-a-number is silence and infinities are full scale.
double unitSample(const std::uint8_t* p, const IrCoding& c)
{
    if (c.kind == SampleKind::Integer)
        return justified(p, c) / 65536.0;
    const double x = floatSample(p, c);
    if (std::isnan(x))
        return 0.0;
    if (std::isinf(x))
        return x > 0 ? kFloatScale : -kFloatScale;
    return x * kFloatScale;
}

// A sample in 16-bit units for the whole-IR reading at 44100 Hz: integer samples keep only their upper 16 bits,
// so that the start of the IR is the coefficients exactly; floats keep their fraction until the end.
double directUnits(const std::uint8_t* p, const IrCoding& c)
{
    if (c.kind == SampleKind::Integer)
        return static_cast<double>(justified(p, c) >> 16);
    return unitSample(p, c);
}

// The samples of one channel, a block at a time, from the first frame on.
class ChannelReader {
public:
    ChannelReader(InputStream& stream, const IrLayout& layout, const IrVerdict& verdict, int channel)
        : m_stream(stream), m_coding(verdict.coding), m_channel(channel),
          m_frameBytes(verdict.coding.containerBytes * layout.channels), m_left(verdict.frames),
          m_first(layout.dataPosition)
    {
    }

    bool start() { return m_first <= INT32_MAX && m_stream.seek(static_cast<std::int32_t>(m_first), SeekBegin); }

    // Up to n samples through `convert`; fewer at the end of the data, 0 after it or when a read fails.
    template <typename T, typename Convert> int next(T* out, int n, Convert convert)
    {
        const int framesPerBlock = static_cast<int>(sizeof m_block) / m_frameBytes;
        int done = 0;
        while (done < n && m_left > 0) {
            const int frames = static_cast<int>(std::min<std::int64_t>({n - done, framesPerBlock, m_left}));
            const int bytes = frames * m_frameBytes;
            if (m_stream.read(m_block, bytes) != bytes) {
                m_left = 0;
                break;
            }
            const std::uint8_t* p = m_block + m_channel * m_coding.containerBytes;
            for (int i = 0; i < frames; ++i, p += m_frameBytes)
                out[done + i] = convert(p, m_coding);
            done += frames;
            m_left -= frames;
        }
        return done;
    }

private:
    InputStream& m_stream;
    const IrCoding m_coding;
    const int m_channel;
    const int m_frameBytes;
    std::int64_t m_left;
    const std::int64_t m_first;
    std::uint8_t m_block[4096];
};

struct SoxrDeleter {
    void operator()(soxr_t s) const { soxr_delete(s); }
};

// Resamples the channel to 44100 Hz into out (at most `limit` values in 16-bit units); returns the samples made.
int resample(ChannelReader& reader, double rate, double* out, int limit)
{
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: this runs on the caller's thread, beside whatever else the program does.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    std::unique_ptr<soxr, SoxrDeleter> soxr(soxr_create(rate, kConvertedRate, 1, &error, &io, &quality, &runtime));
    if (!soxr || error)
        return -1;

    // The file is read a little at a time and only until the first `limit` samples are out: the input those
    // need plus the filter's length, however long the file is.
    std::array<double, 512> in{};
    std::size_t have = 0;
    std::size_t used = 0;
    bool ended = false;
    int made = 0;
    int idle = 0;
    while (made < limit) {
        if (used == have && !ended) {
            have = static_cast<std::size_t>(reader.next(in.data(), static_cast<int>(in.size()), unitSample));
            used = 0;
            ended = have == 0;
        }
        std::size_t taken = 0;
        std::size_t given = 0;
        const std::size_t room = static_cast<std::size_t>(limit - made);
        error = ended ? soxr_process(soxr.get(), nullptr, 0, nullptr, out + made, room, &given)
                      : soxr_process(soxr.get(), in.data() + used, have - used, &taken, out + made, room, &given);
        if (error)
            return -1;
        used += taken;
        made += static_cast<int>(given);
        // Once the input has ended, a call without output means the filter is drained; before that, the
        // resampler always takes what it is given, so repeated calls without progress mean it is stuck.
        if (taken == 0 && given == 0 && (ended || ++idle > 4))
            break;
        if (taken != 0 || given != 0)
            idle = 0;
    }
    return made;
}

} // namespace

std::int16_t roundToCoefficient(double units)
{
    if (std::isnan(units))
        return 0;
    if (units >= 32767.0)
        return 32767;
    if (units <= -32768.0)
        return -32768;
    double r = std::round(units); // half away from zero
    if (std::fabs(units - std::trunc(units)) == 0.5)
        r = 2.0 * std::round(units / 2.0); // a tie goes to the even neighbour
    return static_cast<std::int16_t>(r);
}

bool convertCoefficients(InputStream& stream, const IrLayout& layout, const IrVerdict& verdict, int channel,
                         std::int16_t* out)
{
    if (verdict.code != 0 || (channel != 0 && channel != 1) || verdict.coding.containerBytes == 0)
        return false;
    std::array<std::int16_t, orx::kCoefficientCount> result{};
    // A mono file's second channel is silence, as it is without the conversion.
    if (channel < layout.channels) {
        ChannelReader reader(stream, layout, verdict, channel);
        if (!reader.start())
            return false;
        if (layout.sampleRate == kConvertedRate) {
            reader.next(result.data(), kOut, directCoefficient);
        } else {
            std::array<double, orx::kCoefficientCount> units{};
            const int made = resample(reader, layout.sampleRate, units.data(), kOut);
            if (made < 0)
                return false;
            for (int i = 0; i < made; ++i)
                result[static_cast<std::size_t>(i)] = roundToCoefficient(units[static_cast<std::size_t>(i)]);
        }
    }
    std::copy(result.begin(), result.end(), out);
    return true;
}

bool convertWhole(InputStream& stream, const IrLayout& layout, const IrVerdict& verdict, int channel,
                  std::vector<double>& out, std::size_t limit)
{
    if (verdict.code != 0 || (channel != 0 && channel != 1) || verdict.coding.containerBytes == 0 ||
        layout.sampleRate <= 0.0)
        return false;
    // A mono file's second channel is silence as long as its first.
    const bool silent = channel >= layout.channels;
    ChannelReader reader(stream, layout, verdict, silent ? 0 : channel);
    if (!reader.start())
        return false;
    const auto cap = static_cast<std::int64_t>(std::min<std::size_t>(limit, INT32_MAX));
    std::vector<double> result;
    if (layout.sampleRate == kConvertedRate) {
        result.resize(static_cast<std::size_t>(std::min(verdict.frames, cap)));
        const int made = reader.next(result.data(), static_cast<int>(result.size()), directUnits);
        result.resize(static_cast<std::size_t>(made));
    } else {
        const double expected = std::ceil(static_cast<double>(verdict.frames) * kConvertedRate / layout.sampleRate);
        result.resize(static_cast<std::size_t>(std::min(static_cast<std::int64_t>(expected), cap)));
        const int made = resample(reader, layout.sampleRate, result.data(), static_cast<int>(result.size()));
        if (made < 0)
            return false;
        result.resize(static_cast<std::size_t>(made));
    }
    if (silent)
        std::fill(result.begin(), result.end(), 0.0);
    out = std::move(result);
    return true;
}

ConvertedIrFile::ConvertedIrFile(const std::filesystem::path& path)
    : m_stream(path), m_layout(readConvertibleLayout(m_stream, path)),
      m_verdict(judgeForConversion(m_layout))
{
}

bool ConvertedIrFile::readCoefficients(int channel, std::int16_t* out)
{
    return convertCoefficients(m_stream, m_layout, m_verdict, channel, out);
}

bool ConvertedIrFile::readWhole(int channel, std::vector<double>& out, std::size_t limit)
{
    return convertWhole(m_stream, m_layout, m_verdict, channel, out, limit);
}

} // namespace eLibrary
