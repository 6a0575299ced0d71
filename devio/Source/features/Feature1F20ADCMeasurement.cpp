#include "features/Feature1F20ADCMeasurement.h"

#include "features/FeatureRegistry.h"

namespace devio {

IFeature1F20ADCMeasurement::DeviceState Feature1F20ADCMeasurement::decode(const std::vector<Byte>& p)
{
    DeviceState s;
    s.value = read_be16(p, 0);
    s.stateBit1 = bit_at(p, 2, 1);
    s.stateBit0 = bit_at(p, 2, 0);
    s.stateBit2 = bit_at(p, 2, 2);
    s.stateBit3 = bit_at(p, 2, 3);
    return s;
}

bool Feature1F20ADCMeasurement::GetDeviceState(DeviceState& state, std::int32_t selector)
{
    if (selector & 0xF0)
        return false;
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {static_cast<Byte>(selector & 0x0F)}, ReplyRule::quiet(3), r))
        return false;
    state = decode(r);
    return true;
}

bool Feature1F20ADCMeasurement::GetInfoByte(std::uint8_t& value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {}, ReplyRule::quiet(1), r))
        return false;
    value = r[0];
    return true;
}

bool Feature1F20ADCMeasurement::SetModeByte(std::uint8_t value) { return shared_ops::set_mode_byte(*this, value); }

bool Feature1F20ADCMeasurement::GetFlags(std::uint32_t& flags, std::uint8_t& option)
{
    if (!version_allows())
        return false;
    std::vector<Byte> r;
    if (!read_reply(*this, 3, {}, ReplyRule::quiet(2), r))
        return false;
    flags = r[0];
    if (r[0] & 1)
        option = r[1] & 1;
    return true;
}

bool Feature1F20ADCMeasurement::SetOption(std::int32_t kind, std::uint8_t value)
{
    if (!version_allows() || kind != 1)
        return false;
    return write_request(*this, 4, {1, value});
}

std::uint32_t Feature1F20ADCMeasurement::feature_version() { return m_version.read(*this); }

void Feature1F20ADCMeasurement::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 4)
        return;
    const DeviceState state = decode(payload);
    Producer<Report>::notify([state](Report* s) { s->onStatusChange(state); },
                             "IFeature1F20ADCMeasurement::Report::onStatusChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1F20ADCMeasurement, 0x1F20)
