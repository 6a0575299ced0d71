#include "features/Feature8111LatencyMonitoring.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8111LatencyMonitoring::GetLatencyInfo(std::array<Byte, 3>& info)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::fit(0, 3), r))
        return false;
    std::copy(r.begin(), r.begin() + 3, info.begin());
    return true;
}

bool Feature8111LatencyMonitoring::SetLatencyMonitoring(bool enable, std::uint8_t value,
                                                        const std::vector<std::uint32_t>& thresholds)
{
    // Six thresholds fill the 8-byte block; more would run past it.
    if (thresholds.size() > kThresholds || (enable && thresholds.size() != kThresholds))
        return false;
    for (std::size_t k = 1; k < thresholds.size(); ++k) {
        if (thresholds[k - 1] >= thresholds[k])
            return false;
    }
    std::vector<Byte> params(8, 0);
    params[0] = enable ? 1 : 0;
    params[1] = value;
    for (std::size_t k = 0; k < thresholds.size(); ++k)
        params[2 + k] = static_cast<Byte>(thresholds[k]);
    return write_request(*this, 1, params);
}

void Feature8111LatencyMonitoring::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 16)
        return;
    LatencyEventInfo info;
    std::uint16_t* values[] = {&info.value0, &info.value1, &info.value2, &info.value3,
                               &info.value4, &info.value5, &info.value6, &info.value7};
    for (std::size_t k = 0; k < 8; ++k)
        *values[k] = read_be16(payload, 2 * k);
    Producer<Report>::notify([info](Report* s) { s->onLatencyEvent(info); },
                             "Feature8111LatencyMonitoring::Report::onLatencyEvent");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8111LatencyMonitoring, 0x8111)
