#pragma once
#include "features/Feature.h"
#include "features/IFeature2400HybridTracking.h"

namespace devio {

class Feature2400HybridTracking : public FeatureClass<Feature2400HybridTracking, IFeature2400HybridTracking>,
                                  public Producer<IFeature2400HybridTracking::Report> {
public:
    using FeatureClass::FeatureClass;

    // A state-change payload of at least 16 bytes.
    static HybridReporting::SpeedInfo decode_speed_info(const std::vector<Byte>& payload);

    bool GetHybridMode(bool* on) override;
    bool SetHybridMode(std::uint8_t mode) override;
    bool GetHybridState(std::uint32_t* state) override;
    bool SetHybridReporting(std::uint8_t value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
