#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x8060: the report rate, a value from 1 to 8 both ways.
class IFeature8060ReportRate : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8060;

    ~IFeature8060ReportRate() override = default;
    virtual bool GetRateInfo(std::uint8_t* value) = 0;
    // A rate outside 1..8 from the device gives false without a code of its own.
    virtual bool GetReportRate(std::uint8_t* rate) = 0;
    // A rate outside 1..8 is refused without sending; the last error is untouched.
    virtual bool SetReportRate(std::uint8_t rate) = 0;
};

} // namespace devio
