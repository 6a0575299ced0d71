#include "core/ErrorRecord.h"

namespace devio {

namespace {
thread_local LastError t_last_error;
}

LastError& last_error() { return t_last_error; }

void set_last_error(ErrorCode code, std::uint32_t detail, const char* text)
{
    t_last_error.code = code;
    t_last_error.detail = detail;
    t_last_error.text = text;
}

void set_last_error(const ErrorRecord& record)
{
    set_last_error(record.code, record.detail, record.text);
}

ErrorRecord last_error_record()
{
    return ErrorRecord{t_last_error.code, t_last_error.text, t_last_error.detail};
}

DevioException::DevioException(const char* text, std::uint32_t code, std::uint32_t platformError)
    : std::runtime_error(text ? text : ""), m_code(code), m_platform_error(platformError), m_text(text)
{
}

void DevioException::to_last_error() const { set_last_error(m_code, m_platform_error, m_text); }

} // namespace devio
