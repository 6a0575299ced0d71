#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x6010: four groups of eight touch-pad gesture flags; element 0 is bit 7.
class IFeature6010Gestures : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x6010;

    // Nothing publishes these events; the producer takes subscribers all the same.
    class Report {
    public:
        virtual void onGestureReport() {}
        virtual ~Report() = default;
    };

    ~IFeature6010Gestures() override = default;
    virtual bool GetGestureFlags(bool* a, bool* b, bool* c, bool* d) = 0;
    virtual bool SetGestureFlags(const bool flags[8]) = 0;
};

} // namespace devio
