#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x6012: four groups of four touch-pad gesture flags; element 0 is bit 3.
class IFeature6012Gestures : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x6012;

    // Nothing publishes these events; the producer takes subscribers all the same.
    class Report {
    public:
        virtual void onGestureReport() {}
        virtual ~Report() = default;
    };

    ~IFeature6012Gestures() override = default;
    virtual bool GetGestureFlags(bool* a, bool* b, bool* c, bool* d) = 0;
    virtual bool SetGestureFlags(const bool flags[4]) = 0;
};

} // namespace devio
