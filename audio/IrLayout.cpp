// Reading an impulse-response file's headers for the conversion, and the rules by which it loads or not.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "IrLayout.h"

#include "AiffFormatReader.h"
#include "GenericException.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace eLibrary {

namespace {

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

// The tail every standard sub-format GUID shares; its first four bytes are the format tag.
constexpr std::uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

class LayoutWalk {
public:
    LayoutWalk(InputStream& stream, IrLayout& layout) : m_stream(stream), m_layout(layout) {}

    void run()
    {
        const std::int32_t start = m_stream.getPosition();
        if (start < 0)
            return;
        // A walk that fails part-way keeps what it found, as the strict readers do.
        (void)walk(start, static_cast<std::int64_t>(m_stream.getSize()) - start);
    }

private:
    bool wav() const { return m_layout.container == IrContainer::Wav; }

    bool walk(std::int64_t start, std::int64_t length)
    {
        return walkChunks(
            m_stream, wav() ? ByteOrder::LittleEndian : ByteOrder::BigEndian, start, length,
            [this](const ChunkId& id, std::uint32_t size, std::int32_t here) { return handle(id, size, here); });
    }

    bool container(std::uint32_t size, std::int32_t here)
    {
        ChunkId type{};
        if (!readId(m_stream, type))
            return false;
        if (wav()) {
            m_layout.formFound = size >= 4 && isId(type, "WAVE");
        } else {
            m_layout.aifc = isId(type, "AIFC");
            m_layout.formFound = size >= 4 && (isId(type, "AIFF") || m_layout.aifc);
        }
        ++m_depth;
        const bool walked = walk(here, size);
        --m_depth;
        return walked;
    }

    bool handle(const ChunkId& id, std::uint32_t size, std::int32_t here)
    {
        if (!m_stream.seek(here, SeekBegin))
            return false;
        if (m_depth < kMaxContainerDepth && isId(id, wav() ? "RIFF" : "FORM"))
            return container(size, here);
        if (wav()) {
            if (isId(id, "fmt "))
                return fmt(size);
            if (isId(id, "data")) {
                m_layout.dataFound = true;
                setData(here, size);
            }
            return true;
        }
        if (isId(id, "COMM"))
            return comm(size);
        if (isId(id, "SSND"))
            return ssnd(size, here);
        return true;
    }

    void setData(std::int64_t first, std::int64_t bytes)
    {
        // A stated size past the end of the file (a recorder that never came back to fix it) gives the
        // frames that are there.
        const std::int64_t present = std::max<std::int64_t>(m_stream.getSize() - first, 0);
        m_layout.dataPosition = first;
        m_layout.statedBytes = bytes;
        m_layout.dataBytes = std::clamp<std::int64_t>(bytes, 0, present);
    }

    bool fmt(std::uint32_t size)
    {
        IrLayout& l = m_layout;
        const ByteOrder le = ByteOrder::LittleEndian;
        l.formatFound = true;
        l.formatShort = true;
        l.extensionShort = false;
        std::uint16_t channels = 0, blockAlign = 0, bits = 0, extra = 0;
        std::uint32_t rate = 0, byteRate = 0;
        if (size < 16 || !readNumber(m_stream, le, l.formatTag) || !readNumber(m_stream, le, channels) ||
            !readNumber(m_stream, le, rate) || !readNumber(m_stream, le, byteRate) ||
            !readNumber(m_stream, le, blockAlign) || !readNumber(m_stream, le, bits))
            return false;
        l.formatShort = false;
        l.channels = channels;
        l.sampleRate = rate;
        l.blockAlign = blockAlign;
        l.byteRate = byteRate;
        l.bitsPerSample = bits;
        l.validBits = 0;
        l.subFormat = 0;
        l.subFormatKnown = false;
        if (l.formatTag != kWaveFormatExtensible)
            return true;
        l.extensionShort = true;
        std::uint16_t valid = 0;
        std::uint32_t mask = 0;
        std::uint8_t guid[16];
        if (size < 40 || !readNumber(m_stream, le, extra) || extra < 22 || !readNumber(m_stream, le, valid) ||
            !readNumber(m_stream, le, mask) ||
            m_stream.read(guid, sizeof guid) != static_cast<std::int32_t>(sizeof guid))
            return true; // the chunk is over; the walk goes on
        l.extensionShort = false;
        l.validBits = valid;
        l.subFormatKnown = std::memcmp(guid + 4, kGuidTail, sizeof kGuidTail) == 0;
        l.subFormat = static_cast<std::uint32_t>(guid[0]) | static_cast<std::uint32_t>(guid[1]) << 8 |
                      static_cast<std::uint32_t>(guid[2]) << 16 | static_cast<std::uint32_t>(guid[3]) << 24;
        return true;
    }

