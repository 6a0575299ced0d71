#pragma once
#include "features/Feature.h"
#include "features/IFeature1800GenericTest.h"

namespace devio {

class Feature1800GenericTest : public FeatureClass<Feature1800GenericTest, IFeature1800GenericTest>,
                               public Producer<IFeature1800GenericTest::GenericResponse> {
public:
    using FeatureClass::FeatureClass;

    bool SendTest(std::uint8_t testId, std::vector<Byte> params, std::vector<Byte>* response) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
