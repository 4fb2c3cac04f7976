// The file stream: C stdio underneath, with the size as it was at opening.
// SPDX-License-Identifier: GPL-3.0-or-later
#include "InputStream.h"

#include <limits>
#include <system_error>

namespace eLibrary {

InputFileStream::InputFileStream(const std::filesystem::path& path)
{
    std::error_code error;
    // A folder opens for reading on some systems but holds no bytes; it is not a file that opened.
    if (!std::filesystem::is_regular_file(path, error))
        return;
    m_file = std::fopen(path.c_str(), "rb");
    const auto size = std::filesystem::file_size(path, error);
    // Files of 2 GiB or more are not impulse responses; their size reads as the largest we can hold.
    if (!error)
        m_size = size > static_cast<std::uintmax_t>(std::numeric_limits<std::int32_t>::max())
                     ? std::numeric_limits<std::int32_t>::max()
                     : static_cast<std::int32_t>(size);
}

InputFileStream::~InputFileStream()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

bool InputFileStream::isError()
{
    return m_file == nullptr;
}

std::int32_t InputFileStream::getSize()
{
    return m_size;
}

std::int32_t InputFileStream::getPosition()
{
    if (!m_file)
        return -1;
    return static_cast<std::int32_t>(std::ftell(m_file));
}

bool InputFileStream::seek(std::int32_t offset, std::int32_t origin)
{
    int whence = 0;
    switch (origin) {
    case SeekBegin:
        whence = SEEK_SET;
        break;
    case SeekCurrent:
        whence = SEEK_CUR;
        break;
    case SeekEnd:
        whence = SEEK_END;
        break;
    default:
        return false;
    }
    return m_file && std::fseek(m_file, offset, whence) == 0;
}

std::int32_t InputFileStream::read(void* buffer, std::int32_t size)
{
    if (!m_file || !buffer || size <= 0)
        return 0;
    return static_cast<std::int32_t>(std::fread(buffer, 1, static_cast<std::size_t>(size), m_file));
}

} // namespace eLibrary