    bool comm(std::uint32_t size)
    {
        IrLayout& l = m_layout;
        const ByteOrder be = ByteOrder::BigEndian;
        l.formatFound = true;
        l.formatShort = true;
        l.compression = {};
        l.compressionFound = false;
        std::uint16_t channels = 0, bits = 0;
        std::uint32_t frames = 0;
        std::uint8_t rate[10];
        if (size < 18 || !readNumber(m_stream, be, channels) || !readNumber(m_stream, be, frames) ||
            !readNumber(m_stream, be, bits) ||
            m_stream.read(rate, sizeof rate) != static_cast<std::int32_t>(sizeof rate))
            return false;
        l.channels = channels;
        l.statedFrames = frames;
        l.bitsPerSample = bits;
        l.sampleRate = extendedToDouble(rate);
        // AIFF-C adds the compression type; whether it must be there is known once the form type is.
        l.formatShort = false;
        l.compressionFound = size >= 22 && readId(m_stream, l.compression);
        if (!l.compressionFound)
            l.compression = {};
        return true;
    }

    bool ssnd(std::uint32_t size, std::int32_t here)
    {
        std::uint32_t offset = 0, blockSize = 0;
        if (!readNumber(m_stream, ByteOrder::BigEndian, offset) ||
            !readNumber(m_stream, ByteOrder::BigEndian, blockSize))
            return false;
        m_layout.dataFound = true;
        const std::int64_t first = static_cast<std::int64_t>(here) + 8 + offset;
        setData(first, static_cast<std::int64_t>(size) - 8 - offset);
        return true;
    }

    InputStream& m_stream;
    IrLayout& m_layout;
    int m_depth = 0;
};

std::string hex4(std::uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(v));
    return text;
}

std::string rateText(double rate)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", rate);
    return text;
}

std::string channelText(int channels)
{
    if (channels == 1)
        return "mono";
    if (channels == 2)
        return "stereo";
    return std::to_string(channels) + " channels";
}

