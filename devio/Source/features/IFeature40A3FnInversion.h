#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x40A3: Fn inversion addressed through a selector byte.
class IFeature40A3FnInversion : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x40A3;

    class Report {
    public:
        virtual void onFLockChange(short /*selector*/, bool /*first*/, bool /*second*/, int /*fourth*/) {}
        virtual ~Report() = default;
    };

    ~IFeature40A3FnInversion() override = default;
    // Sends selector and overwrites it with the selector of the reply.
    virtual bool GetFnInversion(std::uint8_t& selector, bool* first, bool* second, std::uint32_t* fourth) = 0;
    virtual bool SetFnInversion(std::uint8_t selector, std::uint8_t value) = 0;
};

} // namespace devio
