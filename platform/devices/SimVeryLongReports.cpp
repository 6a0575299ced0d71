// Reports beyond the long one: the 64-byte report 0x12 of devices that take very long frames,
// and short replies of answer rows that ask for them.
#include "devices/SimProtocolDevice.h"

#include <algorithm>

namespace platform::sim {

namespace {
constexpr std::size_t kShortLength = 7;
constexpr std::size_t kLongLength = 20;
constexpr std::size_t kVeryLongLength = 64;

Bytes framed(const Bytes& cmd, const Bytes& payload, std::uint8_t id, std::size_t length)
{
    Bytes r(length, 0);
    r[0] = id;
    for (std::size_t k = 1; k < 4; ++k)
        r[k] = k < cmd.size() ? cmd[k] : 0;
    std::copy_n(payload.begin(), std::min(payload.size(), length - 4), r.begin() + 4);
    return r;
}
} // namespace

bool SimProtocolDevice::takes_request(const Bytes& cmd) const
{
    if (cmd.size() <= kLongLength)
        return true;
    return m_config.very_long_reports && cmd.size() <= kVeryLongLength && (cmd[0] == 0x11 || cmd[0] == 0x12);
}

Bytes SimProtocolDevice::sized_reply(const Bytes& cmd, const Bytes& payload, SimAnswer::Length length) const
{
    switch (length) {
    case SimAnswer::Length::Short:
        return framed(cmd, payload, 0x10, kShortLength);
    case SimAnswer::Length::VeryLong:
        if (m_config.very_long_reports)
            return framed(cmd, payload, 0x12, kVeryLongLength);
        return framed(cmd, payload, 0x11, kLongLength);
    case SimAnswer::Length::Long:
        return framed(cmd, payload, 0x11, kLongLength);
    case SimAnswer::Length::Auto:
        break;
    }
    return reply(cmd, payload);
}

} // namespace platform::sim
