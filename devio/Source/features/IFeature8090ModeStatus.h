#pragma once
#include "features/IFeature.h"

#include <array>
#include <cstdint>

namespace devio {

// Feature 0x8090: two 2-byte status values, a 4-byte mode block, 4-byte status reports.
class IFeature8090ModeStatus : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8090;

    struct ModeStatusPair {
        Byte first = 0;
        Byte second = 0;
    };

    class Report {
    public:
        virtual void onStatusReport(Byte /*b0*/, Byte /*b1*/, Byte /*b2*/, Byte /*b3*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8090ModeStatus() override = default;
    virtual bool GetModeStatus(ModeStatusPair& status) = 0;
    virtual bool SetModeStatus(const std::array<Byte, 4>& mode) = 0;
    virtual bool GetModeStatusB(ModeStatusPair& status) = 0;
};

} // namespace devio
