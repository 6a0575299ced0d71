#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x40A0: whether the keys of the Fn layer act without Fn held.
class IFeature40A0FnInversion : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x40A0;

    ~IFeature40A0FnInversion() override = default;
    virtual bool GetFnInversion(bool* inverted) = 0;
    virtual bool SetFnInversion(bool inverted) = 0;
};

} // namespace devio
