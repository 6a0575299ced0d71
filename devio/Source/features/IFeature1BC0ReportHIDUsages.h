#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x1BC0: packages of HID usages between host and device.
class IFeature1BC0ReportHIDUsages : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1BC0;

    struct UsagePackage {
        std::uint32_t header = 0;          // 16 bits on the wire
        std::vector<std::uint32_t> usages; // 16-bit values, wire order
    };

    class Report {
    public:
        virtual void OnUsageEvent(const UsagePackage& /*package*/) {}
        virtual ~Report() = default;
    };

    ~IFeature1BC0ReportHIDUsages() override = default;
    // Sends nothing and succeeds.
    virtual bool PlaceholderOp1() = 0;
    // Requests of at most six usages; a package (or remainder) of fewer than two is refused
    // without sending and without a code.
    virtual bool SetUsages(std::uint8_t selector, UsagePackage package) = 0;
    virtual bool CallFunction2() = 0;
};

} // namespace devio
