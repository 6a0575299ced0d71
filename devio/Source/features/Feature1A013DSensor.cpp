#include "features/Feature1A013DSensor.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
bool read_byte(IFeature& f, std::uint32_t function, std::uint8_t* value)
{
    std::vector<Byte> r;
    if (!read_reply(f, function, {0x00}, ReplyRule::strict(1), r))
        return false;
    if (value)
        *value = r[0];
    return true;
}
} // namespace

bool Feature1A013DSensor::Set3DSensorConfiguration(std::uint8_t selector, std::uint8_t sensor0, short sensor1,
                                                   std::uint8_t sensor3, std::uint8_t sensor4,
                                                   unsigned short sensor5, unsigned short sensor7,
                                                   unsigned short sensor9)
{
    std::vector<Byte> params{selector, sensor0};
    put_be16(params, static_cast<std::uint16_t>(sensor1));
    params.insert(params.end(), {sensor3, sensor4});
    put_be16(params, sensor5);
    put_be16(params, sensor7);
    put_be16(params, sensor9);
    std::vector<Byte> r;
    return read_reply(*this, 0, params, ReplyRule::strict(12), r);
}

bool Feature1A013DSensor::Get3DSensorConfiguration(std::uint8_t* sensor0, unsigned short* sensor1,
                                                   std::uint8_t* sensor3, std::uint8_t* sensor4,
                                                   unsigned short* sensor5, unsigned short* sensor7,
                                                   unsigned short* sensor9)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {0x00}, ReplyRule::strict(11), r))
        return false;
    if (sensor0)
        *sensor0 = r[0];
    if (sensor1)
        *sensor1 = read_be16(r, 1);
    if (sensor3)
        *sensor3 = r[3];
    if (sensor4)
        *sensor4 = r[4];
    if (sensor5)
        *sensor5 = read_be16(r, 5);
    if (sensor7)
        *sensor7 = read_be16(r, 7);
    if (sensor9)
        *sensor9 = read_be16(r, 9);
    return true;
}

bool Feature1A013DSensor::Get3DSensorSetting(std::uint8_t* value) { return read_byte(*this, 2, value); }

bool Feature1A013DSensor::Set3DSensorSetting(std::uint8_t value) { return write_request(*this, 3, {value}); }

bool Feature1A013DSensor::Get3DSensorStatus(std::uint8_t* value) { return read_byte(*this, 4, value); }

void Feature1A013DSensor::on_notification(int function, const std::vector<Byte>& payload)
{
    if (payload.size() < 8 || (function != 0 && function != 1))
        return;
    const auto x = static_cast<short>(read_be16(payload, 0));
    const auto y = static_cast<short>(read_be16(payload, 2));
    const auto z = static_cast<short>(read_be16(payload, 4));
    if (function == 0)
        Producer<RawXYZReport>::notify([x, y, z](RawXYZReport* s) { s->onRawXYZReport(x, y, z); },
                                       "Feature1A013DSensor::RawXYZReport::onRawXYZReport");
    else
        Producer<Notif1Report>::notify([x, y, z](Notif1Report* s) { s->onNotif1(x, y, z); },
                                       "Feature1A013DSensor::Notif1Report::onNotif1");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1A013DSensor, 0x1A01)
