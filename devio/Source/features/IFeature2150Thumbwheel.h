#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2150: the thumbwheel, its information block, status and reporting mode.
class IFeature2150Thumbwheel : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2150;

    class Event {
    public:
        virtual void OnThumbwheelEvent(unsigned short /*rotation*/, unsigned int /*timestamp*/,
                                       std::uint8_t /*state*/, bool /*flag1*/, bool /*flag2*/, bool /*flag3*/)
        {
        }
        virtual void OnThumbwheelReportingChanged(unsigned int /*softwareId*/, std::uint8_t /*reportingMode*/,
                                                  bool /*status0*/)
        {
        }
        virtual ~Event() = default;
    };

    ~IFeature2150Thumbwheel() override = default;
    virtual bool GetThumbwheelInfo(unsigned short* info0, unsigned short* info2, bool* infoFlag4, bool* infoFlag50,
                                   bool* infoFlag51, bool* infoFlag52, bool* infoFlag53, unsigned short* info6) = 0;
    virtual bool GetThumbwheelStatus(std::uint8_t* reportingMode, bool* status0, bool* status1, bool* status2) = 0;
    virtual bool SetThumbwheelReporting(std::uint8_t reportingMode, std::uint8_t second) = 0;
};

} // namespace devio
