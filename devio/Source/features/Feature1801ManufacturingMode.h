#pragma once
#include "features/Feature.h"
#include "features/IFeature1801ManufacturingMode.h"

namespace devio {

class Feature1801ManufacturingMode : public FeatureClass<Feature1801ManufacturingMode, IFeature1801ManufacturingMode>,
                                     public Producer<IFeature1801ManufacturingMode::GenericResponse> {
public:
    using FeatureClass::FeatureClass;

    bool SendCommand(std::uint8_t function, std::vector<Byte> params, std::vector<Byte>* response) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
