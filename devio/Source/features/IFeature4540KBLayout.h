#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x4540: the keyboard's layout code.
class IFeature4540KBLayout : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x4540;

    ~IFeature4540KBLayout() override = default;
    virtual bool GetKeyboardLayout(std::uint32_t& layout) = 0;
};

} // namespace devio
