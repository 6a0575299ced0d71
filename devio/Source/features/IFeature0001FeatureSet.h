#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <memory>

namespace devio {

template <typename T> class IDataRequest;

// Feature 0x0001: the device's feature table.
class IFeature0001FeatureSet : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x0001;

    struct GetCountResponse {
        std::uint32_t count = 0;
    };
    // Type bits in the opposite order from Root's GetFeatureResponse.
    struct GetFeatureIdResponse {
        std::uint32_t feature_id = 0;
        bool type_bit5 = false;
        bool type_bit6 = false;
        bool type_bit7 = false;
        std::uint32_t feature_version = 0;
    };

    ~IFeature0001FeatureSet() override = default;
    virtual bool GetCount(std::uint32_t* count) = 0;
    virtual std::shared_ptr<IDataRequest<GetCountResponse>> GetCount() = 0;
    virtual std::shared_ptr<IDataRequest<GetFeatureIdResponse>> GetFeatureId(std::uint32_t featureIndex) = 0;
    virtual bool GetFeatureId(std::uint32_t featureIndex, std::uint32_t* featureId, bool* typeBit5, bool* typeBit6,
                              bool* typeBit7, std::uint32_t* featureVersion) = 0;
};

} // namespace devio
