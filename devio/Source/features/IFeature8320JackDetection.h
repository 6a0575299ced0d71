#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x8320: two jack bytes and their change reports.
class IFeature8320JackDetection : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8320;

    class Report {
    public:
        virtual void onJackChange(short /*a*/, short /*b*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8320JackDetection() override = default;
    virtual bool GetJackState(std::uint16_t& a, std::uint16_t& b) = 0;
};

} // namespace devio
