#include "features/Feature0008SwitchAndKeepAlive.h"

#include "features/FeatureRegistry.h"

namespace devio {

Feature0008SwitchAndKeepAlive::Feature0008SwitchAndKeepAlive(std::uint8_t featureIndex, std::weak_ptr<IDevice> device)
    : Feature(FeatureId, featureIndex, std::move(device))
{
}

std::shared_ptr<IFeature> Feature0008SwitchAndKeepAlive::create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device)
{
    return std::make_shared<Feature0008SwitchAndKeepAlive>(featureIndex, std::move(device));
}

bool Feature0008SwitchAndKeepAlive::GetInfo(std::uint16_t* first, std::uint16_t* second)
{
    std::vector<Byte> reply;
    if (!execute(0, {}, reply, 0))
        return false;
    if (reply.size() < 4) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    if (first)
        *first = be16(reply, 0);
    if (second)
        *second = be16(reply, 2);
    return true;
}

bool Feature0008SwitchAndKeepAlive::KeepAlive(std::uint16_t value, std::uint16_t* result)
{
    std::vector<Byte> reply;
    // Unlike every other 16-bit parameter, this one goes low byte first.
    if (!execute(1, {Byte(value), Byte(value >> 8)}, reply, 0))
        return false;
    if (reply.size() < 2) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    if (result)
        *result = be16(reply, 0);
    return true;
}

bool Feature0008SwitchAndKeepAlive::Switch()
{
    std::vector<Byte> reply;
    return execute(2, {}, reply, 0);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature0008SwitchAndKeepAlive, 0x0008)
