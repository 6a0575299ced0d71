#pragma once
#include "features/Feature.h"
#include "features/IFeature2006PointerAxesOrientation.h"

namespace devio {

class Feature2006PointerAxesOrientation
    : public FeatureClass<Feature2006PointerAxesOrientation, IFeature2006PointerAxesOrientation> {
public:
    using FeatureClass::FeatureClass;

    bool ReadPointerAxesOrientation(unsigned short* orientation) override;
    bool WritePointerAxesOrientation(short orientation, unsigned short* result) override;
};

} // namespace devio
