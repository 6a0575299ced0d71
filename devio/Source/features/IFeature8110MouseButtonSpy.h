#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x8110: the button count, a 16-byte button table and button-state reports.
class IFeature8110MouseButtonSpy : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8110;

    class Report {
    public:
        virtual void onButtonReport(std::uint16_t /*buttons*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8110MouseButtonSpy() override = default;
    virtual bool GetButtonCount(std::uint32_t* count) = 0;
    virtual bool CallFunction1() = 0;
    virtual bool CallFunction2() = 0;
    virtual bool GetButtonTable(std::vector<Byte>& table) = 0;
    // Positions the vector leaves out are sent as their own number (i + 1).
    virtual bool SetButtonTable(const std::vector<Byte>& table) = 0;
};

} // namespace devio
