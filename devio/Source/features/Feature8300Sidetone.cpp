#include "features/Feature8300Sidetone.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature8300Sidetone::GetAudioInfo(std::uint32_t& value) { return shared_ops::get_audio_info(*this, value); }

bool Feature8300Sidetone::SetSidetoneSetting(const std::uint8_t& value) { return write_request(*this, 1, {value}); }

bool Feature8300Sidetone::GetSidetoneSetting(std::uint32_t& value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 2, {}, ReplyRule::strict(1), r))
        return false;
    value = r[0];
    return true;
}

bool Feature8300Sidetone::SetSidetoneSettingPair(const std::uint8_t& first, const std::uint8_t& second)
{
    return write_request(*this, 3, {first, second});
}

void Feature8300Sidetone::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 3)
        return;
    const unsigned int a = payload[0], b = payload[1], c = payload[2];
    Producer<Report>::notify([=](Report* s) { s->onSidetoneChangeEvent(a, b, c); },
                             "Feature8300Sidetone::Report::onSidetoneChangeEvent");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8300Sidetone, 0x8300)
