#pragma once
#include "features/Feature.h"
#include "features/IFeature6010Gestures.h"

namespace devio {

class Feature6010Gestures : public FeatureClass<Feature6010Gestures, IFeature6010Gestures>,
                             public Producer<IFeature6010Gestures::Report> {
public:
    using FeatureClass::FeatureClass;

    // Each group array holds 8 flags.
    bool GetGestureFlags(bool* a, bool* b, bool* c, bool* d) override;
    bool SetGestureFlags(const bool flags[8]) override;
};

} // namespace devio
