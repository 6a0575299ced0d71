#pragma once
#include "features/Feature.h"
#include "features/IFeature2250ActivityTracking.h"

namespace devio {

class Feature2250ActivityTracking
    : public FeatureClass<Feature2250ActivityTracking, IFeature2250ActivityTracking>,
      public Producer<IFeature2250ActivityTracking::Event> {
public:
    using FeatureClass::FeatureClass;

    bool GetMode(bool* on, bool* second = nullptr) override;
    bool SetMode(std::uint8_t mode) override;
    bool FetchData(std::uint32_t* first, std::uint32_t* second, std::uint32_t* third, std::uint32_t* fourth) override;

protected:
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;
};

} // namespace devio
