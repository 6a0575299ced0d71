#pragma once
#include "features/Feature.h"
#include "features/IFeature1A013DSensor.h"

namespace devio {

class Feature1A013DSensor : public FeatureClass<Feature1A013DSensor, IFeature1A013DSensor>,
                            public Producer<IFeature1A013DSensor::RawXYZReport>,
                            public Producer<IFeature1A013DSensor::Notif1Report>,
                            public Producer<IFeature1A013DSensor::Notif2Report> {
public:
    using FeatureClass::FeatureClass;

    bool Set3DSensorConfiguration(std::uint8_t selector, std::uint8_t sensor0, short sensor1, std::uint8_t sensor3,
                                  std::uint8_t sensor4, unsigned short sensor5, unsigned short sensor7,
                                  unsigned short sensor9) override;
    bool Get3DSensorConfiguration(std::uint8_t* sensor0, unsigned short* sensor1, std::uint8_t* sensor3,
                                  std::uint8_t* sensor4, unsigned short* sensor5, unsigned short* sensor7,
                                  unsigned short* sensor9) override;
    bool Get3DSensorSetting(std::uint8_t* value) override;
    bool Set3DSensorSetting(std::uint8_t value) override;
    bool Get3DSensorStatus(std::uint8_t* value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
