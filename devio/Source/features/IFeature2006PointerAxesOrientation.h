#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2006: the pointer axes' orientation, one 16-bit value.
class IFeature2006PointerAxesOrientation : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2006;

    ~IFeature2006PointerAxesOrientation() override = default;
    virtual bool ReadPointerAxesOrientation(unsigned short* orientation) = 0;
    // `result` is the value as the device took it.
    virtual bool WritePointerAxesOrientation(short orientation, unsigned short* result) = 0;
};

} // namespace devio
