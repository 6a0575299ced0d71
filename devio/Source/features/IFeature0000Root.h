#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <memory>

namespace devio {

class IRequest;
template <typename T> class IDataRequest;

// Feature 0x0000, always at index 0: finds other features' indices and the protocol version.
class IFeature0000Root : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x0000;

    struct GetFeatureResponse {
        std::uint32_t feature_index = 0;
        bool type_bit7 = false;
        bool type_bit6 = false;
        bool type_bit5 = false;
        std::uint32_t feature_version = 0;
    };
    struct TargetSwResponse {
        std::uint8_t protocol_major = 0;
        std::uint32_t protocol_minor = 0;
    };

    ~IFeature0000Root() override = default;
    virtual bool GetFeature(std::uint32_t featureId, std::uint32_t* featureIndex, bool* typeBit7, bool* typeBit6,
                            bool* typeBit5, std::uint32_t* featureVersion, std::uint32_t kind) = 0;
    virtual std::shared_ptr<IDataRequest<GetFeatureResponse>> GetFeature(std::uint32_t featureId,
                                                                         std::uint32_t kind) = 0;
    virtual bool TargetSw(std::uint8_t* protocolMajor, std::uint32_t* protocolMinor) = 0;
    virtual std::shared_ptr<IDataRequest<TargetSwResponse>> TargetSw() = 0;
    virtual bool Ping(std::uint8_t pingByte) = 0;
    // Asynchronous Ping (C++ cannot overload the blocking form on its result alone).
    virtual std::shared_ptr<IRequest> PingAsync(std::uint8_t pingByte) = 0;
    virtual bool Ping(std::uint8_t pingByte, std::uint8_t* reply0, std::uint8_t* reply1, std::uint8_t* reply2) = 0;
    virtual std::shared_ptr<IDeviceRequest> PingRequest(std::uint8_t pingByte) = 0;
};

} // namespace devio
