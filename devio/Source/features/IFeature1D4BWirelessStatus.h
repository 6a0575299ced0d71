#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1D4B: wireless status notifications; no operations.
class IFeature1D4BWirelessStatus : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1D4B;

    class Report {
    public:
        // Each flag is true exactly when its notification byte (0, 1, 2) is 0x01.
        virtual void onWirelessStatusEvent(bool, bool, bool) {}
        virtual ~Report() = default;
    };

    ~IFeature1D4BWirelessStatus() override = default;
};

} // namespace devio
