#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x2121: the main wheel with its high-resolution reporting and its ratchet switch.
class IFeature2121HiResWheel : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2121;

    class Report {
    public:
        virtual void onGetAnalyticsData(unsigned int /*softwareId*/, std::vector<Byte> /*data*/) {}
        virtual void onWheelMovement(bool /*highResolution*/, unsigned int /*periods*/, int /*delta*/,
                                     int /*second*/)
        {
        }
        virtual ~Report() = default;
    };
    class SettingChange {
    public:
        virtual void onSettingChange(unsigned int /*softwareId*/, bool /*flagA*/, bool /*flagB*/, bool /*flagC*/,
                                     unsigned int /*value1*/, unsigned int /*value2*/, bool /*flagD*/)
        {
        }
        virtual ~SettingChange() = default;
    };
    class RatchetSwitch {
    public:
        virtual void onRatchetSwitch(bool /*state*/) {}
        virtual ~RatchetSwitch() = default;
    };

    ~IFeature2121HiResWheel() override = default;
    virtual bool GetWheelCapability(std::uint32_t* capability0, bool* capFlag0, bool* capFlag1, bool* capFlag2,
                                    bool* capFlag3, bool* capFlag4, std::uint32_t* capability2,
                                    std::uint32_t* capability3) = 0;
    virtual bool GetWheelMode(bool* flagA, bool* flagB, std::uint32_t* value1, std::uint32_t* value2) = 0;
    virtual bool GetWheelMode(bool* flagA, bool* flagB, bool* flagC, std::uint32_t* value1, std::uint32_t* value2,
                              bool* flagD) = 0;
    virtual bool SetWheelMode(bool flagA, bool flagB, std::uint8_t value1, std::uint8_t value2, bool* outFlagA,
                              bool* outFlagB, std::uint32_t* outValue1, std::uint32_t* outValue2) = 0;
    virtual bool SetWheelMode(bool flagA, bool flagB, bool flagC, std::uint8_t value1, std::uint8_t value2,
                              bool flagD, bool* outFlagA, bool* outFlagB, bool* outFlagC, std::uint32_t* outValue1,
                              std::uint32_t* outValue2, bool* outFlagD) = 0;
    virtual bool GetRatchetSwitchState(bool* state) = 0;
    virtual bool GetAnalyticsData(std::vector<Byte>* data) = 0;
};

} // namespace devio
