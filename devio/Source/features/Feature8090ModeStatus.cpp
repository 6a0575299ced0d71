#include "features/Feature8090ModeStatus.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8090ModeStatus::read_pair(std::uint32_t function, ModeStatusPair& status)
{
    std::vector<Byte> r;
    if (!read_reply(*this, function, {}, ReplyRule::strict(2), r))
        return false;
    status.first = r[0];
    status.second = r[1];
    return true;
}

bool Feature8090ModeStatus::GetModeStatus(ModeStatusPair& status) { return read_pair(0, status); }

bool Feature8090ModeStatus::SetModeStatus(const std::array<Byte, 4>& mode)
{
    return write_request(*this, 1, std::vector<Byte>(mode.begin(), mode.end()));
}

bool Feature8090ModeStatus::GetModeStatusB(ModeStatusPair& status) { return read_pair(2, status); }

void Feature8090ModeStatus::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 4)
        return;
    const Byte b0 = payload[0], b1 = payload[1], b2 = payload[2], b3 = payload[3];
    Producer<Report>::notify([=](Report* s) { s->onStatusReport(b0, b1, b2, b3); },
                             "Feature8090ModeStatus::Report::onStatusReport");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8090ModeStatus, 0x8090)
