#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x80D0: separate or combined pedal axes.
class IFeature80D0CombinedPedals : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x80D0;

    class Event {
    public:
        virtual void onCombinedPedalsChanged(bool /*combined*/) {}
        virtual ~Event() = default;
    };

    ~IFeature80D0CombinedPedals() override = default;
    // False both when off and when the exchange failed (then the last error says why).
    virtual bool GetCombinedPedals() = 0;
    // The outcome is left in the last error only.
    virtual void SetCombinedPedals(std::uint8_t value) = 0;
};

} // namespace devio
