// Positions, seeks and block-wise reading over a reader's sample region.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataRegionReader.h"

#include <algorithm>
#include <climits>

namespace eLibrary {

int DataRegionReader::getPosition()
{
    // A position within a stream of at most 2 GiB is always a frame that fits.
    return isError() ? 0 : static_cast<int>(positionToFrame(m_stream->getPosition()));
}

bool DataRegionReader::seek(int frame)
{
    const std::int64_t position = frameToPosition(frame);
    return !isError() && position <= INT32_MAX && m_stream->seek(static_cast<std::int32_t>(position), SeekBegin);
}

std::int64_t DataRegionReader::positionToFrame(std::int64_t position) const
{
    const Region r = region();
    if (r.bytesPerFrame == 0)
        return 0;
    // The end of a stated size can lie past any real position, and past the signed 32-bit range.
    return std::clamp<std::int64_t>(position - r.first, 0, r.bytes) / r.bytesPerFrame;
}

std::int64_t DataRegionReader::frameToPosition(std::int64_t frame) const
{
    const Region r = region();
    if (r.bytesPerFrame == 0)
        return 0;
    return r.first + std::clamp<std::int64_t>(frame * r.bytesPerFrame, 0, r.bytes);
}

template <typename T> int DataRegionReader::read(T** dest, int channels, int frames)
{
    if (isError())
        return 0;
    const Region r = region();
    return readBlocks(
        *m_stream, sampleFormat(), [this](std::int64_t p) { return positionToFrame(p); }, r.first + r.bytes, dest,
        channels, frames);
}

int DataRegionReader::readInt16(std::int16_t** dest, int channels, int frames)
{
    return read(dest, channels, frames);
}
int DataRegionReader::readInt32(std::int32_t** dest, int channels, int frames)
{
    return read(dest, channels, frames);
}
int DataRegionReader::readFloat(float** dest, int channels, int frames)
{
    return read(dest, channels, frames);
}

} // namespace eLibrary
