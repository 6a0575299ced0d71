#pragma once
#include "features/Feature.h"
#include "features/IFeature6012Gestures.h"

namespace devio {

class Feature6012Gestures : public FeatureClass<Feature6012Gestures, IFeature6012Gestures>,
                             public Producer<IFeature6012Gestures::Report> {
public:
    using FeatureClass::FeatureClass;

    // Each group array holds 4 flags.
    bool GetGestureFlags(bool* a, bool* b, bool* c, bool* d) override;
    bool SetGestureFlags(const bool flags[4]) override;
};

} // namespace devio
