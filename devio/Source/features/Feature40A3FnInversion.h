#pragma once
#include "features/Feature.h"
#include "features/IFeature40A3FnInversion.h"

namespace devio {

class Feature40A3FnInversion : public FeatureClass<Feature40A3FnInversion, IFeature40A3FnInversion>,
                               public Producer<IFeature40A3FnInversion::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetFnInversion(std::uint8_t& selector, bool* first, bool* second, std::uint32_t* fourth) override;
    bool SetFnInversion(std::uint8_t selector, std::uint8_t value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
