#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x4530: the operating-system platform a keyboard is set up for.
class IFeature4530DualPlatform : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x4530;

    class Report {
    public:
        virtual void onPlatformChangeEvent(short /*platform*/) {}
        virtual ~Report() = default;
    };

    ~IFeature4530DualPlatform() override = default;
    virtual bool GetPlatform(std::uint16_t* platform) = 0;
    virtual bool SetPlatform(std::uint8_t platform) = 0;
};

} // namespace devio
