#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x4220: state of the keyboard's lock keys.
class IFeature4220LockKeyState : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x4220;

    class Report {
    public:
        virtual void onLockKeyChange(short /*state*/) {}
        virtual ~Report() = default;
    };

    ~IFeature4220LockKeyState() override = default;
    virtual bool GetLockKeyState(std::uint16_t* state) = 0;
};

} // namespace devio
