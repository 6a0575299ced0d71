#pragma once
#include "features/Feature.h"
#include "features/IFeature4540KBLayout.h"

namespace devio {

class Feature4540KBLayout : public FeatureClass<Feature4540KBLayout, IFeature4540KBLayout> {
public:
    using FeatureClass::FeatureClass;

    bool GetKeyboardLayout(std::uint32_t& layout) override;
};

} // namespace devio