// The four characters of an AIFF-C compression type, trailing spaces and unprintable bytes left out.
std::string compressionText(const ChunkId& id)
{
    std::string text;
    for (char c : id)
        text += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

bool isCompression(const ChunkId& id, const char* a, const char* b = nullptr)
{
    return isId(id, a) || (b && isId(id, b));
}

bool isIntegerContainer(int bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// The encoding a layout's fields name, before its sizes are checked.
struct Encoding {
    bool known = false;
    SampleKind kind = SampleKind::Integer;
    ByteOrder order = ByteOrder::LittleEndian;
    int floatBits = 0;     // AIFF-C float: the size its compression type names
    std::string refusal;   // why it is not one the conversion reads
    std::string container; // "WAV", "AIFF-C (sowt)", ...
};

Encoding encodingOf(const IrLayout& l)
{
    Encoding e;
    if (l.container == IrContainer::Wav) {
        e.container = "WAV";
        std::uint32_t tag = l.formatTag;
        if (l.formatTag == kWaveFormatExtensible) {
            e.container = "WAV with the extensible header";
            if (l.extensionShort) {
                e.refusal = "extensible header cut short";
                return e;
            }
            if (!l.subFormatKnown) {
                e.refusal = "extensible WAV of an unknown sub-format";
                return e;
            }
            tag = l.subFormat;
            if (tag != kWaveFormatPCM && tag != kWaveFormatFloat) {
                e.refusal = "extensible WAV of sub-format " + hex4(tag) + " (not PCM or float)";
                return e;
            }
        } else if (tag != kWaveFormatPCM && tag != kWaveFormatFloat) {
            e.refusal = "WAV format tag " + hex4(tag) + " (not PCM or float)";
            return e;
        }
        e.known = true;
        e.kind = tag == kWaveFormatFloat ? SampleKind::Float : SampleKind::Integer;
        return e;
    }
    e.order = ByteOrder::BigEndian;
    if (!l.aifc) {
        e.container = "AIFF";
        e.known = true;
        return e;
    }
    if (!l.compressionFound) {
        e.container = "AIFF-C";
        e.refusal = "format chunk cut short";
        return e;
    }
    const ChunkId& c = l.compression;
    const std::string name = compressionText(c);
    e.container = isId(c, "NONE") ? "AIFF-C" : "AIFF-C (" + name + ")";
    // QuickTime names plain big-endian PCM "twos", "in24" and "in32"; the sample size in COMM still decides.
    if (isId(c, "NONE") || isId(c, "twos") || isId(c, "in24") || isId(c, "in32")) {
        e.known = true;
    } else if (isId(c, "sowt")) {
        e.known = true;
        e.order = ByteOrder::LittleEndian;
    } else if (isCompression(c, "fl32", "FL32") || isCompression(c, "fl64", "FL64")) {
        e.known = true;
        e.kind = SampleKind::Float;
        e.floatBits = isCompression(c, "fl32", "FL32") ? 32 : 64;
    } else {
        e.refusal = "compressed AIFF-C (" + name + ")";
    }
    return e;
}

int describedBits(const IrLayout& l, const Encoding& e)
{
    return e.floatBits ? e.floatBits : l.bitsPerSample;
}

std::string describe(const IrLayout& l, const Encoding& e)
{
    if (!l.formatFound || l.formatShort || (l.aifc && !l.compressionFound))
        return e.container;
    const int bits = describedBits(l, e);
    std::string samples;
    if (!e.known)
        samples = std::to_string(bits) + "-bit samples";
    else if (e.kind == SampleKind::Float)
        samples = std::to_string(bits) + "-bit float";
    else if (l.validBits != 0 && l.validBits != bits)
        samples = std::to_string(l.validBits) + "-bit PCM in " + std::to_string(bits) + "-bit words";
    else
        samples = std::to_string(bits) + "-bit PCM";
    return rateText(l.sampleRate) + " Hz, " + samples + ", " + channelText(l.channels) + ", " + e.container;
}

// From the last dot of the path on, as the name spells it; empty without a dot. A dot in a folder's name gives
// text with a separator in it, which no extension matches.
std::string extensionOf(const std::filesystem::path& path)
{
    const std::string& text = path.native();
    const std::size_t dot = text.rfind('.');
    return dot == std::string::npos ? std::string() : text.substr(dot);
}

} // namespace

IrContainer containerByExtension(const std::filesystem::path& path)
{
    const std::string extension = extensionOf(path);
    if (equalsIgnoringCase(extension, ".wav"))
        return IrContainer::Wav;
    if (equalsIgnoringCase(extension, ".aif") || equalsIgnoringCase(extension, ".aiff"))
        return IrContainer::Aiff;
    return IrContainer::None;
}

IrContainer convertibleByExtension(const std::filesystem::path& path)
{
    if (equalsIgnoringCase(extensionOf(path), ".aifc"))
        return IrContainer::Aiff;
    return containerByExtension(path);
}

IrContainer containerByContent(InputStream& stream)
{
    if (stream.isError() || !stream.seek(0, SeekBegin))
        return IrContainer::None;
    std::uint8_t head[12];
    const bool whole = stream.read(head, sizeof head) == static_cast<std::int32_t>(sizeof head);
    (void)stream.seek(0, SeekBegin);
    if (!whole)
        return IrContainer::None;
    const auto is = [&head](int at, const char* id) { return std::memcmp(head + at, id, 4) == 0; };
    if (is(0, "RIFF") && is(8, "WAVE"))
        return IrContainer::Wav;
    if (is(0, "FORM") && (is(8, "AIFF") || is(8, "AIFC")))
        return IrContainer::Aiff;
    return IrContainer::None;
}

const char* containerName(IrContainer container)
{
    switch (container) {
    case IrContainer::Wav:
        return "WAV";
    case IrContainer::Aiff:
        return "AIFF";
    case IrContainer::None:
        break;
    }
    return "";
}

IrLayout readIrLayout(InputStream& stream, IrContainer container)
{
    IrLayout layout;
    layout.container = container;
    layout.opened = !stream.isError();
    if (!layout.opened || container == IrContainer::None)
        return layout;
    LayoutWalk(stream, layout).run();
    return layout;
}

IrLayout readConvertibleLayout(InputStream& stream, const std::filesystem::path& path)
{
    const IrContainer named = convertibleByExtension(path);
    const IrContainer content = named == IrContainer::None ? IrContainer::None : containerByContent(stream);
    IrLayout layout = readIrLayout(stream, content != IrContainer::None ? content : named);
    layout.named = named;
    layout.extension = extensionOf(path);
    return layout;
}

std::string misnaming(const IrLayout& l)
{
    if (l.named == IrContainer::None || l.container == l.named || !l.formFound)
        return "";
    const std::string what = l.container == IrContainer::Wav ? "a WAV" : l.aifc ? "an AIFF-C" : "an AIFF";
    return what + " file named " + l.extension;
}

std::string fittingExtension(const IrLayout& l)
{
    return l.container == IrContainer::Wav ? ".wav" : l.container == IrContainer::Aiff ? ".aif" : "";
}

IrVerdict judgeForConversion(const IrLayout& l)
{
    IrVerdict v;
    const auto refuse = [&v](int code, std::string reason) {
        v.code = code;
        v.reason = std::move(reason);
        return v;
    };
    if (l.container == IrContainer::None)
        return refuse(mstd::kErrFIRFileOpen, "not a WAV or AIFF file");
    if (!l.opened)
        return refuse(mstd::kErrFIRFileOpen, "the file cannot be opened");
    const bool wav = l.container == IrContainer::Wav;
    if (!l.formFound)
        return refuse(mstd::kErrFIRFileOpen, wav ? "not a WAV file" : "not an AIFF file");
    const Encoding e = encodingOf(l);
    v.description = describe(l, e);
    if (!l.formatFound)
        return refuse(mstd::kErrFIRFileOpen, "no format chunk");
    if (l.formatShort || (l.aifc && !l.compressionFound))
        return refuse(mstd::kErrFIRFileOpen, "format chunk cut short");
    // What the samples are comes before their sizes: a compressed file has no sample size to speak of.
    if (!e.known)
        return refuse(mstd::kErrFIRFileOpen, e.refusal);
    if (!l.dataFound)
        return refuse(mstd::kErrFIRFileOpen, "no data chunk");
    if (!(l.sampleRate >= kLowestRate && l.sampleRate <= kHighestRate))
        return refuse(mstd::kErrFIRFileSampleRate,
                      "sample rate " + rateText(l.sampleRate) + " Hz is outside 8000 to 384000 Hz");
    if (l.channels != 1 && l.channels != 2)
        return refuse(mstd::kErrFIRFileChannel, std::to_string(l.channels) + " channels: the amp needs mono or stereo");

    const int bits = describedBits(l, e);
    IrCoding& c = v.coding;
    c.kind = e.kind;
    c.order = e.order;
    c.containerBytes = containerBytes(bits);
    if (e.kind == SampleKind::Float) {
        if (bits != 32 && bits != 64)
            return refuse(mstd::kErrFIRFileSampleSize,
                          std::to_string(bits) + "-bit float: 32 or 64 bits are supported");
    } else {
        if (!isIntegerContainer(bits))
            return refuse(mstd::kErrFIRFileSampleSize,
                          std::to_string(bits) + "-bit PCM: 8, 16, 24 or 32 bits are supported");
        if (l.validBits > bits)
            return refuse(mstd::kErrFIRFileSampleSize, std::to_string(l.validBits) + " valid bits do not fit " +
                                                           std::to_string(bits) + "-bit words");
        c.validBits = l.validBits == 0 ? bits : l.validBits;
        c.offset8 = wav && bits == 8;
    }
    const int frameBytes = c.containerBytes * l.channels;
    if (wav && l.blockAlign != frameBytes)
        return refuse(mstd::kErrFIRFileOpen,
                      "block align " + std::to_string(l.blockAlign) + " does not match " + std::to_string(l.channels) +
                          (l.channels == 1 ? " channel" : " channels") + " of " + std::to_string(bits) + " bits");
    v.frames = l.dataBytes / frameBytes;
    if (l.statedFrames >= 0)
        v.frames = std::min(v.frames, l.statedFrames);
    return v;
}

std::string conversionNeed(const IrLayout& l)
{
    const Encoding e = encodingOf(l);
    std::string need;
    const auto add = [&need](const std::string& what) { need += (need.empty() ? "" : ", ") + what; };
    // Under its name the strict reader parses it as another container: that comes first, whatever else is off.
    const std::string misnamed = misnaming(l);
    if (!misnamed.empty())
        add(misnamed);
    if (l.sampleRate != kConvertedRate)
        add("sample rate " + rateText(l.sampleRate) + " Hz");
    if (e.kind == SampleKind::Float)
        add(std::to_string(describedBits(l, e)) + "-bit float samples");
    else if (l.bitsPerSample == 8)
        add("8-bit samples");
    if (l.validBits != 0 && l.validBits != l.bitsPerSample)
        add(std::to_string(l.validBits) + " valid bits in " + std::to_string(l.bitsPerSample));
    if (e.container != "WAV" && e.container != "AIFF" && !(l.aifc && !misnamed.empty() && e.container == "AIFF-C"))
        add(e.container);
    if (!need.empty())
        return need;
    // A plain AIFF file under the AIFF-C extension, which only the conversion lists and opens.
    if (containerByExtension(l.extension) == IrContainer::None && !l.extension.empty())
        return "the " + l.extension + " extension";
    // Nothing but the header's bookkeeping is off.
    const std::int64_t frameBytes = static_cast<std::int64_t>(containerBytes(l.bitsPerSample)) * l.channels;
    if (frameBytes > 0 && l.statedBytes % frameBytes != 0)
        return "a data chunk that is not a whole number of frames";
    if (l.container == IrContainer::Wav && l.byteRate != frameBytes * 44100)
        return "byte rate " + std::to_string(l.byteRate) + " that does not match";
    return "its header";
}

} // namespace eLibrary
