#pragma once
#include "features/Feature.h"
#include "features/IFeature2121HiResWheel.h"

namespace devio {

class Feature2121HiResWheel : public FeatureClass<Feature2121HiResWheel, IFeature2121HiResWheel>,
                              public Producer<IFeature2121HiResWheel::Report>,
                              public Producer<IFeature2121HiResWheel::SettingChange>,
                              public Producer<IFeature2121HiResWheel::RatchetSwitch> {
public:
    using FeatureClass::FeatureClass;

    // The wheel-mode record shared by the mode read, the mode write and the setting-change report.
    struct WheelMode {
        bool flagA = false, flagB = false, flagC = false, flagD = false;
        std::uint32_t value1 = 0, value2 = 0;
    };
    static WheelMode decode_wheel_mode(const std::vector<Byte>& record);
    static Byte encode_wheel_flags(bool flagA, bool flagB, bool flagC, bool flagD);

    bool GetWheelCapability(std::uint32_t* capability0, bool* capFlag0, bool* capFlag1, bool* capFlag2,
                            bool* capFlag3, bool* capFlag4, std::uint32_t* capability2,
                            std::uint32_t* capability3) override;
    bool GetWheelMode(bool* flagA, bool* flagB, std::uint32_t* value1, std::uint32_t* value2) override;
    bool GetWheelMode(bool* flagA, bool* flagB, bool* flagC, std::uint32_t* value1, std::uint32_t* value2,
                      bool* flagD) override;
    bool SetWheelMode(bool flagA, bool flagB, std::uint8_t value1, std::uint8_t value2, bool* outFlagA,
                      bool* outFlagB, std::uint32_t* outValue1, std::uint32_t* outValue2) override;
    bool SetWheelMode(bool flagA, bool flagB, bool flagC, std::uint8_t value1, std::uint8_t value2, bool flagD,
                      bool* outFlagA, bool* outFlagB, bool* outFlagC, std::uint32_t* outValue1,
                      std::uint32_t* outValue2, bool* outFlagD) override;
    bool GetRatchetSwitchState(bool* state) override;
    bool GetAnalyticsData(std::vector<Byte>* data) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;

private:
    static void store_mode(const WheelMode& mode, bool* flagA, bool* flagB, bool* flagC, std::uint32_t* value1,
                           std::uint32_t* value2, bool* flagD);
};

} // namespace devio
