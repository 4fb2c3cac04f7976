// What the library files share: atomic writes, checksums, hex, times, names and coefficient bytes.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "LibraryFiles.h"

#include <nettle/base64.h>
#include <nettle/sha2.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace orx::files {

namespace {

constexpr std::string_view kTempMarker = ".tmp-";

// Names the file being written, not its temporary: that is the one the user knows and can look at.
std::runtime_error ioError(const std::string& what, const std::filesystem::path& path, int error)
{
    return std::runtime_error(what + " " + path.string() + ": " + std::strerror(error));
}

void syncFolder(const std::filesystem::path& folder)
{
    // Makes the rename itself durable; a folder that cannot be opened for this is no reason to fail.
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void writeAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path temp =
        path.parent_path() / (path.filename().string() + std::string(kTempMarker) + std::to_string(::getpid()) + "-" +
                              std::to_string(counter.fetch_add(1)));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        throw ioError("cannot write", path, error);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            throw ioError("cannot write", path, error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw ioError("cannot write", path, error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw ioError("cannot replace", path, error);
    }
    syncFolder(path.parent_path());
}

std::optional<std::string> readWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

bool isTemporaryName(const std::string& fileName)
{
    return fileName.find(kTempMarker) != std::string::npos;
}

std::string sha256Hex(std::string_view bytes)
{
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
    std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
    sha256_digest(&ctx, digest.size(), digest.data());
    return toHex(digest.data(), digest.size());
}

std::string toHex(const std::uint8_t* bytes, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = digit(text[i]);
        const int lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

std::string toBase64(std::string_view bytes)
{
    std::string text(BASE64_ENCODE_RAW_LENGTH(bytes.size()), '\0');
    base64_encode_raw(text.data(), bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
    return text;
}

std::optional<std::string> fromBase64(std::string_view text)
{
    base64_decode_ctx ctx;
    base64_decode_init(&ctx);
    std::string bytes(BASE64_DECODE_LENGTH(text.size()), '\0');
    std::size_t length = bytes.size();
    if (!base64_decode_update(&ctx, &length, reinterpret_cast<std::uint8_t*>(bytes.data()), text.size(), text.data()) ||
        !base64_decode_final(&ctx))
        return std::nullopt;
    bytes.resize(length);
    return bytes;
}

namespace {

std::string formatUtc(std::chrono::system_clock::time_point time, const char* format)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[32];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return std::string(buffer, n);
}

} // namespace

std::string isoUtc(std::chrono::system_clock::time_point time)
{
    return formatUtc(time, "%Y-%m-%dT%H:%M:%SZ");
}

std::string compactUtc(std::chrono::system_clock::time_point time)
{
    return formatUtc(time, "%Y%m%dT%H%M%SZ");
}

std::string nameText(const IrName& name)
{
    return decodeAmpNameUtf8(name.data(), name.size());
}

bool sameReportedName(const IrName& stored, const IrName& reported)
{
    for (std::size_t i = 0; i < stored.size(); ++i)
        if ((stored[i] & 0x7F) != (reported[i] & 0x7F))
            return false;
    return true;
}

IrName nameFromText(std::string_view text)
{
    IrName name{};
    const std::size_t n = std::min(text.size(), kIrNameLength - 1);
    for (std::size_t i = 0; i < n; ++i)
        name[i] = static_cast<std::uint8_t>(text[i]);
    return name;
}

std::string coefficientBytes(const Coefficients& coefficients)
{
    std::string bytes;
    bytes.reserve(coefficients.size() * 2);
    for (const std::int16_t c : coefficients) {
        const auto u = static_cast<std::uint16_t>(c);
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return bytes;
}

std::optional<Coefficients> coefficientsFromBytes(std::string_view bytes)
{
    Coefficients coefficients{};
    if (bytes.size() != coefficients.size() * 2)
        return std::nullopt;
    for (std::size_t i = 0; i < coefficients.size(); ++i) {
        const auto lo = static_cast<std::uint8_t>(bytes[2 * i]);
        const auto hi = static_cast<std::uint8_t>(bytes[2 * i + 1]);
        coefficients[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
    }
    return coefficients;
}

} // namespace orx::files
