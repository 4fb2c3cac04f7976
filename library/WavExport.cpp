// The coefficients as a 16-bit 44100 Hz mono WAV, sample for sample, and back.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "WavExport.h"

#include <cstring>

namespace orx {

namespace {

void putLE(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t getLE(std::string_view in, std::size_t at, int bytes)
{
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(in[at + static_cast<std::size_t>(i)])) << (8 * i);
    return value;
}

} // namespace

std::string coefficientsWavBytes(const Coefficients& coefficients)
{
    const std::string samples = files::coefficientBytes(coefficients);
    const auto dataSize = static_cast<std::uint32_t>(samples.size());
    std::string out;
    out.reserve(44 + samples.size());
    out += "RIFF";
    putLE(out, 36 + dataSize, 4);
    out += "WAVEfmt ";
    putLE(out, 16, 4);
    putLE(out, 1, 2); // PCM
    putLE(out, 1, 2); // mono
    putLE(out, kExportSampleRate, 4);
    putLE(out, kExportSampleRate * 2, 4);
    putLE(out, 2, 2);
    putLE(out, 16, 2);
    out += "data";
    putLE(out, dataSize, 4);
    out += samples;
    return out;
}

void exportCoefficientsWav(const std::filesystem::path& path, const Coefficients& coefficients)
{
    files::writeAtomically(path, coefficientsWavBytes(coefficients));
}

std::optional<Coefficients> coefficientsFromWavBytes(std::string_view bytes)
{
    if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE")
        return std::nullopt;
    bool formatOk = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string_view id = bytes.substr(at, 4);
        const std::uint32_t size = getLE(bytes, at + 4, 4);
        const std::size_t body = at + 8;
        if (size > bytes.size() - body)
            return std::nullopt;
        if (id == "fmt ") {
            if (size < 16)
                return std::nullopt;
            formatOk = getLE(bytes, body, 2) == 1 && getLE(bytes, body + 2, 2) == 1 && getLE(bytes, body + 14, 2) == 16;
        } else if (id == "data") {
            if (!formatOk)
                return std::nullopt;
            return files::coefficientsFromBytes(bytes.substr(body, size));
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

} // namespace orx
