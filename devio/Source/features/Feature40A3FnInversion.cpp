#include "features/Feature40A3FnInversion.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature40A3FnInversion::GetFnInversion(std::uint8_t& selector, bool* first, bool* second,
                                            std::uint32_t* fourth)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {selector}, ReplyRule::strict(4), reply))
        return false;
    selector = reply[0];
    if (first)
        *first = reply[1] != 0;
    if (second)
        *second = reply[2] != 0;
    if (fourth)
        *fourth = reply[3];
    return true;
}

bool Feature40A3FnInversion::SetFnInversion(std::uint8_t selector, std::uint8_t value)
{
    std::vector<Byte> reply;
    return read_reply(*this, 1, {selector, value}, ReplyRule::strict(4), reply);
}

void Feature40A3FnInversion::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    if (payload.size() < 4) {
        set_last_error(2, 0, nullptr);
        return;
    }
    const short selector = payload[0];
    const bool first = payload[1] != 0;
    const bool second = payload[2] != 0;
    const int fourth = payload[3];
    Producer<Report>::notify([=](Report* s) { s->onFLockChange(selector, first, second, fourth); },
                             "Feature40A3FnInversion::Report::onFLockChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature40A3FnInversion, 0x40A3)
