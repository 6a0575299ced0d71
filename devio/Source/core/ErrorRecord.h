#pragma once
#include "core/Types.h"

#include <stdexcept>

namespace devio {

// Result carried by a request. The text is always a static literal or null.
struct ErrorRecord {
    ErrorCode code = 0;
    const char* text = nullptr;
    std::uint32_t detail = 0;
};

// Per-thread record of the last failure; zero at thread start.
struct LastError {
    ErrorCode code = 0;
    std::uint32_t detail = 0;
    const char* text = nullptr;
};

// The calling thread's record.
LastError& last_error();
void set_last_error(ErrorCode code, std::uint32_t detail = 0, const char* text = nullptr);
void set_last_error(const ErrorRecord& record);
ErrorRecord last_error_record();

// Thrown by platform layers for failed system calls; caught at interface boundaries
// and copied into the last error.
class DevioException : public std::runtime_error {
public:
    DevioException(const char* text, std::uint32_t code, std::uint32_t platformError);

    const char* text() const { return m_text; }
    ErrorCode code() const { return m_code; }
    std::uint32_t platformError() const { return m_platform_error; }
    // code, detail := platform error, text.
    void to_last_error() const;

private:
    ErrorCode m_code;
    std::uint32_t m_platform_error;
    const char* m_text;
};

} // namespace devio
