#pragma once
#include "features/Feature.h"
#include "features/IFeature00d0DFU.h"

namespace devio {

class Feature00d0DFU : public FeatureClass<Feature00d0DFU, IFeature00d0DFU>,
                       public Producer<IFeature00d0DFU::Report> {
public:
    using FeatureClass::FeatureClass;

    bool DfuStart(std::vector<Byte> params, std::uint32_t* status, std::vector<Byte>* reply) override;
    bool DfuCmdData(std::uint32_t packetNumber, std::vector<Byte> packet) override;
    bool Restart(std::uint8_t value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
