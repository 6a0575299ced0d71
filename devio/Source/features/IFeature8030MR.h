#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x8030: the MR key; a one-bit button state and a state byte.
class IFeature8030MR : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8030;

    class Report {
    public:
        virtual void onButtonReport(const bool& /*pressed*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8030MR() override = default;
    virtual bool SetMRState(std::uint8_t value) = 0;
};

} // namespace devio
