#include "features/Feature00c1DFUControl.h"

#include "features/FeatureRegistry.h"

namespace devio {

Feature00c1DFUControl::Feature00c1DFUControl(std::uint8_t featureIndex, std::weak_ptr<IDevice> device)
    : Feature(FeatureId, featureIndex, std::move(device))
{
}

std::shared_ptr<IFeature> Feature00c1DFUControl::create(std::uint8_t featureIndex, std::weak_ptr<IDevice> device)
{
    return std::make_shared<Feature00c1DFUControl>(featureIndex, std::move(device));
}

bool Feature00c1DFUControl::GetDfuControl(std::uint32_t* state)
{
    std::vector<Byte> reply;
    if (!execute(0, {}, reply, 0))
        return false;
    if (reply.size() < 2) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    if (state)
        *state = reply[1];
    return true;
}

bool Feature00c1DFUControl::SetDfuControl(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3)
{
    std::vector<Byte> reply;
    return execute(1, {p0, p1, p2, p3, 0x44, 0x46, 0x55}, reply, 0);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature00c1DFUControl, 0x00C1)
