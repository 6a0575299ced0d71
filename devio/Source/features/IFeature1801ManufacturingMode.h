#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x1801: a caller-chosen function with free parameters; the raw reply comes back.
class IFeature1801ManufacturingMode : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1801;

    class GenericResponse {
    public:
        virtual void onTestResponse(int /*event*/, const std::vector<Byte>& /*payload*/) {}
        virtual ~GenericResponse() = default;
    };

    ~IFeature1801ManufacturingMode() override = default;
    // Only the low four bits of function reach the wire; response may be null.
    virtual bool SendCommand(std::uint8_t function, std::vector<Byte> params, std::vector<Byte>* response) = 0;
};

} // namespace devio
