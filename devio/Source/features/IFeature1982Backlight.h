#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1982: backlight flags, three status bytes, backlight information events.
class IFeature1982Backlight : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1982;

    // Carried as the device sends it; every byte value can occur.
    enum BacklightStatus : std::uint8_t {};

    struct BacklightConfig {
        bool config0 = false;
        bool config1 = false;
        bool config2 = false;
        bool config3 = false;
    };
    struct BacklightOptions {
        bool option0 = false;
        bool option1 = false;
        bool option2 = false;
    };

    class Report {
    public:
        virtual void onBacklightInfoEvent(Byte, Byte, BacklightStatus) {}
        virtual ~Report() = default;
    };

    ~IFeature1982Backlight() override = default;
    virtual bool GetBacklightConfig(BacklightConfig* config, BacklightOptions* options) = 0;
    virtual bool SetBacklightConfig(const BacklightConfig& config) = 0;
    virtual bool GetBacklightInfo(std::uint8_t* a, std::uint8_t* b, std::uint8_t* c) = 0;
};

} // namespace devio
