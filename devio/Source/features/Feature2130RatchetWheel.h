#pragma once
#include "features/Feature.h"
#include "features/IFeature2130RatchetWheel.h"

namespace devio {

class Feature2130RatchetWheel : public FeatureClass<Feature2130RatchetWheel, IFeature2130RatchetWheel>,
                                public Producer<IFeature2130RatchetWheel::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetRatchetWheelMode(unsigned short* mode) override;
    bool SetRatchetWheelMode(std::uint8_t mode) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;
};

} // namespace devio
