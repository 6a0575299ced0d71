#pragma once
#include "features/IFeature.h"

#include <array>
#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x8111: latency monitoring with six increasing thresholds, and measurement reports.
class IFeature8111LatencyMonitoring : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8111;
    static constexpr std::size_t kThresholds = 6;

    struct LatencyEventInfo {
        std::uint16_t value0 = 0, value1 = 0, value2 = 0, value3 = 0, value4 = 0, value5 = 0, value6 = 0,
                      value7 = 0;
    };

    class Report {
    public:
        virtual void onLatencyEvent(const LatencyEventInfo& /*info*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8111LatencyMonitoring() override = default;
    virtual bool GetLatencyInfo(std::array<Byte, 3>& info) = 0;
    // Enabled needs exactly six strictly increasing thresholds; disabled takes up to six
    // increasing ones. Other lists are refused without sending, the last error untouched.
    virtual bool SetLatencyMonitoring(bool enable, std::uint8_t value, const std::vector<std::uint32_t>& thresholds) = 0;
};

} // namespace devio
