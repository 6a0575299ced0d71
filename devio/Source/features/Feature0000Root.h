#pragma once
#include "features/Feature.h"
#include "features/IFeature0000Root.h"

namespace devio {

class Feature0000Root : public FeatureClass<Feature0000Root, IFeature0000Root> {
public:
    using FeatureClass::FeatureClass;

    bool GetFeature(std::uint32_t featureId, std::uint32_t* featureIndex, bool* typeBit7, bool* typeBit6,
                    bool* typeBit5, std::uint32_t* featureVersion, std::uint32_t kind) override;
    std::shared_ptr<IDataRequest<GetFeatureResponse>> GetFeature(std::uint32_t featureId, std::uint32_t kind) override;
    bool TargetSw(std::uint8_t* protocolMajor, std::uint32_t* protocolMinor) override;
    std::shared_ptr<IDataRequest<TargetSwResponse>> TargetSw() override;
    bool Ping(std::uint8_t pingByte) override;
    std::shared_ptr<IRequest> PingAsync(std::uint8_t pingByte) override;
    bool Ping(std::uint8_t pingByte, std::uint8_t* reply0, std::uint8_t* reply1, std::uint8_t* reply2) override;
    std::shared_ptr<IDeviceRequest> PingRequest(std::uint8_t pingByte) override;
};

} // namespace devio
