#pragma once
#include "features/Feature.h"
#include "features/IFeature0001FeatureSet.h"

namespace devio {

class Feature0001FeatureSet : public FeatureClass<Feature0001FeatureSet, IFeature0001FeatureSet> {
public:
    using FeatureClass::FeatureClass;

    bool GetCount(std::uint32_t* count) override;
    std::shared_ptr<IDataRequest<GetCountResponse>> GetCount() override;
    std::shared_ptr<IDataRequest<GetFeatureIdResponse>> GetFeatureId(std::uint32_t featureIndex) override;
    bool GetFeatureId(std::uint32_t featureIndex, std::uint32_t* featureId, bool* typeBit5, bool* typeBit6,
                      bool* typeBit7, std::uint32_t* featureVersion) override;
};

} // namespace devio
