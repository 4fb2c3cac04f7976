// The one exception type every layer raises, and the error codes the user can see.
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace mstd {

// Codes shown to the user (text and mapping live with the error box).
enum ErrorCode : std::int32_t {
    kErrMidiOpen = 1000,
    kErrMidiSend = 1001,
    kErrReceiveData = 1002,
    kErrFIRDataWrite = 1003,
    kErrTimeout = 1004,
    kErrFIRFileOpen = 1005,
    kErrFIRFileChannel = 1006,
    kErrFIRFileSampleRate = 1007,
    kErrFIRFileSampleSize = 1008,
    kErrFIRFileRead = 1009,
    kErrUnknown = 1010,
};

class CGenericException : public std::exception {
public:
    CGenericException(std::int32_t code, std::int32_t subCode) noexcept : m_code(code), m_subCode(subCode) {}
    ~CGenericException() override = default;

    std::int32_t getCode() const noexcept { return m_code; }
    std::int32_t getSubCode() const noexcept { return m_subCode; }
    // No code path fills the message; it exists so handlers can keep one shape.
    const std::wstring& getMessage() const noexcept { return m_message; }

private:
    std::int32_t m_code;
    std::int32_t m_subCode;
    std::wstring m_message;
};

} // namespace mstd
