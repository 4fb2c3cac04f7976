// The conversion's sample path: any sample format the conversion accepts, at any accepted rate, made into the
// 2048 16-bit coefficients the amplifier takes at 44100 Hz.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "InputStream.h"
#include "IrLayout.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace eLibrary {

// A value in 16-bit units (full scale 32768) rounded to the nearest integer, ties to even, and clipped to
// -32768..32767; not-a-number gives 0.
std::int16_t roundToCoefficient(double units);

// Float samples map -1.0..+1.0 to -32767..+32767: libsndfile's scaling of normalised floats into 16-bit
// PCM, so a file written by it (or read back through it) gives the same values.
inline constexpr double kFloatScale = 32767.0;

// Fills out[0..2047] from file channel `channel` (0 or 1; a mono file's channel 1 is silence) of a file whose
// layout the conversion accepted (verdict.code 0). Integer samples at 44100 Hz keep their upper 16 bits;
// float samples are scaled and rounded; any other rate is resampled to 44100 Hz first, from only as much of
// the file as the first 2048 output samples need. Returns false when the sample data cannot be reached.
bool convertCoefficients(InputStream& stream, const IrLayout& layout, const IrVerdict& verdict, int channel,
                         std::int16_t* out);

// The longest IR read whole: 10 s at 44100 Hz. Analysis and processing never need more, and a long recording
// passed for an IR must not take the memory of its full length.
inline constexpr std::size_t kWholeIrLimit = 441000;

// The whole of file channel `channel`, as many samples as it has at 44100 Hz up to `limit`, in 16-bit units
// (full scale 32768) and not rounded: at 44100 Hz integer samples keep their upper 16 bits, so the first 2048
// values are convertCoefficients' exactly; floats are times 32767; other rates are resampled as there. A mono
// file's channel 1 is silence of channel 0's length. Leaves out alone and returns false when the sample data
// cannot be reached.
bool convertWhole(InputStream& stream, const IrLayout& layout, const IrVerdict& verdict, int channel,
                  std::vector<double>& out, std::size_t limit = kWholeIrLimit);

} // namespace eLibrary

namespace eLibrary {

// A file opened for the conversion: its stream, what its headers say (read as the container its bytes are,
// readConvertibleLayout) and what the conversion makes of them.
class ConvertedIrFile {
public:
    explicit ConvertedIrFile(const std::filesystem::path& path);
    ConvertedIrFile(const ConvertedIrFile&) = delete;
    ConvertedIrFile& operator=(const ConvertedIrFile&) = delete;

    const IrLayout& layout() const { return m_layout; }
    const IrVerdict& verdict() const { return m_verdict; }
    // convertCoefficients over this file.
    bool readCoefficients(int channel, std::int16_t* out);
    // convertWhole over this file.
    bool readWhole(int channel, std::vector<double>& out, std::size_t limit = kWholeIrLimit);

private:
    InputFileStream m_stream;
    IrLayout m_layout;
    IrVerdict m_verdict;
};

} // namespace eLibrary
