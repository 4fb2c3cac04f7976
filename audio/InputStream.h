// Byte sources the audio-file readers parse.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace eLibrary {

enum SeekOrigin : std::int32_t {
    SeekBegin = 1,
    SeekCurrent = 2,
    SeekEnd = 3,
};

class InputStream {
public:
    virtual ~InputStream() = default;
    virtual bool isError() = 0;
    virtual std::int32_t getSize() = 0;
    virtual std::int32_t getPosition() = 0;
    virtual bool seek(std::int32_t offset, std::int32_t origin) = 0;
    // Returns the bytes delivered; fewer than asked at the end of the file or on an error.
    virtual std::int32_t read(void* buffer, std::int32_t size) = 0;
};

// A file opened for binary reading. The size is taken once, when the stream is made.
class InputFileStream final : public InputStream {
public:
    explicit InputFileStream(const std::filesystem::path& path);
    ~InputFileStream() override;
    InputFileStream(const InputFileStream&) = delete;
    InputFileStream& operator=(const InputFileStream&) = delete;

    bool isError() override;
    std::int32_t getSize() override;
    std::int32_t getPosition() override;
    bool seek(std::int32_t offset, std::int32_t origin) override;
    std::int32_t read(void* buffer, std::int32_t size) override;

private:
    std::FILE* m_file = nullptr;
    std::int32_t m_size = 0;
};

} // namespace eLibrary
