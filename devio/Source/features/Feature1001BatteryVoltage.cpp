#include "features/Feature1001BatteryVoltage.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

void Feature1001BatteryVoltage::decode(const std::vector<Byte>& payload, BatteryInfo& info)
{
    const Byte flags = byte_at(payload, 2);
    info.voltage = read_be16(payload, 0);
    info.flagBit7 = (flags >> 7) & 1;
    info.flagBit4 = (flags >> 4) & 1;
    info.flagBit3 = (flags >> 3) & 1;
    info.status = flags & 7;
}

bool Feature1001BatteryVoltage::GetBatteryInfo(BatteryInfo& info)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::quiet(3), reply))
        return false;
    decode(reply, info);
    return true;
}

bool Feature1001BatteryVoltage::CallFunction1() { return shared_ops::call_function1(*this); }

void Feature1001BatteryVoltage::on_notification(int function, const std::vector<Byte>& payload)
{
    // Four bytes are required although only three are read.
    if (function != 0 || payload.size() < 4)
        return;
    BatteryInfo info;
    info.fromNotification = 1;
    decode(payload, info);
    Producer<Report>::notify([info](Report* s) { s->OnBatteryInfoChange(info); },
                             "IFeature1001BatteryVoltage::Report::OnBatteryInfoChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1001BatteryVoltage, 0x1001)
