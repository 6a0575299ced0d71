#pragma once
#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature1F20ADCMeasurement.h"

namespace devio {

class Feature1F20ADCMeasurement : public FeatureClass<Feature1F20ADCMeasurement, IFeature1F20ADCMeasurement>,
                                  public Producer<IFeature1F20ADCMeasurement::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetDeviceState(DeviceState& state, std::int32_t selector) override;
    bool GetInfoByte(std::uint8_t& value) override;
    bool SetModeByte(std::uint8_t value) override;
    bool GetFlags(std::uint32_t& flags, std::uint8_t& option) override;
    bool SetOption(std::int32_t kind, std::uint8_t value) override;
    // Its own version as Root reports it, read on first call (255 until a read succeeds).
    std::uint32_t feature_version() override;

    static DeviceState decode(const std::vector<Byte>& payload);

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    // Only a version read and found below 4 refuses; unread (255) lets the request through.
    bool version_allows() const { return m_version.stored() >= 4; }

    OwnVersion m_version;
};

} // namespace devio
