// What the library, backup and restore tests share: a temporary folder and recognisable coefficients.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LibraryFiles.h"

#include <gtest/gtest.h>
#include <nettle/sha2.h>

#include <cstdio>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace orx::test {

// The oracle for the library's checksums: nettle called directly, not through the library.
inline std::string nettleSha256(const std::string& bytes)
{
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&ctx, sizeof digest, digest);
    std::string hex;
    char buffer[3];
    for (const std::uint8_t b : digest) {
        std::snprintf(buffer, sizeof buffer, "%02x", b);
        hex += buffer;
    }
    return hex;
}


class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orx-library-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Every sample differs from its neighbours and the extremes are in, so a byte order or offset fault shows.
inline Coefficients testCoefficients(int seed)
{
    Coefficients c{};
    std::uint32_t x = 2463534242u + static_cast<std::uint32_t>(seed) * 7919u;
    for (auto& v : c) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<std::int16_t>(x & 0xFFFF);
    }
    c[0] = -32768;
    c[1] = 32767;
    c[2] = 0;
    c[3] = -1;
    return c;
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace orx::test
