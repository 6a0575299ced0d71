#include "features/Feature2250ActivityTracking.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2250ActivityTracking::GetMode(bool* on, bool* second)
{
    if (!begin_setting_change())
        return false;
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::fit(1, 2), reply))
        return false;
    if (on)
        *on = reply[0] != 0;
    if (second)
        *second = (reply[1] & 0x01) != 0;
    return true;
}

bool Feature2250ActivityTracking::SetMode(std::uint8_t mode)
{
    if (!begin_setting_change())
        return false;
    return write_request(*this, 1, {mode});
}

bool Feature2250ActivityTracking::FetchData(std::uint32_t* first, std::uint32_t* second, std::uint32_t* third,
                                            std::uint32_t* fourth)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 2, {}, ReplyRule::strict(16), reply))
        return false;
    std::uint32_t* out[] = {first, second, third, fourth};
    for (std::size_t i = 0; i < 4; ++i)
        if (out[i])
            *out[i] = read_be32(reply, 4 * i);
    return true;
}

void Feature2250ActivityTracking::on_unexpected_response(unsigned function, unsigned softwareId,
                                                         const std::vector<Byte>& payload)
{
    if (function == 1) {
        const bool on = !payload.empty() && payload[0] != 0;
        Producer<Event>::notify([softwareId, on](Event* s) { s->onModeChanged(softwareId, on); },
               "Feature2250ActivityTracking:::Event::onModeChanged");
    } else if (function == 2) {
        if (payload.size() < 16) {
            set_last_error(2, 0, nullptr);
            return;
        }
        const std::uint32_t a = read_be32(payload, 0), b = read_be32(payload, 4);
        const std::uint32_t c = read_be32(payload, 8), d = read_be32(payload, 12);
        Producer<Event>::notify([=](Event* s) { s->onDataFetched(softwareId, a, b, c, d); },
               "Feature2250ActivityTracking:::Event::onDataFetched");
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2250ActivityTracking, 0x2250)
